#include "database/scanner.h"

#include <cstring>
#include <string>

#include "database/encoder.h"
#include "database/grouping.h"
#include "run/phases.h"
#include "textio/textio.h"

namespace plix {

namespace {


// Reads the next database record into run.record.
void read_record(RunState& run) {
  begin_read(run.io, "(400A1)");
  read_characters(run.io, run.record, RECORD_WIDTH);
  end_read(run.io);
  ++run.record_number;
}

// The column after the first '|' of the header record; 401 when there is
// none (or it stands in column 400), so the classification text is empty.
int bar_column(const char* line) {
  const void* bar = std::memchr(line, '|', RECORD_WIDTH);
  if (bar == nullptr) return RECORD_WIDTH + 1;
  return static_cast<int>(static_cast<const char*>(bar) - line) + 2;
}

}  // namespace

std::int32_t meaning_number(const char* line) {
  std::int32_t value = 0;
  for (int c = 0; c < 3; ++c) {
    const char ch = line[c];
    if (ch < '0' || ch > '9') break;
    value = 10 * value + (ch - '0');
  }
  return value;
}

bool language_admitted(const RunState& run, const char* line, int bar_column, float figure) {
  // An empty classification text (or none at all) skips the language.
  if (bar_column > RECORD_WIDTH || line[bar_column - 1] == '@') return false;
  if (figure < run.params.date_limit) return true;
  if (figure < -1.0f) return false;
  return true;
}

void admit_language(RunState& run, const char* line, int bar_column, const char* language_code,
                    int header_record) {
  if (run.open_slot == 0) {
    run.open_slot = 1;
  } else if (run.attested >= run.params.WORDS) {
    ++run.branches.member_count[run.store.branch_of[run.open_slot]];
    if (run.open_slot == MAX_LANGUAGES) {
      fatal_error(run.io, "more than " + std::to_string(MAX_LANGUAGES) + " language slots: language " +
                              std::string(language_code, 3) + " (record " +
                              std::to_string(header_record) + ") needs slot " +
                              std::to_string(MAX_LANGUAGES + 1));
    }
    ++run.open_slot;
  }
  run.attested = 0;
  std::memcpy(run.open_code, language_code, 3);
  run.open_record = header_record;
  assign_branch(run, line, bar_column, language_code, header_record);
  for (int m = 1; m <= MAX_MEANINGS; ++m) {
    word_length(run.store, run.open_slot, m, 1) = 0;
    word_length(run.store, run.open_slot, m, 2) = 0;
  }
}

void scan_database(RunState& run) {
  read_record(run);
  for (;;) {
    if (run.record[0] == ' ') return;  // end-of-data record

    const std::int32_t number = meaning_number(run.record);
    if (number >= 1) {
      // A word record. Before the first admitted language it belongs to no
      // one; numbers above 100 are never selected.
      if (number <= MAX_SELECTION && run.open_slot != 0) {
        const std::int32_t meaning = run.selection.meaning_index[number];
        if (meaning != 0) encode_word_record(run, run.record, run.open_slot, meaning);
      }
      read_record(run);
      continue;
    }

    // A header record, then its figure record.
    const int header_record = run.record_number;
    const int bar = bar_column(run.record);
    float figure = 0;
    char code[3];
    begin_read(run.io, "(18X,F12.0,9X,3A1)");
    read_real(run.io, figure);
    read_characters(run.io, code, 3);
    end_read(run.io);
    ++run.record_number;

    if (language_admitted(run, run.record, bar, figure)) {
      admit_language(run, run.record, bar, code, header_record);
      read_record(run);
      continue;
    }

    // Skipped: pass over its word records; the record that ends the skip
    // is the next header or the end-of-data record.
    do read_record(run);
    while (meaning_number(run.record) >= 1);
  }
}

}  // namespace plix
