#include "testsupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "msikit-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr)
    throw std::runtime_error("cannot create a temporary folder");
  path_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string &name) const {
  return path_ + "/" + name;
}

void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool file_exists(const std::string &path) {
  return std::filesystem::exists(path);
}

void write_band8(const std::string &path, const std::vector<uint8_t> &samples) {
  write_file(path, std::string(samples.begin(), samples.end()));
}

void write_band16(const std::string &path,
                  const std::vector<uint16_t> &samples) {
  std::string bytes;
  bytes.reserve(samples.size() * 2);
  for (uint16_t s : samples) {
    bytes.push_back(static_cast<char>(s & 0xFF));
    bytes.push_back(static_cast<char>(s >> 8));
  }
  write_file(path, bytes);
}

std::string bif_bytes(const std::vector<BifPoint> &points) {
  std::string bytes;
  auto put = [&bytes](int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
      bytes.push_back(static_cast<char>(u >> (8 * i)));
  };
  for (const BifPoint &p : points) {
    put(p.row);
    put(p.col);
    put(p.cls);
  }
  return bytes;
}

void write_bif(const std::string &path, const std::vector<BifPoint> &points) {
  write_file(path, bif_bytes(points));
}

std::string build_dir() {
  // <build>/tests/<test program>
  static const std::string dir = [] {
    std::error_code error;
    const std::filesystem::path self =
        std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) throw std::runtime_error("cannot find the running test program");
    return self.parent_path().parent_path().string();
  }();
  return dir;
}

std::string program_path(const std::string &name) {
  return build_dir() + "/bin/" + name;
}

namespace {

void drain(int fd, std::string &into, bool &open) {
  char chunk[4096];
  ssize_t n = read(fd, chunk, sizeof chunk);
  if (n > 0)
    into.append(chunk, static_cast<size_t>(n));
  else if (n == 0 || (errno != EINTR && errno != EAGAIN))
    open = false;
}

void sanitizer_exit_code(const char *variable, const char *setting) {
  const char *old = getenv(variable);
  std::string value = old != nullptr && *old != '\0'
                          ? std::string(old) + ":" + setting
                          : std::string(setting);
  setenv(variable, value.c_str(), 1);
}

}  // namespace

namespace {

// Where a run's standard output goes.
enum Output {
  OUTPUT_CAPTURED,   // a pipe read into `out`
  OUTPUT_NO_READER,  // a pipe whose reading end is closed
  OUTPUT_FULL,       // /dev/full
  OUTPUT_CLOSED,     // no descriptor 1 at all
};

// Lowers a limit of the calling process to `value` (0: leaves it as it
// is), never above its hard limit. The hard limit of processor time is a
// second beyond, so that the program ends by SIGXCPU first.
void lower_limit(int resource, rlim_t value) {
  rlimit limit{};
  if (value == 0 || getrlimit(resource, &limit) != 0) return;
  const bool capped = limit.rlim_max != RLIM_INFINITY;
  if (resource == RLIMIT_CPU && (!capped || value + 1 < limit.rlim_max))
    limit.rlim_max = value + 1;
  limit.rlim_cur = capped && limit.rlim_max < value ? limit.rlim_max : value;
  setrlimit(resource, &limit);
}

RunResult run(const std::string &dir, const std::string &name,
              const std::vector<std::string> &args, int timeout_seconds,
              Output output, size_t addressLimit = 0, unsigned cpuSeconds = 0) {
  RunResult result;
  const std::string exe = program_path(name);
  const bool captured = output == OUTPUT_CAPTURED;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
    throw std::runtime_error("pipe failed");
  // Closed before the fork, so that no process holds the reading end.
  if (!captured) close(out_pipe[0]);

  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(exe.c_str()));
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);

  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    if (output == OUTPUT_FULL) {
      int full = open("/dev/full", O_WRONLY);
      if (full < 0) _exit(127);
      dup2(full, 1);
    } else {
      dup2(out_pipe[1], 1);
    }
    dup2(err_pipe[1], 2);
    if (captured) close(out_pipe[0]);
    close(err_pipe[0]);
    // Last, so that nothing opened above takes descriptor 1.
    if (output == OUTPUT_CLOSED) close(1);
    if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
    // A sanitizer report must never pass for an ordinary failure (status 1).
    sanitizer_exit_code("ASAN_OPTIONS", "exitcode=86");
    sanitizer_exit_code("UBSAN_OPTIONS", "exitcode=87:print_stacktrace=1");
    lower_limit(RLIMIT_AS, addressLimit);
    lower_limit(RLIMIT_CPU, cpuSeconds);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);

  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  bool out_open = captured, err_open = true;
  while (out_open || err_open) {
    // A drained pipe leaves the set (a negative descriptor is ignored);
    // polling it again would report its hang-up at once, over and over.
    pollfd fds[2] = {{out_open ? out_pipe[0] : -1, POLLIN, 0},
                     {err_open ? err_pipe[0] : -1, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      result.timed_out = true;
      break;
    }
    int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) break;
    if (out_open && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
      drain(out_pipe[0], result.out, out_open);
    if (err_open && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
      drain(err_pipe[0], result.err, err_open);
  }
  if (captured) close(out_pipe[0]);
  close(err_pipe[0]);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  return result;
}

}  // namespace

RunResult run_program_in(const std::string &dir, const std::string &name,
                         const std::vector<std::string> &args,
                         int timeout_seconds) {
  return run(dir, name, args, timeout_seconds, OUTPUT_CAPTURED);
}

RunResult run_program(const std::string &name,
                      const std::vector<std::string> &args,
                      int timeout_seconds) {
  return run("", name, args, timeout_seconds, OUTPUT_CAPTURED);
}

RunResult run_program_without_reader(const std::string &name,
                                     const std::vector<std::string> &args) {
  return run("", name, args, 600, OUTPUT_NO_READER);
}

RunResult run_program_with_address_limit(const std::string &name,
                                         const std::vector<std::string> &args,
                                         size_t bytes, unsigned cpu_seconds) {
  return run("", name, args, 600, OUTPUT_CAPTURED, bytes, cpu_seconds);
}

RunResult run_program_to_full_device(const std::string &name,
                                     const std::vector<std::string> &args) {
  return run("", name, args, 600, OUTPUT_FULL);
}

RunResult run_program_with_output_closed(const std::string &name,
                                         const std::vector<std::string> &args) {
  return run("", name, args, 600, OUTPUT_CLOSED);
}

VirtualDisplay::VirtualDisplay(int depth) {
  const char *old = getenv("DISPLAY");
  had_display_ = old != nullptr;
  if (had_display_) old_display_ = old;
  int fds[2];
  if (pipe(fds) != 0) return;
  fflush(nullptr);
  pid_ = fork();
  if (pid_ < 0) {
    close(fds[0]);
    close(fds[1]);
    return;
  }
  if (pid_ == 0) {
    close(fds[0]);
    int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = "1280x1024x" + std::to_string(depth);
    // -displayfd: the server picks a free display number and writes it.
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0",
           screen.c_str(), "-nolisten", "tcp", "-noreset",
           static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char c;
    ssize_t n = read(fds[0], &c, 1);
    if (n <= 0 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty()) return;
  name_ = ":" + number;
  setenv("DISPLAY", name_.c_str(), 1);
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (had_display_)
    setenv("DISPLAY", old_display_.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

long peak_of_runs_kb() {
  rusage usage = {};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

}  // namespace testsupport
