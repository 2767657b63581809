#include "formattest.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <sstream>

namespace formattest {

std::string tcl_quote(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (isalnum(c)) {
      quoted += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      quoted += hex;
    }
  }
  return quoted + "\"";
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

const char *const SCRIPT_PROCS = R"(
proc try_photo {format data} {
  if {[catch {image create photo -format $format -data $data} p]} {
    puts "1 $p"
    return
  }
  puts "0 [image width $p] [image height $p]"
  image delete $p
}
proc dump_photo {format data} {
  if {[catch {image create photo -format $format -data $data} p]} {
    puts "1 $p"
    return
  }
  foreach row [$p data] { puts -nonewline "{$row}" }
  puts ""
  image delete $p
}
)";

std::vector<std::string> run_lines(const testsupport::TempDir &dir,
                                   const std::string &script) {
  auto r = shelltest::run_script(dir, SCRIPT_PROCS + script, 120);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  return lines(r.out);
}

Pixels parse_pixels(const std::string &line) {
  Pixels p;
  int x = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '{') {
      x = 0;
    } else if (line[i] == '}') {
      if (p.height == 0) p.width = x;
      if (x != p.width) return p;
      ++p.height;
    } else if (line[i] == '#' && i + 7 <= line.size()) {
      unsigned v = 0;
      sscanf(line.c_str() + i + 1, "%6x", &v);
      p.rgb.push_back({static_cast<int>(v >> 16),
                       static_cast<int>((v >> 8) & 0xFF),
                       static_cast<int>(v & 0xFF)});
      ++x;
      i += 6;
    }
  }
  p.ok = p.width > 0 && !line.empty() && line[0] == '{';
  return p;
}

std::string palette_text(const std::function<Rgb(int)> &colour,
                         const std::string &separator) {
  std::string text;
  for (int e = 0; e < 256; ++e) {
    const Rgb c = colour(e);
    for (int k = 0; k < 3; ++k) {
      if (!text.empty()) text += separator;
      text += std::to_string(c[static_cast<size_t>(k)]);
    }
  }
  return text;
}

}  // namespace formattest
