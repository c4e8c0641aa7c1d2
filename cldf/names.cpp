#include "cldf/names.h"

#include <utf8proc.h>

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

// Safe name text: every byte that is not printable (C0 controls, DEL, C1
// controls, bytes that are not UTF-8) becomes '_', and so do the bytes that
// the header reserves ('|' ends the free text); blanks at either end go last.
std::string safe_text(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(s.data());
  for (std::size_t i = 0; i < s.size();) {
    utf8proc_int32_t cp;
    auto len = utf8proc_iterate(p + i, static_cast<utf8proc_ssize_t>(s.size() - i), &cp);
    if (len <= 0) {
      out += '_';
      ++i;
      continue;
    }
    auto n = static_cast<std::size_t>(len);
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == '|' || cp == '@' || cp == '{' || cp == '}')
      out.append(n, '_');
    else
      out.append(s.substr(i, n));
    i += n;
  }
  return std::string(trim(out));
}

std::string display_name(const Language& l) {
  std::string name = safe_text(l.name);
  if (name.empty()) name = safe_text(l.id);
  // Column 1 must be neither blank (the end of the data) nor a digit (a word record).
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name = "_" + name;
  return name;
}

std::string header_record(const Language& l, const std::string& name, bool with_id) {
  const std::string id = with_id ? " (" + std::string(utf8_prefix(safe_text(l.id), 50)) + ")" : std::string();
  // The path leaves room for '|', '@', the ID and one character of the name,
  // and its key (path, ',', code, ',') fits the record.
  const std::size_t limit = std::min<std::size_t>(kRecord - 5, kRecord - 3 - id.size());
  std::vector<std::string> path = l.path;
  auto joined = [&]() {
    std::string s;
    for (std::size_t k = 0; k < path.size(); ++k) s += (k ? "," : "") + path[k];
    return s;
  };
  std::string p = joined();
  while (p.size() > limit && path.size() > 1) {
    path.pop_back();
    p = joined();
  }
  if (p.size() > limit) p = std::string(utf8_prefix(p, limit));
  // Where the record is short of room the name is cut, never the ID.
  const std::size_t room = std::min<std::size_t>(100, kRecord - 2 - p.size() - id.size());
  return std::string(utf8_prefix(name, room)) + id + "|" + p + "@";
}

}  // namespace plix::cldf
