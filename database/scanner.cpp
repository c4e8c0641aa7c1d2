#include "database/scanner.h"

#include <cstring>
#include <string>

#include "database/encoder.h"
#include "database/grouping.h"
#include "textio/textio.h"

namespace plix {

namespace {


// Reads the next database record into db.scan.record.
void read_record(const ScanContext& db) {
  begin_read(db.io, "(400A1)");
  read_characters(db.io, db.scan.record, RECORD_WIDTH);
  end_read(db.io);
  ++db.scan.record_number;
}

// The column after the first '|' of the header record; 401 when there is
// none (or it stands in column 400), so the classification text is empty.
int bar_column(const char* line) {
  const void* bar = std::memchr(line, '|', RECORD_WIDTH);
  if (bar == nullptr) return RECORD_WIDTH + 1;
  return static_cast<int>(static_cast<const char*>(bar) - line) + 2;
}

// Database records, after the header of the language read last (0: none).
void set_database_place(const ScanContext& db, std::int64_t header_record, const char* code) {
  ReadPlace place{.record = "a database record",
                  .missing = "the end-of-data record, a blank first column,",
                  .header = header_record};
  if (code != nullptr) {
    place.has_code = true;
    std::memcpy(place.code, code, 3);
  }
  set_read_place(db.io, place);
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

bool language_admitted(const ScanContext& db, const char* line, int bar_column, float figure) {
  // An empty classification text (or none at all) skips the language.
  if (bar_column > RECORD_WIDTH || line[bar_column - 1] == '@') return false;
  if (figure < db.params.date_limit) return true;
  if (figure < -1.0f) return false;
  return true;
}

void admit_language(const ScanContext& db, const char* line, int bar_column, const char* language_code,
                    std::int64_t header_record) {
  if (db.scan.open_slot == 0) {
    db.scan.open_slot = 1;
  } else if (db.scan.attested >= db.params.WORDS) {
    if (db.scan.watcher != nullptr) db.scan.watcher->closed(db, true);
    ++db.branches.member_count[db.store.branch_of[db.scan.open_slot]];
    if (db.scan.open_slot == INT32_MAX)
      table_out_of_memory(db.io, "the word codes", "languages", std::size_t{INT32_MAX} + 1, 0);
    ++db.scan.open_slot;
  } else if (db.scan.watcher != nullptr) {
    db.scan.watcher->closed(db, false);
  }
  grow_store(db.io, db.store, db.scan.open_slot);
  grow_origins(db.io, db.origins, db.scan.open_slot);
  db.scan.attested = 0;
  std::memcpy(db.scan.open_code, language_code, 3);
  db.scan.open_record = header_record;
  std::memcpy(db.origins.header[db.scan.open_slot], line, RECORD_WIDTH);
  std::memcpy(db.origins.code[db.scan.open_slot], language_code, 3);
  db.origins.header_record[db.scan.open_slot] = header_record;
  assign_branch(db, line, bar_column, language_code);
  for (int m = 1; m <= MAX_MEANINGS; ++m) {
    word_length(db.store, db.scan.open_slot, m, 1) = 0;
    word_length(db.store, db.scan.open_slot, m, 2) = 0;
  }
}

void scan_database(const ScanContext& db) {
  set_database_place(db, 0, nullptr);
  read_record(db);
  for (;;) {
    if (db.scan.record[0] == ' ') return;  // end-of-data record

    const std::int32_t number = meaning_number(db.scan.record);
    if (number >= 1) {
      // A word record. Before the first admitted language it belongs to no
      // one; numbers above 100 are never selected.
      if (number <= MAX_SELECTION && db.scan.open_slot != 0) {
        const std::int32_t meaning = db.selection.meaning_index[number];
        if (meaning != 0) {
          if (db.scan.watcher != nullptr) db.scan.watcher->word_record(db, meaning);
          encode_word_record(db, db.scan.record, db.scan.open_slot, meaning);
        }
      }
      read_record(db);
      continue;
    }

    // A header record, then its figure record.
    const std::int64_t header_record = db.scan.record_number;
    const int bar = bar_column(db.scan.record);
    float figure = 0;
    char code[3];
    set_read_place(db.io, {.record = "the figure record", .header = header_record});
    begin_read(db.io, "(18X,F12.0,9X,3A1)");
    read_real(db.io, figure);
    read_characters(db.io, code, 3);
    end_read(db.io);
    ++db.scan.record_number;
    set_database_place(db, header_record, code);

    if (language_admitted(db, db.scan.record, bar, figure)) {
      admit_language(db, db.scan.record, bar, code, header_record);
      if (db.scan.watcher != nullptr) db.scan.watcher->language(db, header_record, bar, figure, code, true);
      read_record(db);
      continue;
    }
    if (db.scan.watcher != nullptr) db.scan.watcher->language(db, header_record, bar, figure, code, false);

    // Skipped: pass over its word records; the record that ends the skip
    // is the next header or the end-of-data record.
    do read_record(db);
    while (meaning_number(db.scan.record) >= 1);
  }
}

void finish_scan(const ScanContext& db) {
  ScanState& scan = db.scan;
  if (scan.open_slot == 0) {
    scan.language_count = 0;
    return;
  }
  scan.language_count = scan.open_slot;
  if (scan.watcher != nullptr) scan.watcher->closed(db, scan.attested >= db.params.WORDS);
  if (scan.attested >= db.params.WORDS) {
    ++db.branches.member_count[db.store.branch_of[scan.open_slot]];
  } else {
    scan.language_count = scan.open_slot - 1;
  }
}

}  // namespace plix
