#include "run/selection.h"

#include <cstring>
#include <string>

#include "database/encoder.h"
#include "textio/textio.h"

namespace plix {

void read_meaning_selection(TextIO& io, MeaningSelection& sel, std::int64_t& record_number) {

  // The format record: its first 72 columns are the format of every
  // meaning-number record.
  set_read_place(io, {.record = "the format record"});
  begin_read(io, "(400A1)");
  read_characters(io, sel.meaning_format, 72);
  end_read(io);
  ++record_number;

  std::memset(sel.meaning_index, 0, sizeof sel.meaning_index);
  sel.meaning_count = 0;
  for (int i = 1; i <= MAX_SELECTION; ++i) {
    std::int32_t k = 0;
    set_read_place(io, {.record = "meaning record",
                        .index = i,
                        .missing = "the record that ends the meaning list (0 or a blank field)"});
    begin_read(io, characters_to_text(sel.meaning_format, 72));
    read_integer(io, k);
    end_read(io);
    record_number = records_read(io);  // a format with '/' reads several records
    if (k == 0) break;
    if (k < 1 || k > MAX_SELECTION) {
      fatal_error(io, last_record_place(io) + ": meaning number " +
                              std::to_string(k) + " is outside 1.." +
                              std::to_string(MAX_SELECTION));
    }
    if (i > MAX_MEANINGS) {
      fatal_error(io, last_record_place(io) + ": more than " +
                              std::to_string(MAX_MEANINGS) + " meanings selected");
    }
    sel.meaning_index[k] = i;
    sel.meaning_count = i;
  }
}

void read_sound_inventory(TextIO& io, CodeTables& codes, std::int64_t& record_number) {
  SoundInventory& inv = codes.inventory;
  inv.symbol_count = 0;
  for (int i = 1; i <= MAX_SYMBOLS; ++i) {
    char symbol = ' ';
    set_read_place(io, {.record = "symbol record",
                        .index = i,
                        .missing = "the blank record that ends the sound inventory"});
    begin_read(io, "(A1,I4)");
    read_character(io, symbol);
    end_read(io);
    ++record_number;
    if (symbol == ' ') break;
    inv.symbols[i] = symbol;
    inv.symbol_count = i;
  }
  build_symbol_index(inv);
  codes.last_code = 3 * inv.symbol_count;
  codes.pairs.count = 0;
  codes.triples.count = 0;
}

}  // namespace plix
