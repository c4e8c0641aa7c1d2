// The state of the database scan, and the parts of a run that the database
// phases read and write.
#pragma once

#include <cstdint>

#include "database/codes.h"
#include "database/origins.h"
#include "database/settings.h"
#include "database/store.h"

namespace plix {

struct TextIO;
struct ScanContext;

// Told of the scan's decisions, as they are made; the stream check listens
// (run/check.cpp), a run sets none.
struct ScanWatcher {
  virtual ~ScanWatcher() = default;
  // A header and its figure record: admitted (into slot open_slot) or skipped.
  virtual void language(const ScanContext& db, std::int64_t header_record, int bar_column, float figure,
                        const char* code, bool admitted) = 0;
  // The open language is closed: retained, or dropped for too few meanings.
  virtual void closed(const ScanContext& db, bool retained) = 0;
  // A word record of selected meaning `meaning` of the open language, in
  // scan.record, before it is encoded.
  virtual void word_record(const ScanContext& db, int meaning) = 0;
};

struct ScanState {
  char record[RECORD_WIDTH];        // the database record read last
  std::int32_t open_slot = 0;       // slot of the open language, 0 = none yet
  std::int32_t attested = 0;        // meanings the open language attested so far
  std::int32_t language_count = 0;  // retained languages, set when the scan ends
  std::int64_t record_number = 0;   // input records read so far, for messages
  char open_code[3];                // language code of the open language, for messages
  std::int64_t open_record = 0;     // record number of its header, for messages
  ScanWatcher* watcher = nullptr;   // the stream check, when it runs
};

// What the scanner, the grouping and the encoder work on: the settings they
// read and the tables they fill. The run assembles it from its own parts.
struct ScanContext {
  TextIO& io;
  const RunParameters& params;
  const MeaningSelection& selection;
  CodeTables& codes;
  ScanState& scan;
  BranchTable& branches;
  LanguageStore& store;
  LanguageOrigins& origins;
};

}  // namespace plix
