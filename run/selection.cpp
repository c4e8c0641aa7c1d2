// The meaning selection and the sound inventory: the two lists after the
// parameter record that steer the rest of the run.
#include <cstring>
#include <string>

#include "database/encoder.h"
#include "run/phases.h"
#include "textio/textio.h"

namespace plix {

void read_meaning_selection(RunState& run) {
  MeaningSelection& sel = run.selection;

  // The format record: its first 72 columns are the format of every
  // meaning-number record.
  begin_read(run.io, "(400A1)");
  read_characters(run.io, sel.meaning_format, 72);
  end_read(run.io);
  ++run.record_number;

  std::memset(sel.meaning_index, 0, sizeof sel.meaning_index);
  sel.meaning_count = 0;
  for (int i = 1; i <= MAX_SELECTION; ++i) {
    std::int32_t k = 0;
    begin_read(run.io, characters_to_text(sel.meaning_format, 72));
    read_integer(run.io, k);
    end_read(run.io);
    ++run.record_number;
    if (k == 0) break;
    if (k < 1 || k > MAX_SELECTION) {
      fatal_error(run.io, "record " + std::to_string(run.record_number) + ": meaning number " +
                              std::to_string(k) + " is outside 1.." +
                              std::to_string(MAX_SELECTION));
    }
    if (i > MAX_MEANINGS) {
      fatal_error(run.io, "record " + std::to_string(run.record_number) + ": more than " +
                              std::to_string(MAX_MEANINGS) + " meanings selected");
    }
    sel.meaning_index[k] = i;
    sel.meaning_count = i;
  }
}

void read_sound_inventory(RunState& run) {
  SoundInventory& inv = run.inventory;
  inv.symbol_count = 0;
  for (int i = 1; i <= MAX_SYMBOLS; ++i) {
    char symbol = ' ';
    begin_read(run.io, "(A1,I4)");
    read_character(run.io, symbol);
    end_read(run.io);
    ++run.record_number;
    if (symbol == ' ') break;
    inv.symbols[i] = symbol;
    inv.symbol_count = i;
  }
  build_symbol_index(inv);
  run.last_code = 3 * inv.symbol_count;
  run.pairs.count = 0;
  run.triples.count = 0;
}

}  // namespace plix
