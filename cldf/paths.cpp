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

PathSource first_source(const Dataset& d, const Options& o, const Glottolog* glottolog) {
  if (glottolog != nullptr) return PathSource::kGlottolog;
  if (!o.classification.empty()) return PathSource::kColumn;
  if (d.has_family || d.has_subgroup) return PathSource::kFamily;
  return PathSource::kDataset;
}

const char* source_name(PathSource s) {
  switch (s) {
    case PathSource::kGlottolog: return "Glottolog";
    case PathSource::kGlottologParent: return "Glottolog through the parent language";
    case PathSource::kColumn: return "--classification";
    case PathSource::kFamily: return "Family/SubGroup";
    case PathSource::kDataset: return "the dataset's name";
    case PathSource::kNone: return "none";
  }
  return "none";
}

void classify(Dataset& d, const Options& o, const Glottolog* glottolog) {
  const PathSource first = first_source(d, o, glottolog);
  for (Language& l : d.languages) {
    std::vector<std::string> path;
    std::string why;  // why the first source gave no path
    PathSource source = PathSource::kNone;
    if (glottolog != nullptr) {
      if (l.glottocode.empty()) {
        why = "no Glottocode";
      } else {
        Glottolog::Placement p = glottolog->place(l.glottocode);
        path = clean_path(p.path);
        if (!path.empty()) {
          source = p.source == Glottolog::Source::kTree ? PathSource::kGlottolog : PathSource::kGlottologParent;
          if (!p.via.empty()) {
            std::string level = glottolog->level(l.glottocode);
            l.path_note = (level.empty() ? std::string("Glottocode ") + l.glottocode : level + " " + l.glottocode) +
                          ", placed under " + glottolog->name(p.via) + " (" + p.via + ")";
          }
        } else {
          why = p.problem.empty() ? "no path in Glottolog" : p.problem;
        }
      }
    }
    if (path.empty() && !o.classification.empty()) {
      path = clean_path(split_path(l.classification, o.classification_separator));
      if (!path.empty()) source = PathSource::kColumn;
      else if (why.empty()) why = "empty " + o.classification + " cell";
    }
    if (path.empty() && (d.has_family || d.has_subgroup)) {
      path = clean_path({l.family, l.subgroup});
      if (!path.empty()) source = PathSource::kFamily;
      else if (why.empty()) why = "empty Family and SubGroup";
    }
    if (path.empty() && first == PathSource::kDataset) {
      path = clean_path({d.name});
      source = PathSource::kDataset;
    }
    l.classified = !path.empty();
    if (path.empty()) path = {"Unclassified"};
    l.path = std::move(path);
    l.source = source;
    if (source == PathSource::kNone) l.path_note = why + "; no other source: Unclassified";
    else if (source != first && source != PathSource::kGlottologParent)
      l.path_note = why + "; path from " + source_name(source);
  }
}

void find_reconstructions(Dataset& d, const Options& o, const Glottolog* glottolog) {
  auto starts = [](std::string_view s, std::string_view with) {
    if (s.size() < with.size()) return false;
    for (std::size_t k = 0; k < with.size(); ++k) {
      char c = s[k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != with[k]) return false;
    }
    return true;
  };
  for (Language& l : d.languages) {
    std::string_view name = trim(l.name);
    std::string figure(trim(l.figure));
    for (char& c : figure) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const bool figure_says = !o.figure.empty() && (figure == "proto" || figure == "proto-language" ||
                                                   figure == "reconstruction" || figure == "reconstructed");
    if (glottolog != nullptr && !l.glottocode.empty() && glottolog->level(l.glottocode) == "family")
      l.proto = "Glottocode " + l.glottocode + " is a family (" + glottolog->name(l.glottocode) + ")";
    else if (starts(name, "proto-") || starts(name, "proto ") || starts(name, "*"))
      l.proto = "the name says it is reconstructed";
    else if (figure_says)
      l.proto = "the " + o.figure + " cell says it is reconstructed";
    if (figure_says) l.figure.clear();  // a word, not a figure: kept with --keep-proto, it is admitted as 0
  }
}

}  // namespace plix::cldf
