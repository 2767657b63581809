// The command-line number scan of every tool: one "%d" scan.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdlib>

// An integer right at `text`: an optional sign, then at least one digit,
// within the range of int; text after the digits is ignored. Returns true
// and stores the value, or false leaving `value` as it was.
inline bool scan_int_at(const char *text, int *value) {
  const char *digits = text;
  if (*digits == '-' || *digits == '+') ++digits;
  if (*digits < '0' || *digits > '9') return false;
  const int saved = errno;
  errno = 0;
  const long long v = strtoll(text, nullptr, 10);
  const bool out_of_range = errno == ERANGE || v < INT_MIN || v > INT_MAX;
  errno = saved;
  if (out_of_range) return false;
  *value = static_cast<int>(v);
  return true;
}

inline bool is_scan_white(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r' ||
         c == '\v';
}

// One "%d" scan of a command-line number: leading white space, an optional
// sign and at least one digit; text after the digits is ignored ("12abc"
// reads 12). A number outside the range of int is refused. Returns true
// and stores the value, or false leaving `value` as it was.
inline bool scan_int(const char *text, int *value) {
  while (is_scan_white(*text)) ++text;
  return scan_int_at(text, value);
}

// The same scan, reporting in `end` the character after the digits, for
// texts that hold several numbers ("%d %d ..."). `end` is set only when a
// number was read.
inline bool scan_int_end(const char *text, int *value, const char **end) {
  while (is_scan_white(*text)) ++text;
  if (!scan_int_at(text, value)) return false;
  if (*text == '-' || *text == '+') ++text;
  while (*text >= '0' && *text <= '9') ++text;
  *end = text;
  return true;
}
