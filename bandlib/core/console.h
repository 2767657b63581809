// Failure exit of the console tools. Only the console side includes this:
// the programs themselves, and each library's console target, the one file
// of the steps its tools share: bandlib_run (bandlib/bandrun.cpp),
// arealib_tool (arealib/areatool.cpp), clusterlib_tool
// (clusterlib/clustertool.cpp) and pnnlib_tool (pnnlib/pnntool.cpp). A
// library itself never ends the process: it returns status codes and prints
// nothing. The one exception is kept on purpose, because the numeric code's
// allocators are defined to end the run: numlib's fatal_error, by which they
// print their message and end the run on exhausted memory.
// The shell's procedures report failures through the interpreter and never
// end the process. Header-only, so that a tool that links no library
// (celdon) ends its failures the same way as every other tool.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Prints the formatted message on standard error as it stands (no line end
// is added) and ends the process with exit status 1. Files already written
// keep what they hold.
[[noreturn]] inline void fail_with(const char *format, ...)
    __attribute__((format(printf, 1, 2)));

inline void fail_with(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
  exit(1);
}

// Prints a tool's usage lines on standard error as they stand and ends the
// process with exit status 1 (a tool called without any argument).
[[noreturn]] inline void fail_with_usage(const char *const *lines, int count) {
  for (int i = 0; i < count; ++i) fputs(lines[i], stderr);
  exit(1);
}

// The system's text for the last error (errno), for the " (%s)" of messages.
inline const char *error_text() { return strerror(errno); }

// Standard output carries progress lines that nobody has to read: a reader
// that closes its end of the pipe early (`tool ... | head -1`) must not end
// the run and lose its output files. With SIGPIPE ignored, a write to such a
// pipe fails with EPIPE like a write to a full or closed stream; progress
// lines pass over it and a result line reports it. Called first in main.
inline void ignore_broken_pipe() { signal(SIGPIPE, SIG_IGN); }
