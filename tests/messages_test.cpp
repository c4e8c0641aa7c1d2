// Error messages name the input record and what was read there.
#include <gtest/gtest.h>

#include <string>

#include "tests/whole_run.h"

namespace plix {
namespace {

const std::string kParameters = "     1     2  1000     1    92    72\n";
const std::string kSelection = "(I3)\n  1\n  2\n  3\n  0\n";  // records 2-6
const std::string kInventory = "p\na\nt\ni\nk\nu\nm\nn\n\n";   // records 7-15
const std::string kFigure = std::string(26, ' ') + "1000" + std::string(9, ' ');
const std::string kHead = kParameters + kSelection + kInventory + "TITLE\n";  // 16 records
const std::string kLanguage = "LANGA{X|F,G1@Y}\n" + kFigure + "aaa\n1\tpata\n2\tkimu\n";  // 17-20

std::string frame(int number, const std::string& message) {
  return "\r\nrun-time error F" + std::to_string(number) + ": READ(CON)\r\n- " + message + "\r\n";
}

TEST(Messages, TruncatedAndBrokenStreamsNameTheRecord) {
  const std::string eof = "end of file encountered: ";
  struct Case {
    std::string input, err;
  } cases[] = {
      {"", frame(6501, eof + "the parameter record is missing: the input is empty")},
      {kParameters, frame(6501, eof + "the format record is missing after record 1")},
      {kParameters + "(I3)\n  1\n  2\n",
       frame(6501, eof + "the record that ends the meaning list (0 or a blank field) is missing "
                         "after record 4")},
      // The 0 forgotten: the first symbol is read as a meaning number.
      {kParameters + "(I3)\n  1\n  2\n  3\n" + kInventory,
       frame(6101, "invalid integer in record 6, meaning record 4")},
      {kParameters + "I3\n  1\n", frame(6970, "format does not begin with '(' in record 3, meaning record 1")},
      {kParameters + kSelection + "p\na\n",
       frame(6501, eof + "the blank record that ends the sound inventory is missing after record 8")},
      {kParameters + kSelection + kInventory,
       frame(6501, eof + "the record passed over after the inventory is missing after record 15")},
      {kHead + "LANGA{X|F,G1@Y}\n",
       frame(6501, eof + "the figure record of the header in record 17 is missing after record 17")},
      {kHead + "LANGA{X|F,G1@Y}\n" + std::string(20, ' ') + "10x0\n",
       frame(6103, "invalid real number in record 18, the figure record of the header in record 17")},
      {kHead + kLanguage,
       frame(6501, eof + "the end-of-data record, a blank first column, is missing after record 20, "
                         "in language aaa (header record 17)")},
      {kHead + kLanguage + "LANGB{X|F,G2@Y}\n" + kFigure + "bbb\n" + "1\tpa",
       frame(6501, eof + "the end-of-data record, a blank first column, is missing after record 23, "
                         "in language bbb (header record 21)")},
      {"     3     2  1000     1    92    72\n",
       "plix62c: record 1, the parameter record: SYNONYMS is 3; it must be 0, 1 or 2 (at most two "
       "synonyms per meaning are kept)\n"},
      {kParameters + "(I3)\n  1\n101\n",
       "plix62c: record 4, meaning record 2: meaning number 101 is outside 1..100\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_whole(c.input);
    EXPECT_EQ(r.status, 1) << c.input;
    EXPECT_EQ(r.err, c.err) << c.input;
  }
}

}  // namespace
}  // namespace plix
