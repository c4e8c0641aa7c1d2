#include "cldf/paths.h"

#include "cldf/text.h"

namespace plix::cldf {

namespace {

// A classification component: no blank, ',', '|', '@', '{' or '}' (each
// becomes '_'), no control character.
std::string component(std::string_view s) {
  std::string out(trim(s));
  for (char& c : out)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == ',' || c == '|' || c == '@' || c == '{' ||
        c == '}')
      c = '_';
  return out;
}

std::vector<std::string> split_path(std::string_view text, std::string_view sep) {
  std::vector<std::string> out;
  if (sep.empty()) sep = ",";
  while (true) {
    std::size_t cut = text.find(sep);
    out.emplace_back(text.substr(0, cut));
    if (cut == std::string_view::npos) break;
    text.remove_prefix(cut + sep.size());
  }
  return out;
}

// Components cleaned, empty ones and repeats of the one before dropped.
std::vector<std::string> clean_path(const std::vector<std::string>& raw) {
  std::vector<std::string> out;
  for (const std::string& r : raw) {
    std::string c = component(r);
    if (c.empty() || (!out.empty() && out.back() == c)) continue;
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace

void classify(Dataset& d, const Options& o, const Glottolog* glottolog) {
  bool any_source = glottolog != nullptr || !o.classification.empty() || d.has_family;
  for (Language& l : d.languages) {
    std::vector<std::string> path;
    if (glottolog != nullptr && !l.glottocode.empty()) path = clean_path(glottolog->path(l.glottocode));
    if (path.empty() && !o.classification.empty())
      path = clean_path(split_path(l.classification, o.classification_separator));
    if (path.empty() && (d.has_family || d.has_subgroup)) path = clean_path({l.family, l.subgroup});
    if (path.empty() && !any_source) path = clean_path({d.name});
    l.classified = !path.empty();
    if (path.empty()) path = {"Unclassified"};
    l.path = std::move(path);
  }
}

}  // namespace plix::cldf
