// The dated classification tree as Newick text and as an SVG picture.
#pragma once

#include <cstddef>
#include <vector>

#include "database/settings.h"
#include "report/names.h"
#include "report/tree.h"

namespace plix {

class ResultFile;

// Where each node stands in time, in years before present: its age when
// dated, else the age of its oldest dated descendant (0 when it has none,
// languages being of age 0). Every branch of the tree files gets its
// length from these.
std::vector<long long> standing_ages(const RunParameters& params, const ClassificationTree& tree);

// One line of Newick: a tree per top-level group under an unlabelled root.
// Every node is labelled with its component in the safe form of a name
// (safe_name: no quotes are ever needed) and annotated
// [&pairs=N,similarity=S,age=A,age_95%_HPD={L,H},weak=true,dated=false]:
// S with the report's two decimals, A in years, only where the report
// prints them; the interval where resampling dated the node; weak for a
// node of fewer than WEAK_NODE_PAIRS pairs; dated=false for a node without
// an age. Languages are leaves under their names. Every branch has a
// length in thousands of years, between the standing ages of its ends (a
// node dated younger than a child has a negative one below it).
void write_tree_newick(ResultFile& file, const RunParameters& params,
                       const ClassificationTree& tree, const LanguageNames& names);

// The same tree as a NEXUS TREES block, for the file of --nexus after its
// TAXA and DISTANCES blocks (the leaves are its TAXLABELS).
void write_tree_nexus(ResultFile& file, const RunParameters& params,
                      const ClassificationTree& tree, const LanguageNames& names);

// At most this many language rows before groups are drawn as one row.
constexpr int SVG_MAX_ROWS = 500;

// The picture's one font: a monospace face of SVG_FONT_SIZE pixels, whose
// every character advances SVG_CHAR_ADVANCE (two cells for East Asian wide
// characters). Every text is laid out by this rule, which keeps texts from
// overlapping and inside the canvas.
constexpr double SVG_FONT_SIZE = 11, SVG_CHAR_ADVANCE = 0.6 * SVG_FONT_SIZE;

// The picture: a heading with S0, R, the calibration points and a legend; a
// time axis in years before present; one row per language, in the order of
// the tree, and one per node, its text on its own row right of its mark.
// A dated node stands at its age, an undated one (hollow) at its standing
// age; a chain of one-child ancestors is drawn as one node with the names
// joined. A node dated younger than a group below it is a red diamond at
// its age, with a red stem and branch; weak nodes are orange; an interval
// is a bar, a known age a red triangle. With more than SVG_MAX_ROWS
// languages the smallest groups are drawn as one row each, and the picture
// says so.
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
