// The tables grow with the data: whole runs past the sizes of their first
// steps, and past the old limit of 8000 languages and branches.
#include <gtest/gtest.h>

#include <string>

#include "database/table.h"
#include "tests/whole_run.h"

namespace plix {
namespace {

// A language: header with classification `path`, figure record with `code`,
// and, when `words`, the same two words as every other.
void add_language(std::string& db, const std::string& path, const std::string& code, bool words) {
  db.append("L|").append(path).append("@\n").append(26, ' ').append("1000").append(9, ' ');
  db.append(code).append("\n");
  if (words) db.append("1\tpa\n2\tap\n");
}

std::string code_of(int k) {
  return {static_cast<char>('a' + k / 676 % 26), static_cast<char>('a' + k / 26 % 26),
          static_cast<char>('a' + k % 26)};
}

TEST(TablesGrow, PastTheirStepsAndPastEightThousandLanguagesAndBranches) {
  // Lone languages, each its own family (no pair to compare), one without
  // a word (dropped, its slot reused), then two in family Z with the same
  // two words: one node of one pair at 100.00%, which S0 92 and R 72 date
  // to log10(100/92) / (2 log10 .72) = -.1269 millennia, -126 BP. Small
  // table steps on a small stream, the normal ones past the old limit.
  const struct {
    int lone;
    std::size_t step;
  } cases[] = {{40, 3}, {8001, 0}};
  for (const auto& c : cases) {
    const TableStepForTesting steps(c.step);
    std::string db = "     1     1  1000     1    92    72\n(I3)\n  1\n  2\n  0\np\na\n\nTITLE\n";
    for (int k = 0; k < c.lone; ++k) add_language(db, std::string("F").append(std::to_string(k)), code_of(k), true);
    add_language(db, "Y,A", "yyy", false);
    add_language(db, "Z,A", "zza", true);
    add_language(db, "Z,B", "zzb", true);
    db.append("\n");
    const RunResult r = run_whole(db);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "1 SYNONYMS,  1 WORDS, DATE > 1000, LEVEL  1\r\nS0 = 92%, R = .72\r\n"
              "\r\n     1  Z,A \r\n     1  Z,B \r\n     1  PAIRS  100.00%   -126 BP\r\n"
              "Stop - Program terminated.\r\n")
        << c.lone;
  }
}

}  // namespace
}  // namespace plix
