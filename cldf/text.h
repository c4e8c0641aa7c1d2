// Small text helpers of the importer's readers and writer.
#pragma once

#include <string>
#include <string_view>

namespace plix::cldf {

// Without leading and trailing blanks, TABs and line breaks.
inline std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// The longest prefix of at most `bytes` bytes that ends on a character boundary.
inline std::string_view utf8_prefix(std::string_view s, std::size_t bytes) {
  if (s.size() <= bytes) return s;
  std::size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

// Control characters (line breaks and TABs included) as blanks.
inline std::string printable(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

// `v` right-aligned in `width` columns.
inline std::string right(long v, int width) {
  std::string s = std::to_string(v);
  return std::string(s.size() < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - s.size() : 0, ' ') + s;
}

}  // namespace plix::cldf
