#include "cldf/names.h"

#include <algorithm>

#include "cldf/error.h"
#include "cldf/text.h"

namespace plix::cldf {

// The figure cell as the text of an F12.0 field: a decimal number.
std::string figure_text(const Language& l, const std::string& file, const Options& o) {
  if (l.figure.empty()) return "0";
  std::string_view v = l.figure;
  std::string_view digits = v;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  bool ok = !digits.empty() && v.size() <= 12;
  int dots = 0, ds = 0;
  for (char c : digits) {
    if (c == '.') ++dots;
    else if (c >= '0' && c <= '9') ++ds;
    else ok = false;
  }
  if (!ok || dots > 1 || ds == 0)
    throw InputError(file, l.line, "figure '" + l.figure + "' (column " + o.figure +
                                       ") is not a decimal number of at most 12 characters");
  return l.figure;
}

std::string language_code(const Language& l) {
  auto letters = [](const std::string& s) {
    return s.size() == 3 && std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  };
  std::string code = letters(l.iso) ? l.iso : l.id.substr(0, std::min<std::size_t>(3, l.id.size()));
  for (char& c : code)
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F || c == ',') c = '_';
  code.resize(3, '_');
  return code;
}

std::string header_record(const Language& l) {
  std::vector<std::string> path = l.path;
  auto joined = [&]() {
    std::string s;
    for (std::size_t k = 0; k < path.size(); ++k) s += (k ? "," : "") + path[k];
    return s;
  };
  std::string p = joined();
  while (p.size() > kRecord - 5 && path.size() > 1) {
    path.pop_back();
    p = joined();
  }
  if (p.size() > kRecord - 5) p = std::string(utf8_prefix(p, kRecord - 5));
  auto clean = [](std::string_view s) {
    std::string out = printable(trim(s));
    for (char& c : out)
      if (c == '|' || c == '@' || c == '{' || c == '}') c = '_';
    return out;
  };
  std::string name = clean(l.name.empty() ? l.id : l.name);
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name = "_" + name;  // not a word record
  std::string text = std::string(utf8_prefix(name, 100)) + "{" + std::string(utf8_prefix(clean(l.id), 50));
  std::size_t room = kRecord - 3 - p.size();  // '|', '@' and '}'
  return std::string(utf8_prefix(text, room)) + "|" + p + "@}";
}

}  // namespace plix::cldf
