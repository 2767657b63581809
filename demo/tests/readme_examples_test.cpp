// The README's worked calls, taken from the README itself and run as a
// reader runs them: in the scene folder of a fresh demo scene, one after
// another, programs as ../build/bin/<name>.
//
// The rule: every block fenced as ```sh is a worked call. It runs as written
// (bash -e -o pipefail, in the scene folder), must exit 0 and must leave every
// file it names: a named file that was not there before must be there after
// it, not empty. A ```text block that follows a ```sh block with only prose
// between them holds lines that the call prints: each must be a line of its
// standard output (blanks around a line do not count). Plain ``` blocks
// (usage lines, commands run elsewhere) are not run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testsupport.h"

namespace {

using testsupport::file_exists;
using testsupport::read_file;
using testsupport::TempDir;

struct Block {
  std::string lang;     // the fence's info string: "sh", "text" or ""
  std::string section;  // the "## " heading it stands under
  int line = 0;         // line of its opening fence, 1-based
  std::string text;
  std::vector<std::string> printed;  // lines of the ```text block after it
};

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string trimmed(const std::string &s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The fenced blocks of a Markdown text; the lines of a ```text block go to
// the ```sh block before it when no other block stands between them.
std::vector<Block> fenced_blocks(const std::string &markdown) {
  std::vector<Block> blocks;
  std::string section;
  Block *open = nullptr;
  int number = 0;
  for (const std::string &line : lines_of(markdown)) {
    ++number;
    if (open != nullptr) {
      if (line == "```") {
        if (open->lang == "text" && blocks.size() >= 2 &&
            blocks[blocks.size() - 2].lang == "sh" &&
            blocks[blocks.size() - 2].printed.empty())
          blocks[blocks.size() - 2].printed = lines_of(open->text);
        open = nullptr;
      } else {
        open->text += line + "\n";
      }
    } else if (line.rfind("```", 0) == 0 &&
               std::all_of(line.begin() + 3, line.end(),
                           [](unsigned char c) { return isalpha(c) != 0; })) {
      blocks.push_back({line.substr(3), section, number, "", {}});
      open = &blocks.back();
    } else if (line.rfind("## ", 0) == 0) {
      section = line.substr(3);
    }
  }
  EXPECT_EQ(open, nullptr) << "a fenced block of the README is not closed";
  return blocks;
}

std::vector<Block> readme_blocks() {
  const std::string readme = read_file(MSIKIT_SOURCE_DIR "/README.md");
  EXPECT_FALSE(readme.empty()) << "README.md not found";
  return fenced_blocks(readme);
}

// The file names in a call: words of letters, digits and "_./-" that end
// in an extension of the toolkit's files (or of the pictures and scripts
// the examples write).
std::set<std::string> named_files(const std::string &text) {
  static const char *const extensions[] = {".raw", ".pci", ".bif",  ".qor",
                                           ".ts",  ".cof", ".plot", ".gif",
                                           ".ppm", ".tcl", ".env"};
  std::set<std::string> names;
  std::string word;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    if (isalnum(static_cast<unsigned char>(c)) ||
        strchr("_./-", c) != nullptr) {
      word += c;
      continue;
    }
    for (const char *ext : extensions) {
      const size_t n = strlen(ext);
      if (word.size() > n && word.compare(word.size() - n, n, ext) == 0)
        names.insert(word);
    }
    word.clear();
  }
  return names;
}

long file_size(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// `script` run by bash in `dir`; its exit status, or -1. A call that runs
// longer than two minutes (a shell script without `exit` waits for ever)
// is stopped and gives 124.
//
// Text in a Tk window (demo/pictures.tcl labels its legend) makes the shell
// load fonts through fontconfig, which keeps a few hundred bytes to the end
// of the process; a leak check of a sanitizer build is told to pass over
// that library, and over nothing else.
int run_bash(const TempDir &top, const std::string &dir,
             const std::string &script, const std::string &name) {
  testsupport::write_file(top.file(name + ".sh"), script);
  testsupport::write_file(top.file("lsan.supp"), "leak:libfontconfig.so\n");
  const std::string command =
      "cd '" + dir + "' && LSAN_OPTIONS=suppressions='" +
      top.file("lsan.supp") + "' timeout 120 bash -e -o pipefail '" +
      top.file(name + ".sh") + "' </dev/null >'" + top.file(name + ".out") +
      "' 2>'" + top.file(name + ".err") + "'";
  const int status = std::system(command.c_str());
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ReadmeExamples, EveryProgramHasAWorkedCallUnderItsSection) {
  const auto blocks = readme_blocks();
  std::string calls;
  int printedBlocks = 0, textBlocks = 0;
  for (const Block &b : blocks) {
    if (b.lang == "text") ++textBlocks;
    if (b.lang != "sh") continue;
    EXPECT_TRUE(b.section == "Command lines" ||
                b.section == "The shell: morvel")
        << "README line " << b.line << ": a worked call under \"" << b.section
        << "\"";
    calls += b.text;
    if (!b.printed.empty()) ++printedBlocks;
  }
  EXPECT_EQ(printedBlocks, textBlocks)
      << "every ```text block follows the ```sh block whose output it shows";
  for (const char *program : {"tendor", "nuvira", "palvex", "celdon", "quenta",
                              "wimbel", "sotrak", "grenik", "harvin", "dramen",
                              "fossik", "morvel", "cofcompare", "clustermatch"})
    EXPECT_NE(calls.find(std::string("../build/bin/") + program + " "),
              std::string::npos)
        << program << " has no worked call in the README";
  for (const char *command : {"Scatter2", "RawImage", "PointValue",
                              "ClearMatchingPoints", "CreateGif"})
    EXPECT_NE(calls.find(command), std::string::npos)
        << command << " has no worked call in the README";
}

TEST(ReadmeExamples, RunAsWrittenInTheDemoSceneFolder) {
  // <top>/demo-scene holds the scene; <top>/build and <top>/demo stand for
  // the repository's build folder and demo folder.
  TempDir top;
  const std::string scene = top.file("demo-scene");
  ASSERT_EQ(mkdir(scene.c_str(), 0755), 0);
  ASSERT_EQ(
      symlink(testsupport::build_dir().c_str(), top.file("build").c_str()), 0);
  ASSERT_EQ(symlink(MSIKIT_SOURCE_DIR "/demo", top.file("demo").c_str()), 0);
  // The scene of scripts/demo.
  const auto made = testsupport::run_program_in(
      scene, "scenegen", {".", "300", "400", "7", "6", "8", "11", "60"});
  ASSERT_EQ(made.status, 0) << made.err;

  int run = 0;
  for (const Block &b : readme_blocks()) {
    if (b.lang != "sh") continue;
    const std::string name = "call" + std::to_string(++run);
    SCOPED_TRACE("README line " + std::to_string(b.line) + ":\n" + b.text);
    const auto names = named_files(b.text);
    std::set<std::string> fresh;
    for (const auto &n : names)
      if (!file_exists(scene + "/" + n)) fresh.insert(n);

    const int status = run_bash(top, scene, b.text, name);
    EXPECT_EQ(status, 0) << (status == 124 ? "timed out\n" : "")
                         << read_file(top.file(name + ".err"));
    for (const auto &n : names) {
      if (fresh.count(n))
        EXPECT_GT(file_size(scene + "/" + n), 0) << n << " was not written";
      else
        EXPECT_TRUE(file_exists(scene + "/" + n)) << n << " is gone";
    }
    std::set<std::string> out;
    for (const auto &line : lines_of(read_file(top.file(name + ".out"))))
      out.insert(trimmed(line));
    for (const auto &line : b.printed)
      EXPECT_TRUE(out.count(trimmed(line)))
          << "not printed: " << line << "\nprinted:\n"
          << read_file(top.file(name + ".out"));
  }
  EXPECT_GE(run, 10) << "too few worked calls found in the README";
}

}  // namespace
