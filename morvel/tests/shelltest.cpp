#include "shelltest.h"

#include <gtest/gtest.h>

#include <memory>

namespace shelltest {

namespace {

class DisplayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    display_ = std::make_unique<testsupport::VirtualDisplay>(display_depth());
    ASSERT_TRUE(display_->ok()) << "the virtual X server (Xvfb) did not start";
  }
  void TearDown() override { display_.reset(); }

 private:
  std::unique_ptr<testsupport::VirtualDisplay> display_;
};

const bool registered = [] {
  ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);
  return true;
}();

}  // namespace

int &display_depth() {
  static int depth = 24;
  return depth;
}

testsupport::RunResult run_script(const testsupport::TempDir &dir,
                                  const std::string &script,
                                  int timeout_seconds) {
  const std::string path = dir.file("script.tcl");
  testsupport::write_file(path, script + "\nexit 0\n");
  return testsupport::run_program("morvel", {path}, timeout_seconds);
}

std::string show(const std::string &command) {
  return "puts [list [catch {" + command + "} r] $r]\n";
}

}  // namespace shelltest
