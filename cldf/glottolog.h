// The classification of a glottolog-cldf checkout: the NEXUS trees of
// cldf/classification.nex (one Newick tree per family, nodes labelled by
// Glottocode) and the names of cldf/languages.csv.
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
  // The names from the family down to the parent of `glottocode`; for a tree's
  // root (a family or an isolate) its own name alone. Empty when the code is
  // in no tree.
  std::vector<std::string> path(const std::string& glottocode) const;
  std::string name(const std::string& glottocode) const;

 private:
  std::unordered_map<std::string, std::string> parent_;  // "" for a root
  std::unordered_map<std::string, std::string> name_;
};

// Reads DIR/cldf/classification.nex and DIR/cldf/languages.csv.
Glottolog load_glottolog(const std::string& dir);

}  // namespace plix::cldf
