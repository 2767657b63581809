// Formatted reading of words ("%s") and integers ("%d") from a string or a
// text file, as one scan would read them, but safe: a word never overflows
// its field and a number outside int fails instead of wrapping.
#pragma once

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>

#include "scan.h"  // is_scan_white, the toolkit's white space

// Characters of a C string.
struct TextCursor {
  const char *at;
  int peek() const {
    return *at == '\0' ? EOF : static_cast<unsigned char>(*at);
  }
  void advance() { ++at; }
  int end_error() const { return ENODATA; }
};

// Characters of a text file, read in large blocks.
class FileScanner {
 public:
  explicit FileScanner(FILE *file) : file_(file) {}
  FileScanner(const FileScanner &) = delete;
  FileScanner &operator=(const FileScanner &) = delete;
  int peek() {
    if (next_ == end_ && !refill()) return EOF;
    return static_cast<unsigned char>(buffer_[next_]);
  }
  void advance() { ++next_; }
  // Whether reading stopped on a stream error rather than the file's end.
  bool error() const { return ferror(file_) != 0; }
  // The error number for a read that found no more text: the stream's own
  // error, or ENODATA at the end of the file.
  int end_error() const { return error() ? read_errno_ : ENODATA; }

 private:
  bool refill() {
    next_ = 0;
    end_ = fread(buffer_, 1, sizeof buffer_, file_);
    if (end_ == 0 && ferror(file_)) read_errno_ = errno;
    return end_ > 0;
  }
  FILE *file_;
  char buffer_[65536];
  size_t next_ = 0, end_ = 0;
  int read_errno_ = 0;
};

template <class Source>
void skip_space(Source &in) {
  while (is_scan_white(in.peek())) in.advance();
}

// "%s" into `field` of `size` bytes: false at the end of the text (errno
// from end_error) or when the word does not fit (errno EINVAL).
template <class Source>
bool scan_word(Source &in, char *field, size_t size) {
  skip_space(in);
  size_t length = 0;
  int c = in.peek();
  if (c == EOF) {
    errno = in.end_error();
    return false;
  }
  for (; c != EOF && !is_scan_white(c); c = in.peek()) {
    if (length + 1 >= size) {
      errno = EINVAL;
      return false;
    }
    field[length++] = static_cast<char>(c);
    in.advance();
  }
  field[length] = '\0';
  return true;
}

// "%s" of any length, not kept.
template <class Source>
bool skip_word(Source &in) {
  skip_space(in);
  if (in.peek() == EOF) return false;
  while (in.peek() != EOF && !is_scan_white(in.peek())) in.advance();
  return true;
}

// "%d": white space, an optional sign, at least one digit; reading stops at
// the first other character. False when no number is there (errno from
// end_error at the end of the text, else EINVAL) or it lies outside int
// (errno EINVAL, and *outside set when it is given).
template <class Source>
bool scan_next_int(Source &in, int *value, bool *outside = nullptr) {
  if (outside != nullptr) *outside = false;
  skip_space(in);
  int c = in.peek();
  if (c == EOF) {
    errno = in.end_error();
    return false;
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.advance();
    c = in.peek();
  }
  if (c < '0' || c > '9') {
    errno = c == EOF ? in.end_error() : EINVAL;
    return false;
  }
  long long magnitude = 0;
  for (; c >= '0' && c <= '9'; c = in.peek()) {
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) {
      errno = EINVAL;
      if (outside != nullptr) *outside = true;
      return false;
    }
    in.advance();
  }
  const long long v = negative ? -magnitude : magnitude;
  if (v > INT_MAX) {
    errno = EINVAL;
    if (outside != nullptr) *outside = true;
    return false;
  }
  *value = static_cast<int>(v);
  return true;
}
