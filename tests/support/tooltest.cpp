#include "tooltest.h"

#include <gtest/gtest.h>

#include "testsupport.h"

namespace testsupport {

std::vector<std::string> changed(std::vector<std::string> args,
                                 const std::map<int, std::string> &changes) {
  for (const auto &c : changes)
    args.at(static_cast<size_t>(c.first - 1)) = c.second;
  return args;
}

std::vector<Failure> count_failures(const std::vector<std::string> &whole,
                                    const std::string &none,
                                    const std::string &fewer,
                                    const std::string &more) {
  std::vector<std::string> longer = whole;
  longer.push_back("x");
  return {{{}, none},
          {std::vector<std::string>(whole.begin(), whole.end() - 1), fewer},
          {longer, more}};
}

void expect_failure(const std::string &program, const Failure &f) {
  const RunResult r = run_program(program, f.args);
  EXPECT_EQ(r.status, 1) << f.err;
  EXPECT_EQ(r.err, f.err);
  EXPECT_EQ(r.out, f.out) << f.err;
}

void expect_failures(const std::string &program,
                     const std::vector<Failure> &cases) {
  for (const Failure &f : cases) expect_failure(program, f);
}

RunResult expect_same_result_without_reader(
    const std::string &program, const std::vector<std::string> &args,
    const std::vector<std::string> &outputs) {
  const RunResult read = run_program(program, args);
  EXPECT_EQ(read.status, 0) << read.err;
  std::vector<std::string> written;
  for (const std::string &path : outputs) {
    written.push_back(read_file(path));
    write_file(path, "");
  }
  const RunResult r = run_program_without_reader(program, args);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  for (size_t i = 0; i < outputs.size(); ++i)
    EXPECT_EQ(read_file(outputs[i]), written[i]) << outputs[i];
  return read;
}

uint64_t digest(const std::string &bytes) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace testsupport
