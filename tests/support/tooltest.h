// Helpers for the tests of the console tools: arguments changed by
// position, runs that must fail, and digests of recorded outputs.
//
// Argument positions count as argv does: position 1 is the first argument
// after the program's name.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct RunResult;

// `args` with the arguments at the given positions replaced.
std::vector<std::string> changed(std::vector<std::string> args,
                                 const std::map<int, std::string> &changes);

// A run that must fail: its arguments, its whole message on standard error
// and what it prints on standard output first.
struct Failure {
  Failure(std::vector<std::string> a, std::string e, std::string o = "")
      : args(std::move(a)), err(std::move(e)), out(std::move(o)) {}
  std::vector<std::string> args;
  std::string err, out;
};

// No argument, one too few and one too many (an "x" added to `whole`),
// each with its message.
std::vector<Failure> count_failures(const std::vector<std::string> &whole,
                                    const std::string &none,
                                    const std::string &fewer,
                                    const std::string &more);

// Runs `program` with the case's arguments: it must end with status 1,
// the case's message and the case's standard output.
void expect_failure(const std::string &program, const Failure &f);
void expect_failures(const std::string &program,
                     const std::vector<Failure> &cases);

// Runs `program` as usual, then again with no reader of its standard output
// (as after `program ... | head -1` once head has ended). Both runs must end
// with status 0, no signal and no message, and leave the same bytes in each
// of `outputs`, which are emptied before the second run: progress lines
// that nobody reads are lost, the result never. Returns the first run.
RunResult expect_same_result_without_reader(
    const std::string &program, const std::vector<std::string> &args,
    const std::vector<std::string> &outputs);

// A 64-bit FNV-1a digest of `bytes`, for outputs recorded once and
// asserted since.
uint64_t digest(const std::string &bytes);

}  // namespace testsupport
