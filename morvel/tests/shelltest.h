// Running Tcl scripts in the built shell. Every test program that links
// this runs under one virtual X server of its own, started before the first
// test and stopped after the last.
#pragma once

#include <string>

#include "testsupport.h"

namespace shelltest {

// The depth of the virtual screen: 24 unless a test program asks for
// another before its tests start (see display_depth).
int &display_depth();

// Runs `script` in morvel from a file in `dir`, then exits with status 0.
// A script error makes the shell report it on standard error and exit
// with status 1.
testsupport::RunResult run_script(const testsupport::TempDir &dir,
                                  const std::string &script,
                                  int timeout_seconds = 60);

// Tcl for "evaluate `command`, print its status and result as one line":
// "0 <result>" or "1 <message>".
std::string show(const std::string &command);

}  // namespace shelltest
