// The classification of a glottolog-cldf checkout: the NEXUS trees of
// cldf/classification.nex (one Newick tree per family, nodes labelled by
// Glottocode) and, from cldf/languages.csv, the names, the levels (family,
// language, dialect) and the language and family of each Glottocode.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace plix::cldf {

class Glottolog {
 public:
  // Adds the trees of a NEXUS text; throws InputError naming `file`.
  void add_trees(std::string_view nexus, const std::string& file);
  void set_name(const std::string& glottocode, const std::string& name) { name_[glottocode] = name; }
  // The row of cldf/languages.csv: level, the language of a dialect, the family.
  void set_entry(const std::string& glottocode, const std::string& level, const std::string& language,
                 const std::string& family);
  // The names from the family down to the parent of `glottocode`; for a tree's
  // root (a family or an isolate) its own name alone. Empty when the code is
  // in no tree.
  std::vector<std::string> path(const std::string& glottocode) const;
  std::string name(const std::string& glottocode) const;

  enum class Source { kNone, kTree, kParent };
  struct Placement {
    std::vector<std::string> path;  // empty: no usable path
    Source source = Source::kNone;
    std::string via;                // kParent: the Glottocode whose path was taken
    std::string problem;            // why there is no path, or why it is not used
  };
  // The path of a Glottocode: from the trees; else, for a code in no tree,
  // through its parent chain: the path of its language (a dialect's
  // Language_ID), else of its family, with that language or family as the
  // last component. The paths of bookkeeping and unclassifiable entries are
  // not used.
  Placement place(const std::string& glottocode) const;
  // Level as languages.csv writes it ("family", "language", "dialect"), or empty.
  std::string level(const std::string& glottocode) const;
  std::size_t trees() const { return trees_; }
  std::size_t codes() const { return parent_.size(); }

 private:
  struct Entry {
    std::string level, language, family;
  };
  std::string root(const std::string& glottocode) const;
  std::unordered_map<std::string, Entry> entry_;
  std::size_t trees_ = 0;
  std::unordered_map<std::string, std::string> parent_;  // "" for a root
  std::unordered_map<std::string, std::string> name_;
};

// Reads DIR/cldf/classification.nex and DIR/cldf/languages.csv (file and
// folder names in any letter case). Throws InputError for a folder without
// them, a file that is not a regular readable file, and trees that hold no tree.
Glottolog load_glottolog(const std::string& dir);

}  // namespace plix::cldf
