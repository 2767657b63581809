// The command-line number scans of every tool: one "%d" scan, and one "%f"
// scan for real thresholds.
#pragma once

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

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

// The white space of every scan and list of the toolkit: space, line feed,
// tab, form feed, carriage return and vertical tab, and nothing else (no
// locale adds to them). Takes a character of a string or a character code
// as getc returns it: EOF and bytes above 127 are no white space.
inline bool is_scan_white(int c) {
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

namespace scan_detail {

inline char lower(char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

inline bool is_hex_digit(char c) {
  return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'f');
}

// Whether `text` starts with `word`, letters in either case.
inline bool starts_with_word(const char *text, const char *word) {
  for (; *word != '\0'; ++text, ++word)
    if (lower(*text) != *word) return false;
  return true;
}

// The end of the characters that one "%f" scan takes from `text` (past the
// white space), or nullptr where the scan fails before any conversion. The
// scan reads one character at a time and cannot give back more than the
// last one, so it takes "nan" without any "(...)" behind it, fails on an
// "inf" followed by a cut-short "inity", and fails on a "0x" without a
// hexadecimal digit.
inline const char *float_candidate_end(const char *text) {
  const char *p = text;
  const bool sign = *p == '-' || *p == '+';
  if (sign) ++p;
  if (lower(*p) == 'n') return starts_with_word(p, "nan") ? p + 3 : nullptr;
  if (lower(*p) == 'i') {
    if (!starts_with_word(p, "inf")) return nullptr;
    if (lower(p[3]) != 'i') return p + 3;
    return starts_with_word(p + 3, "inity") ? p + 8 : nullptr;
  }
  bool hex = false, digit = false, dot = false, exponent = false;
  char exponentChar = 'e';
  if (*p == '0') {
    ++p;
    if (lower(*p) == 'x') {
      hex = true;
      exponentChar = 'p';
      ++p;
    } else {
      digit = true;
    }
  }
  for (;; ++p) {
    const char c = *p;
    if (is_digit(c) || (!exponent && hex && is_hex_digit(c))) {
      digit = true;
    } else if (exponent && lower(p[-1]) == exponentChar &&
               (c == '-' || c == '+')) {
      // the exponent's sign
    } else if (digit && !exponent && lower(c) == exponentChar) {
      exponent = dot = true;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  const long taken = p - text, prefix = sign ? 1 : 0;
  if (taken == prefix || (hex && taken == prefix + 2)) return nullptr;
  return p;
}

}  // namespace scan_detail

// One "%f" scan of a command-line number, as the C library's formatted scan
// reads it: leading white space, then the characters the scan takes (a
// sign; digits with one point and an exponent; hexadecimal digits after
// "0x" with a "p" exponent; "inf", "infinity" or "nan" in either case),
// converted by strtof. Text behind the number is ignored ("1.5e0x" reads
// 1.5), a value beyond the range of float reads as an infinity or as 0,
// and errno is left as it was. Returns true and stores the value, or false
// leaving `value` as it was.
inline bool scan_float(const char *text, float *value) {
  while (is_scan_white(*text)) ++text;
  const char *end = scan_detail::float_candidate_end(text);
  if (end == nullptr) return false;
  const int saved = errno;
  char *converted = nullptr;
  float v = strtof(text, &converted);
  bool read = converted != text;
  // strtof takes the longest number it can read. Where that ends within the
  // characters the scan takes, it is what strtof reads from those characters
  // alone. It goes beyond them only on a "nan(...)", whose "(...)" the scan
  // leaves: then the taken characters, a sign and "nan", are converted alone
  // from a small copy (no copy of a long number is ever needed).
  if (converted > end) {
    char taken[16] = {};
    const size_t length = static_cast<size_t>(end - text);
    if (length < sizeof taken) {
      memcpy(taken, text, length);
      v = strtof(taken, &converted);
      read = converted != taken;
    }
  }
  errno = saved;
  if (!read) return false;
  *value = v;
  return true;
}
