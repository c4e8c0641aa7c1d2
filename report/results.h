// The result files for other tools: the node table and the pair list (TSV),
// and the distance matrix of all languages in PHYLIP and NEXUS form.
#pragma once

#include <memory>

#include "database/origins.h"
#include "database/settings.h"
#include "database/store.h"
#include "report/aggregate.h"
#include "report/names.h"
#include "report/pair_engine.h"
#include "report/tree.h"

namespace plix {

class ResultFile;
struct TextIO;

// One row per node block of the report, in report order, with the report's
// numbers: node, shared label, branches, languages, pairs, mean (9
// significant digits), the mean as the report prints it, age (empty when
// the report prints none or only asterisks); then the fewest and the mean
// number of meanings its pairs share, 1 when it is weak (fewer than 3
// pairs), the age of its nearest ancestor with pairs, "older" or "younger"
// when its age (or all of its interval) lies on one side of that age, and
// with resampled intervals in the tree their bounds and the share of
// replicates older than the ancestor. Without a tree (or where the run's
// grouping is not the tree's) the columns from the parent's age on are empty.
void write_node_table(ResultFile& file, const RunParameters& params, const BranchTable& branches,
                      const NodeTally& tally, const LanguageStore& store, int language_count,
                      int meaning_count, const ClassificationTree* tree);

// A sink for the pair aggregation that writes one TSV row per counted pair:
// node, then name, code, header record and branch label of each language,
// then the similarity.
std::unique_ptr<PairSink> pair_list_writer(ResultFile& file, const LanguageOrigins& origins,
                                           const LanguageStore& store, const BranchTable& branches,
                                           int language_count, std::int32_t level);

// Computes the similarity of every pair of languages 1..language_count and
// writes the distances 1 - similarity/100 to each file given: a relaxed
// PHYLIP square matrix and a NEXUS TAXA and DISTANCES block, one row per
// language. A pair without a similarity ends the run with a message naming
// both languages. From MATRIX_NOTICE_LANGUAGES languages on, a line on
// standard error first says how many distances the matrix holds and how
// large its files may grow.
constexpr int MATRIX_NOTICE_LANGUAGES = 10000;
void write_distance_files(TextIO& io, LanguageStore& store, const LanguageOrigins& origins,
                          const LanguageNames& names, int language_count, int meaning_count,
                          ResultFile* phylip, ResultFile* nexus);

}  // namespace plix
