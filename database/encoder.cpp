#include "database/encoder.h"

#include <array>
#include <bit>
#include <cstring>
#include <string>

#include "textio/textio.h"

namespace plix {

namespace {

constexpr char TAB = '\t';

// Column c (1-based) of the record; a blank beyond column 400.
inline char column(const char* line, int c) { return c <= RECORD_WIDTH ? line[c - 1] : ' '; }

[[noreturn]] void combination_table_full(const ScanContext& db, const char* what) {
  fatal_error(db.io, "record " + std::to_string(db.scan.record_number) +
                          ", word record of language " + std::string(db.scan.open_code, 3) +
                          " (header record " + std::to_string(db.scan.open_record) +
                          "): more than " + std::to_string(MAX_COMBINATIONS) + " distinct " + what);
}

}  // namespace

WordColumns word_columns(const char* line) {
  WordColumns words;
  for (int c = 2; c <= RECORD_WIDTH; ++c) {
    if (line[c - 1] == TAB && column(line, c + 1) != TAB) {
      words.tab = c;
      break;
    }
  }
  if (words.tab == 0) return words;
  int w = 0;
  for (int c = words.tab + 1; c <= RECORD_WIDTH; ++c) {
    const char ch = line[c - 1];
    if (ch != ' ' && ch != '/') {
      w = c;
      break;
    }
  }
  if (w == 0) return words;
  if (column(line, w) == 'X' && column(line, w + 1) == 'X' && column(line, w + 2) == 'X') return words;
  words.first = w;
  words.end = w;
  while (words.end <= RECORD_WIDTH) {
    const char next = column(line, words.end + 1);
    if (line[words.end - 1] == ' ' && (next == ' ' || next == '/')) break;
    ++words.end;
  }
  return words;
}

namespace {

}  // namespace

void build_symbol_index(SoundInventory& inventory) {
  std::memset(inventory.first_position, 0, sizeof inventory.first_position);
  for (int i = inventory.symbol_count; i >= 1; --i)
    inventory.first_position[static_cast<unsigned char>(inventory.symbols[i])] =
        static_cast<std::int8_t>(i);
}

namespace {

static_assert((COMBINATION_SLOTS & (COMBINATION_SLOTS - 1)) == 0 &&
                  COMBINATION_SLOTS >= 2 * MAX_COMBINATIONS && MAX_COMBINATIONS < 32768,
              "combination index: a power of two, at most half full, 16-bit entries");

// The first slot to probe for the codes of a combination: the top bits of
// a full 64-bit mix of all three codes.
int home_slot(std::int32_t a, std::int32_t b, std::int32_t c) {
  const std::uint64_t low = static_cast<std::uint32_t>(a), high = static_cast<std::uint32_t>(b);
  std::uint64_t h = high << 32 | low;
  h ^= std::uint64_t{static_cast<std::uint32_t>(c)} * 0x9e3779b97f4a7c15ULL;
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return static_cast<int>((h * 0x9e3779b97f4a7c15ULL) >>
                          (64 - std::countr_zero(unsigned{COMBINATION_SLOTS})));
}

// Entry of the combination (a, b, c) in a table of `count` entries whose
// codes at entry i are key(i), or 0. The index answers as the scan in order
// of insertion does: entries are indexed in that order and a key already
// present keeps its first entry.
template <typename Key>
int find_combination(CombinationIndex& x, std::int32_t count, Key key, std::int32_t a,
                     std::int32_t b, std::int32_t c) {
  auto probe = [&](int i, std::int32_t qa, std::int32_t qb, std::int32_t qc, bool insert) {
    for (int s = home_slot(qa, qb, qc);; s = (s + 1) & (COMBINATION_SLOTS - 1)) {
      const int e = x.slot[s];
      if (e == 0) {
        if (insert) x.slot[s] = static_cast<std::int16_t>(i);
        return 0;
      }
      if (!insert) ++x.compared;
      if (key(e) == std::array<std::int32_t, 3>{qa, qb, qc}) return e;
    }
  };
  if (x.indexed < 0 || x.indexed > count) {
    std::memset(x.slot, 0, sizeof x.slot);
    x.indexed = 0;
  }
  while (x.indexed < count) {
    const int i = ++x.indexed;
    const auto k = key(i);
    probe(i, k[0], k[1], k[2], true);
  }
  return probe(0, a, b, c, false);
}

}  // namespace

std::int32_t pair_code(const ScanContext& db, std::int32_t a, std::int32_t b) {
  PairTable& t = db.codes.pairs;
  auto key = [&t](int i) { return std::array<std::int32_t, 3>{t.first[i], t.second[i], 0}; };
  if (const int i = find_combination(t.index, t.count, key, a, b, 0)) return t.code[i];
  if (t.count == MAX_COMBINATIONS) combination_table_full(db, "pairs");
  const int i = ++t.count;
  t.first[i] = a;
  t.second[i] = b;
  t.code[i] = ++db.codes.last_code;
  return t.code[i];
}

std::int32_t triple_code(const ScanContext& db, std::int32_t a, std::int32_t b, std::int32_t c) {
  TripleTable& t = db.codes.triples;
  auto key = [&t](int i) {
    return std::array<std::int32_t, 3>{t.first[i], t.second[i], t.third[i]};
  };
  if (const int i = find_combination(t.index, t.count, key, a, b, c)) return t.code[i];
  if (t.count == MAX_COMBINATIONS) combination_table_full(db, "triples");
  const int i = ++t.count;
  t.first[i] = a;
  t.second[i] = b;
  t.third[i] = c;
  t.code[i] = ++db.codes.last_code;
  return t.code[i];
}

void encode_word_record(const ScanContext& db, const char* line, int slot, int meaning) {
  const std::int32_t nsym = db.codes.inventory.symbol_count;
  // The store holds two synonyms; the parameter reader admits only 1 or 2.
  const std::int32_t synonyms = db.params.SYNONYMS >= 2 ? 2 : 1;
  // code(p) is position p (1..100) of the meaning's codes.
  SoundCode* const codes_of_meaning = codes(db.store, slot, meaning);
  auto code = [codes_of_meaning](int p) -> SoundCode& { return codes_of_meaning[p - 1]; };

  std::int32_t synonym = 1;
  std::int32_t offset = 0;
  std::int32_t count = 0;

  const WordColumns words = word_columns(line);
  if (words.first != 0) {
    for (int c = words.first; c < words.end; ++c) {
      const char ch = line[c - 1];
      if (ch == ' ') {
        continue;  // a single blank inside the words
      } else if (ch == ',') {
        if (++synonym > synonyms) {
          synonym = synonyms;
          break;
        }
        word_length(db.store, slot, meaning, 1) =
            static_cast<std::int16_t>(count > SYNONYM2_OFFSET ? SYNONYM2_OFFSET : count);
        offset = SYNONYM2_OFFSET;
        count = 0;
      } else if (ch == '"') {
        // Codes wrap at 16 bits; they are only ever compared for equality.
        if (count >= 1) code(offset + count) = static_cast<SoundCode>(code(offset + count) + nsym);
      } else if (ch == '*') {
        if (count >= 1)
          code(offset + count) = static_cast<SoundCode>(code(offset + count) + 2 * nsym);
      } else if (ch == '~') {
        if (count >= 2) {
          const int q = offset + count;
          const std::int32_t combined = pair_code(db, code(q - 1), code(q));
          --count;
          code(offset + count) = static_cast<SoundCode>(combined);
        }
      } else if (ch == '$') {
        if (count >= 3) {
          const int q = offset + count;
          const std::int32_t combined = triple_code(db, code(q - 2), code(q - 1), code(q));
          count -= 2;
          code(offset + count) = static_cast<SoundCode>(combined);
        }
      } else {
        const int k = symbol_index(db.codes.inventory, ch);
        if (k == 0) continue;
        if (offset + count >= MAX_CODES) break;
        ++count;
        code(offset + count) = static_cast<SoundCode>(k);
      }
    }
  }

  word_length(db.store, slot, meaning, synonym) = static_cast<std::int16_t>(count);
  if (count >= 1) ++db.scan.attested;
}

}  // namespace plix
