#include "cldf/concepts.h"

#include <charconv>

#include "cldf/csv.h"
#include "cldf/error.h"

namespace plix::cldf {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

ConceptTable parse_concepts(std::string_view text, const std::string& file) {
  text = strip_bom(text);
  if (long bad = invalid_utf8_line(text)) throw InputError(file, bad, "invalid UTF-8");
  ConceptTable table;
  bool header = true;
  long line = 0;
  int rows = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = line_end(text, at);
    std::string_view l = text.substr(at, end - at);
    at = end;
    ++line;
    while (!l.empty() && (l.back() == '\r' || l.back() == '\n')) l.remove_suffix(1);
    if (trim(l).empty() || l.front() == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    std::size_t t1 = l.find('\t');
    std::size_t t2 = t1 == std::string_view::npos ? t1 : l.find('\t', t1 + 1);
    if (t2 == std::string_view::npos)
      throw InputError(file, line, "expected three tab-separated columns: number, gloss, IDs");
    std::string_view num = trim(l.substr(0, t1));
    int n = 0;
    auto [p, ec] = std::from_chars(num.data(), num.data() + num.size(), n);
    if (ec != std::errc() || p != num.data() + num.size() || n < 1 || n > 100)
      throw InputError(file, line, "meaning number '" + std::string(num) + "' is not in 1..100");
    if (!table.gloss[n].empty()) throw InputError(file, line, "meaning " + std::to_string(n) + " listed twice");
    std::string_view gloss = trim(l.substr(t1 + 1, t2 - t1 - 1));
    table.gloss[n] = gloss.empty() ? std::to_string(n) : std::string(gloss);
    std::string_view ids = l.substr(t2 + 1);
    if (std::size_t t3 = ids.find('\t'); t3 != std::string_view::npos) ids = ids.substr(0, t3);
    while (!ids.empty()) {
      std::size_t comma = ids.find(',');
      std::string_view id = trim(ids.substr(0, comma));
      if (!id.empty()) table.number_of_id.emplace(std::string(id), n);
      if (comma == std::string_view::npos) break;
      ids.remove_prefix(comma + 1);
    }
    ++rows;
  }
  if (rows == 0) throw InputError(file, 0, "no meanings in the table");
  return table;
}

}  // namespace plix::cldf
