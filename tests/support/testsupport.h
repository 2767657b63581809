// Helpers shared by the test suites: temporary folders, band files, BIFs,
// whole-file reads and running the built programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary directory, removed with all
// it holds when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  // Path of `name` inside the folder.
  std::string file(const std::string &name) const;

 private:
  std::string path_;
};

void write_file(const std::string &path, const std::string &bytes);
// The whole file; an empty string when it cannot be read.
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

// Raw rasters: 8-bit samples as they are, 16-bit samples little-endian.
void write_band8(const std::string &path, const std::vector<uint8_t> &samples);
void write_band16(const std::string &path,
                  const std::vector<uint16_t> &samples);

// One BIF record: three little-endian 32-bit integers.
struct BifPoint {
  int32_t row;
  int32_t col;
  int32_t cls;
};
std::string bif_bytes(const std::vector<BifPoint> &points);
void write_bif(const std::string &path, const std::vector<BifPoint> &points);

// What a finished program left: exit status (or the signal that ended it),
// standard output and standard error.
struct RunResult {
  int status = -1;  // exit status, -1 when it did not exit normally
  int signal = 0;   // the signal that ended it, 0 if none
  bool timed_out = false;
  std::string out;
  std::string err;
};

// The build folder that holds this test program: test programs live in its
// tests/ folder and the built programs in its bin/ folder. Found from the
// running executable, so that a build folder moved or copied elsewhere
// still runs its own programs.
std::string build_dir();

// Path of a built program in the build's bin/ folder.
std::string program_path(const std::string &name);

// Runs a built program with the given arguments (argv[1..]), standard input
// from /dev/null, capturing both output streams. A run longer than
// `timeout_seconds` is killed and reported as timed out: a guard against a
// hung program only, far above any run's time on a loaded machine, never a
// measure of speed.
RunResult run_program(const std::string &name,
                      const std::vector<std::string> &args,
                      int timeout_seconds = 600);

// Same, from a working directory.
RunResult run_program_in(const std::string &dir, const std::string &name,
                         const std::vector<std::string> &args,
                         int timeout_seconds = 600);

// Same, with standard output a pipe whose reader is gone before the program
// starts (as after `program | head -1` once head has ended): every write to
// it fails with EPIPE, or raises SIGPIPE where the program does not ignore
// it. `out` stays empty.
RunResult run_program_without_reader(const std::string &name,
                                     const std::vector<std::string> &args);

// Same as run_program, with the program's address space limited to
// `bytes` (RLIMIT_AS) and, unless `cpu_seconds` is 0, its processor time to
// that many seconds (RLIMIT_CPU: the system ends it by a signal beyond
// them); both set in the program only, never in this process, and never
// above its hard limits. `bytes` 0 leaves the address space as it is. An
// allocation sized by the arguments or the input then fails on any
// machine, however much memory it has, and a run that must be cheap is
// bounded in what it uses, never in the time of the clock. A limit too low
// for the program to be loaded at all ends the run with status 127. An
// address limit is not for sanitizer builds, whose allocator ends the run
// at a failed allocation (`#if !defined(__SANITIZE_ADDRESS__)` around such
// tests).
RunResult run_program_with_address_limit(const std::string &name,
                                         const std::vector<std::string> &args,
                                         size_t bytes,
                                         unsigned cpu_seconds = 0);

// Same, with standard output on /dev/full (`program >/dev/full`): every
// write that reaches it fails with ENOSPC. `out` stays empty.
RunResult run_program_to_full_device(const std::string &name,
                                     const std::vector<std::string> &args);

// Same, with standard output closed (`program >&-`): every write to it
// fails with EBADF, unless the program opens a file of its own there.
// `out` stays empty.
RunResult run_program_with_output_closed(const std::string &name,
                                         const std::vector<std::string> &args);

// A virtual X server (Xvfb) on a free display number, with one screen of
// the given depth, for the shell's tests. While it lives, DISPLAY names it,
// so programs run then show their windows there; the previous DISPLAY comes
// back when it is stopped.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(int depth = 24);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay &) = delete;
  VirtualDisplay &operator=(const VirtualDisplay &) = delete;
  bool ok() const { return !name_.empty(); }
  const std::string &name() const { return name_; }

 private:
  int pid_ = -1;
  std::string name_;
  bool had_display_ = false;
  std::string old_display_;
};

// The largest resident size of the programs run so far by this process
// (their peak, not their sum), in kilobytes.
long peak_of_runs_kb();

}  // namespace testsupport
