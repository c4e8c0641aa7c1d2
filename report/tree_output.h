// The dated classification tree as Newick text and as an SVG picture.
#pragma once

#include <cstddef>

#include "database/settings.h"
#include "report/names.h"
#include "report/tree.h"

namespace plix {

class ResultFile;

// One line of Newick: a tree per top-level group under an unlabelled root.
// Every node is labelled with its component (quoted unless it consists of
// letters, digits, '.' and '-') and annotated
// [&pairs=N,similarity=S,age=A], S with the report's two decimals, A in
// years; similarity and age only where the report prints them. Languages
// are leaves under their names. A branch has a length in thousands of years
// where both of its ends are dated; languages are of age 0.
void write_tree_newick(ResultFile& file, const RunParameters& params,
                       const ClassificationTree& tree, const LanguageNames& names);

// At most this many rows before groups are drawn as one row.
constexpr int SVG_MAX_ROWS = 500;

// The picture: a time axis in years before present, one row per language,
// every node at its age; an undated node at the age of its oldest child,
// drawn hollow and dashed. With more than SVG_MAX_ROWS languages the
// smallest groups are drawn as one row each, and the picture says so.
void write_tree_svg(ResultFile& file, const RunParameters& params, const ClassificationTree& tree,
                    const LanguageNames& names);

// The collapse size of the picture: groups of fewer languages than this are
// one row (0: none); and the rows it leaves.
struct SvgRows {
  int collapse_below = 0;
  int rows = 0;
};
SvgRows svg_rows(const ClassificationTree& tree, int max_rows);

}  // namespace plix
