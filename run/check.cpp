// The stream check: the stream is read by the phases of a run, with a tap
// on the raw records and a watcher on the scan's decisions, and what would
// silently spoil a report is listed instead of the report.
#include "run/check.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "database/encoder.h"
#include "database/grouping.h"
#include "database/origins.h"
#include "database/scanner.h"
#include "report/report.h"
#include "report/tree.h"
#include "run/parameters.h"
#include "run/run_state.h"
#include "run/selection.h"
#include "textio/textio.h"

namespace plix {

namespace {

constexpr char TAB = '\t';
constexpr int SHOWN_PER_KIND = 10;  // findings of one kind listed before they are only counted
constexpr int CODE_TABLE = 1 << 14; // open addressing over the retained languages' codes

enum Kind {
  PARAMETER_FIELD, FORMAT_RECORD, SYMBOL_NOT_ASCII, SYMBOL_TOO_LONG, SYMBOL_TWICE, SYMBOL_UNUSED,
  LANGUAGE_SKIPPED, LANGUAGE_DROPPED, CODE_TWICE, WORDS_WITHOUT_TAB, WORDS_NOT_ASCII,
  MEANING_UNATTESTED, NODE_ONE_BRANCH, NODE_WEAK, PAIR_UNDEFINED, PATH_TOO_SHORT, BLANK_IN_BRANCH,
  AGES_MASKED, KIND_COUNT
};

const char* const kKindNames[KIND_COUNT] = {
    "parameter fields", "format record", "symbols outside ASCII", "symbol records of several characters",
    "duplicate symbols", "unused symbols", "skipped languages", "dropped languages",
    "duplicate language codes", "word records without a TAB", "words outside ASCII",
    "unattested meanings", "nodes without pairs", "weak nodes", "pairs without a similarity",
    "classification paths shorter than LEVEL + 1", "branch names with a blank", "masked ages"};

struct Language {
  std::int64_t header = 0;
  char code[3];
  char name[32];
  int name_length = 0;
  char key[RECORD_WIDTH];
  int key_length = 0;
  std::uint64_t attested = 0;  // meaning positions with a first synonym
};

// Columns 1..6 of field f (0..5) of the parameter record, as written.
const char* const kFieldNames[6] = {"SYNONYMS", "WORDS", "DATE", "LEVEL", "S0", "R"};

// Printable form of a byte for a finding.
std::string shown(unsigned char c) {
  char text[8];
  if (c >= 0x21 && c < 0x7f) {
    std::snprintf(text, sizeof text, "'%c'", c);
  } else {
    std::snprintf(text, sizeof text, "0x%02X", c);
  }
  return text;
}

class Checker final : public ScanWatcher, public RecordTap {
 public:
  Checker(TextIO& io, ByteSink& out) : io_(io), out_(out) {}

  // --- the raw records, as they are loaded ---
  void record(std::int64_t number, const char* bytes, std::int32_t length) override {
    const ReadPlace& place = read_place(io_);
    if (place.record == nullptr) return;
    if (number == 1 || number == 2) {
      char* copy = number == 1 ? parameter_record_ : format_record_;
      const int n = length < RECORD_WIDTH ? length : RECORD_WIDTH;
      std::memset(copy, ' ', RECORD_WIDTH);
      std::memcpy(copy, bytes, static_cast<std::size_t>(n));
      (number == 1 ? have_parameters_ : have_format_) = true;
    }
    if (std::strcmp(place.record, "meaning record") == 0 && place.index <= MAX_SELECTION &&
        meaning_record_[place.index] == 0) {
      meaning_record_[place.index] = number;
    }
    if (std::strcmp(place.record, "symbol record") == 0 && place.index <= MAX_SYMBOLS) {
      symbol_record_[place.index] = number;
      int k = 1;
      while (k < length && bytes[k] != ' ' && bytes[k] != TAB) ++k;
      symbol_width_[place.index] = k;
    }
  }

  // --- the scan's decisions ---
  void language(const ScanContext& db, std::int64_t header_record, int bar, float figure, const char* code,
                bool admitted) override {
    ++languages_read_;
    if (admitted) make_slot(db.scan.open_slot);
    Language& l = admitted ? slots_[db.scan.open_slot] : skipped_;
    l.header = header_record;
    std::memcpy(l.code, code, 3);
    const char* line = db.scan.record;
    const std::string_view name = header_name_of(line);
    l.name_length = name.size() < sizeof l.name ? static_cast<int>(name.size()) : sizeof l.name - 1;
    std::memcpy(l.name, name.data(), static_cast<std::size_t>(l.name_length));
    l.attested = 0;
    l.key_length = 0;
    if (admitted) {
      l.key_length = build_branch_key(line, bar, code, l.key);
      ++languages_admitted_;
      check_path_length(db, l);
      return;
    }
    ++languages_skipped_;
    std::string why;
    if (bar > RECORD_WIDTH) {
      why = "its header has no '|' before the classification";
    } else if (line[bar - 1] == '@') {
      why = "its classification path is empty";
    } else {
      char text[160];
      std::snprintf(text, sizeof text, "its figure %.1f lies from -%d (DATE) up to -1", figure,
                    static_cast<int>(db.params.DATE));
      why = text;
    }
    finding(LANGUAGE_SKIPPED, header_record, "language " + describe(l, header_record) + " is skipped: " + why);
  }

  void closed(const ScanContext& db, bool retained) override {
    Language& l = slots_[db.scan.open_slot];
    if (!retained) {
      finding(LANGUAGE_DROPPED, l.header,
              "language " + describe(l, l.header) + " is dropped: it attests " +
                  std::to_string(db.scan.attested) + " selected meanings, fewer than WORDS (" +
                  std::to_string(db.params.WORDS) + ")");
      return;
    }
    // Duplicate codes among the languages kept.
    const std::uint32_t code = static_cast<std::uint8_t>(l.code[0]) |
                               static_cast<std::uint8_t>(l.code[1]) << 8 |
                               static_cast<std::uint8_t>(l.code[2]) << 16;
    std::uint32_t h = (code * 2654435761u) >> 18;
    for (;; h = (h + 1) % CODE_TABLE) {
      if (code_header_[h] == 0) {
        code_value_[h] = code;
        code_header_[h] = l.header;
        break;
      }
      if (code_value_[h] == code) {
        finding(CODE_TWICE, l.header,
                "language code " + std::string(l.code, 3) + " is used again (first by the "
                "language of header record " + std::to_string(code_header_[h]) + ")");
        break;
      }
    }
  }

  void word_record(const ScanContext& db, int) override {
    const char* line = db.scan.record;
    const Language& l = slots_[db.scan.open_slot];
    const std::string what = "word record of meaning " + std::to_string(meaning_number(line)) +
                             " of language " + describe(l);
    const WordColumns words = word_columns(line);
    if (words.tab == 0) {
      finding(WORDS_WITHOUT_TAB, db.scan.record_number,
              what + " has no TAB before its words: nothing is read from it");
      return;
    }
    bool outside = false;
    for (int c = words.first; c != 0 && c < words.end; ++c) {
      const unsigned char b = static_cast<unsigned char>(line[c - 1]);
      seen_[b] = true;
      outside = outside || b >= 0x80;
    }
    if (outside) {
      finding(WORDS_NOT_ASCII, db.scan.record_number,
              what + " holds bytes outside ASCII: each byte is looked up as a symbol on its own "
                     "(symbols are single bytes)");
    }
  }

  // --- the records before the database ---
  void check_parameters(const RunParameters* values) {
    if (!have_parameters_ || parameters_checked_) return;
    parameters_checked_ = true;
    const char* r = parameter_record_;
    const std::int32_t read[6] = {values ? values->SYNONYMS : 0, values ? values->WORDS : 0,
                                  values ? values->DATE : 0,     values ? values->LEVEL : 0,
                                  values ? values->S0 : 0,       values ? values->R : 0};
    for (int f = 0; f < 6; ++f) {
      const char* field = r + 6 * f;
      int first = 0;
      while (first < 6 && field[first] == ' ') ++first;
      if (first == 6) continue;
      bool inner_blank = false;
      for (int c = first; c < 6; ++c) inner_blank = inner_blank || field[c] == ' ';
      if (!inner_blank) continue;
      std::string text = "field " + std::string(kFieldNames[f]) + ", columns " +
                         std::to_string(6 * f + 1) + "-" + std::to_string(6 * f + 6) + ", holds \"" +
                         std::string(field, 6) + "\": not right-aligned in its six columns";
      if (values) text += " (read as " + std::to_string(read[f]) + ")";
      finding(PARAMETER_FIELD, 1, text);
    }
    if (r[35] != ' ' && r[36] != ' ' && r[36] != '\t') {
      finding(PARAMETER_FIELD, 1,
              "column 37 continues the R field: the record looks shifted to the right; "
              "fields are columns 1-6, 7-12, 13-18, 19-24, 25-30, 31-36");
    }
  }

  void check_format() {
    if (!have_format_ || format_checked_) return;
    format_checked_ = true;
    const char* f = format_record_;
    int first = 0;
    while (first < 72 && f[first] == ' ') ++first;
    int close = -1;
    bool integer = false;
    for (int c = first; c < 72; ++c) {
      if (f[c] == ')') {
        close = c;
        break;
      }
      integer = integer || f[c] == 'I' || f[c] == 'i';
    }
    if (first < 72 && f[first] == '(' && close > first && integer) return;
    int last = 72;
    while (last > first && f[last - 1] == ' ') --last;
    const int shown_length = last - first < 24 ? last - first : 24;
    finding(FORMAT_RECORD, 2,
            "the format record \"" + std::string(f + first, static_cast<std::size_t>(shown_length)) +
                "\" is not a format with an integer field, such as (I3): every meaning "
                "record is read with it");
  }

  void check_inventory(const SoundInventory& inv) {
    for (int i = 1; i <= inv.symbol_count; ++i) {
      const unsigned char s = static_cast<unsigned char>(inv.symbols[i]);
      const std::int64_t rec = symbol_record_[i];
      if (s >= 0x80) {
        finding(SYMBOL_NOT_ASCII, rec,
                "symbol " + shown(s) + " is a byte outside ASCII: symbols are single bytes, so "
                "symbols written in UTF-8 that share their first byte become one sound");
      } else if (symbol_width_[i] > 1) {
        finding(SYMBOL_TOO_LONG, rec,
                "symbol record holds more than one character: only " + shown(s) +
                    " is the symbol (a sound written with two symbols is combined with '~' "
                    "in the words)");
      }
      for (int j = 1; j < i; ++j) {
        if (static_cast<unsigned char>(inv.symbols[j]) == s) {
          finding(SYMBOL_TWICE, rec,
                  "symbol " + shown(s) + " is listed again (first in record " +
                      std::to_string(symbol_record_[j]) + "): the later entry never matches");
          break;
        }
      }
    }
  }

  // --- after the scan ---
  void check_results(const RunState& run) {
    const int kept = run.scan.language_count;
    const int nmean = run.selection.meaning_count < MAX_MEANINGS ? run.selection.meaning_count
                                                                 : MAX_MEANINGS;
    for (int s = 1; s <= inv_count(run); ++s) {
      const unsigned char c = static_cast<unsigned char>(run.codes.inventory.symbols[s]);
      if (!seen_[c]) {
        finding(SYMBOL_UNUSED, symbol_record_[s],
                "symbol " + shown(c) + " occurs in no word of a selected meaning");
      }
    }
    for (int l = 1; l <= kept; ++l) {
      for (int m = 1; m <= nmean; ++m)
        if (word_length(run.store, l, m, 1) > 0) slots_[l].attested |= std::uint64_t{1} << (m - 1);
    }
    // Meanings no kept language attests; the number of each position.
    std::int32_t number_of[MAX_SELECTION + 1] = {};
    for (int k = 1; k <= MAX_SELECTION; ++k)
      if (run.selection.meaning_index[k] != 0) number_of[run.selection.meaning_index[k]] = k;
    for (int m = 1; m <= nmean; ++m) {
      bool any = false;
      for (int l = 1; l <= kept && !any; ++l) any = (slots_[l].attested >> (m - 1)) & 1;
      if (any) continue;
      finding(MEANING_UNATTESTED, meaning_record_[m],
              number_of[m] != 0
                  ? "meaning " + std::to_string(number_of[m]) + " is selected but no kept language attests it"
                  : std::string("this meaning position receives no words: its number is selected again later"));
    }
    check_nodes(run);
    check_branch_names(run);
    check_ages(run);
  }

  // Parameters whose ages the report's seven columns cannot hold: it prints
  // asterisks, and the result files give no age.
  void check_ages(const RunState& run) {
    const float probes[] = {static_cast<float>(run.params.S0) / 2, 1.0f, 100.0f, AGE_THRESHOLD};
    for (const float mean : probes) {
      if (printable_age(estimate_age(run.params, mean))) continue;
      char text[256];
      std::snprintf(text, sizeof text,
                    "with S0 %d and R %d a mean of %.2f %% gives an age beyond the report's seven "
                    "columns: the report prints asterisks and the result files no age; R %s",
                    static_cast<int>(run.params.S0), static_cast<int>(run.params.R),
                    static_cast<double>(mean),
                    run.params.R >= 100 ? "must be below 100" : "is too close to 100");
      finding(AGES_MASKED, 1, text);
      return;
    }
  }

  void summary(const RunState& run) {
    list_findings();
    const BranchTable& t = run.branches;
    int branches = 0, nodes = 0, dated = 0;
    for (int b = 1; b <= t.branch_count; ++b) branches += t.member_count[b] != 0;
    for (std::size_t k = 1; k < node_members_.size(); ++k) {
      nodes += node_members_[k] != 0;
      dated += node_pairs_[k] != 0;
    }
    for (int k = 0; k < KIND_COUNT; ++k) {
      if (counts_[k] > SHOWN_PER_KIND) {
        std::string text = "(";
        text.append(std::to_string(counts_[k] - SHOWN_PER_KIND)).append(" more ").append(kKindNames[k]);
        line(text.append(" not listed)"));
      }
    }
    line("findings: " + std::to_string(findings_));
    line("languages: " + std::to_string(languages_read_) + " read, " +
         std::to_string(languages_skipped_) + " skipped, " +
         std::to_string(languages_admitted_ - run.scan.language_count) + " dropped, " +
         std::to_string(run.scan.language_count) + " kept");
    line("at LEVEL " + std::to_string(run.params.LEVEL) + ": branches with languages " +
         std::to_string(branches) + ", nodes with languages " + std::to_string(nodes) +
         ", nodes dated " + std::to_string(dated));
    line("pairs the run will count: " + std::to_string(total_pairs_));
  }

  std::int64_t findings() const { return findings_; }
  int write_error() const { return write_error_; }

 private:
  static int inv_count(const RunState& run) { return run.codes.inventory.symbol_count; }

  // "Tamu (code tmu)", with its header record unless that is the finding's.
  std::string describe(const Language& l, std::int64_t finding_record = 0) const {
    std::string text;
    if (l.name_length > 0) text = std::string(l.name, static_cast<std::size_t>(l.name_length)) + " ";
    text += "(code " + std::string(l.code, 3);
    if (l.header != finding_record) text += ", header record " + std::to_string(l.header);
    return text + ")";
  }

  // Commas in the common prefix of the keys of two languages.
  int shared_commas(const Language& a, const Language& b) const {
    const int n = a.key_length < b.key_length ? a.key_length : b.key_length;
    int commas = 0;
    for (int i = 0; i < n && a.key[i] == b.key[i]; ++i) commas += a.key[i] == ',';
    return commas;
  }

  // Nodes whose kept languages lie in one branch, and pairs whose similarity
  // is undefined (no meaning in common, or no pair of different meanings).
  void check_nodes(const RunState& run) {
    const int kept = run.scan.language_count;
    const BranchTable& t = run.branches;
    const std::int32_t* branch_of = run.store.branch_of.data();
    try {
      node_members_.assign(static_cast<std::size_t>(t.node_count) + 1, 0);
      node_pairs_.assign(static_cast<std::size_t>(t.node_count) + 1, 0);
    } catch (const std::bad_alloc&) {
      out_of_memory(io_, "the node counts of the stream check", 0);
    }
    for (int l = 1; l <= kept; ++l) ++node_members_[t.node_of[branch_of[l]]];
    for (int k = 1; k <= t.node_count; ++k) {
      std::int64_t sum = 0, squares = 0;
      int populated = 0, first_branch = 0;
      for (int b = 1; b <= t.branch_count; ++b) {
        if (t.node_of[b] != k || t.member_count[b] == 0) continue;
        sum += t.member_count[b];
        squares += static_cast<std::int64_t>(t.member_count[b]) * t.member_count[b];
        if (++populated == 1) first_branch = b;
      }
      node_pairs_[k] = (sum * sum - squares) / 2;
      total_pairs_ += node_pairs_[k];
      if (node_pairs_[k] > 0 && node_pairs_[k] < WEAK_NODE_PAIRS) {
        int first = 0;
        for (int l = 1; l <= kept && first == 0; ++l)
          if (branch_of[l] == first_branch) first = l;
        const std::string name = shown_label(t, first_branch, run.params.LEVEL);
        finding(NODE_WEAK, slots_[first].header,
                "the node of branch " + name + " is dated from " + std::to_string(node_pairs_[k]) +
                    (node_pairs_[k] == 1 ? " pair" : " pairs") + ", fewer than " +
                    std::to_string(static_cast<int>(WEAK_NODE_PAIRS)) +
                    ": its age is flagged weak and rests on the words of so few languages");
      }
      if (populated != 1) continue;
      int first = 0;
      for (int l = 1; l <= kept && first == 0; ++l)
        if (branch_of[l] == first_branch) first = l;
      const std::string name = shown_label(t, first_branch, run.params.LEVEL);
      if (sum >= 2) {
        int level = RECORD_WIDTH;
        for (int l = first + 1; l <= kept; ++l)
          if (branch_of[l] == first_branch) {
            const int c = shared_commas(slots_[first], slots_[l]);
            if (c < level) level = c;
          }
        finding(NODE_ONE_BRANCH, slots_[first].header,
                "the " + std::to_string(sum) + " languages of branch " + name +
                    " are the only branch of their node: no pairs; LEVEL " + std::to_string(level) +
                    " would date them");
      } else {
        int level = -1, other = 0;
        for (int l = 1; l <= kept; ++l) {
          if (l == first) continue;
          const int c = shared_commas(slots_[first], slots_[l]);
          if (c > level) level = c, other = l;
        }
        std::string text = "language " + describe(slots_[first], slots_[first].header) +
                           " is alone in its node (branch " +
                           name + "): no pairs";
        if (other != 0 && level < run.params.LEVEL) {
          text += "; LEVEL " + std::to_string(level) + " would date it with " + describe(slots_[other]);
        }
        finding(NODE_ONE_BRANCH, slots_[first].header, text);
      }
    }
    for (int i = 1; i < kept; ++i) {
      const int bi = branch_of[i], node = t.node_of[bi];
      const int ai = std::popcount(slots_[i].attested);
      for (int j = i + 1; j <= kept; ++j) {
        const int bj = branch_of[j];
        if (bj == bi || t.node_of[bj] != node) continue;
        const int same = std::popcount(slots_[i].attested & slots_[j].attested);
        const std::int64_t different =
            static_cast<std::int64_t>(ai) * std::popcount(slots_[j].attested) - same;
        if (same != 0 && different != 0) continue;
        finding(PAIR_UNDEFINED, slots_[i].header,
                "languages " + describe(slots_[i], slots_[i].header) + " and " + describe(slots_[j]) +
                    (same == 0 ? " share no meaning" : " attest no two different meanings") +
                    ": their similarity is undefined and the run ends with a floating-point error");
      }
    }
  }

  // The branch label as the report prints it, without its final blank.
  static std::string shown_label(const BranchTable& t, int b, std::int32_t level) {
    char label[RECORD_WIDTH];
    int n = branch_label(t, b, level, label);
    if (n > 0 && label[n - 1] == ' ') --n;
    return std::string(label, static_cast<std::size_t>(n));
  }

  // A path of fewer than LEVEL + 1 components: the language's code becomes
  // one of its branch's components, so it forms a branch of its own.
  void check_path_length(const ScanContext& db, const Language& l) {
    std::int64_t components = 0;  // of the key, whose last is the code
    for (int i = 0; i < l.key_length; ++i) components += l.key[i] == ',';
    const std::int64_t path_components = components - 1;
    if (path_components >= static_cast<std::int64_t>(db.params.LEVEL) + 1) return;
    const std::size_t path_length = l.key_length >= 5 ? static_cast<std::size_t>(l.key_length - 5) : 0;
    finding(PATH_TOO_SHORT, l.header,
            "language " + describe(l, l.header) + " has the classification path \"" +
                std::string(l.key, path_length) + "\" of " + std::to_string(path_components) +
                (path_components == 1 ? " component" : " components") + ", fewer than LEVEL + 1 (LEVEL " +
                std::to_string(db.params.LEVEL) + "): its code is read as a component, so it is a branch "
                "of its own, labelled " +
                shown_label(db.branches, db.store.branch_of[db.scan.open_slot], db.params.LEVEL));
  }

  // Branches named with a blank: the report's label stops at the first
  // blank, so different branches may print alike.
  void check_branch_names(const RunState& run) {
    const BranchTable& t = run.branches;
    std::vector<int> first(static_cast<std::size_t>(t.branch_count) + 1, 0);
    for (int l = run.scan.language_count; l >= 1; --l) first[run.store.branch_of[l]] = l;
    for (int b = 1; b <= t.branch_count; ++b) {
      const std::string_view whole = branch_components(t, b, run.params.LEVEL);
      if (t.member_count[b] == 0 || first[b] == 0 || whole.find(' ') == std::string_view::npos) continue;
      finding(BLANK_IN_BRANCH, slots_[first[b]].header,
              "branch \"" + std::string(whole) + "\" has a blank in its first LEVEL + 1 components: the "
              "report prints it as \"" + shown_label(t, b, run.params.LEVEL) +
                  "\", like any branch that differs only after the blank");
    }
  }

  // Findings are held and listed in record order: a language is known to
  // be dropped only when the scan has passed it.
  void finding(Kind kind, std::int64_t record_number, const std::string& text) {
    ++findings_;
    if (++counts_[kind] > SHOWN_PER_KIND) return;
    held_.push_back({record_number, "record " + std::to_string(record_number) + ": " + text});
  }

 public:
  void list_findings() {
    std::stable_sort(held_.begin(), held_.end(),
                     [](const Held& a, const Held& b) { return a.record < b.record; });
    for (const Held& h : held_) line(h.text);
    held_.clear();
  }

 private:

  void line(std::string text) {
    text += '\n';
    if (write_error_ == 0) write_error_ = out_.write(text.data(), text.size());
  }

  struct Held {
    std::int64_t record;
    std::string text;
  };
  std::vector<Held> held_;  // at most SHOWN_PER_KIND of each kind
  TextIO& io_;
  ByteSink& out_;
  std::int64_t findings_ = 0;
  std::int64_t counts_[KIND_COUNT] = {};
  int write_error_ = 0;  // errno of the first failed write
  char parameter_record_[RECORD_WIDTH], format_record_[RECORD_WIDTH];
  bool have_parameters_ = false, have_format_ = false;
  bool parameters_checked_ = false, format_checked_ = false;
  std::int64_t meaning_record_[MAX_SELECTION + 1] = {};
  std::int64_t symbol_record_[MAX_SYMBOLS + 1] = {};
  int symbol_width_[MAX_SYMBOLS + 1] = {};
  bool seen_[256] = {};
  std::int64_t languages_read_ = 0, languages_admitted_ = 0, languages_skipped_ = 0;
  std::uint32_t code_value_[CODE_TABLE] = {};
  std::int64_t code_header_[CODE_TABLE] = {};
  std::vector<std::int64_t> node_members_, node_pairs_;  // per node, 0..node_count
  std::int64_t total_pairs_ = 0;
  Language skipped_;
  std::vector<Language> slots_;  // per slot, grown as languages are admitted

  // Slots 0..slot exist, in steps of half again as many.
  void make_slot(int slot) {
    const auto need = static_cast<std::size_t>(slot) + 1;
    if (need <= slots_.size()) return;
    try {
      slots_.resize(std::max(need, slots_.size() + slots_.size() / 2 + 1024));
    } catch (const std::bad_alloc&) {
      out_of_memory(io_, "the languages of the stream check", need * sizeof(Language));
    }
  }
};

}  // namespace

int check_program(ByteSource& in, ByteSink& out, ByteSink& err) {
  QuietRun quiet;
  if (const int status = open_quiet_run(in, err, quiet)) return status;
  const TextIOHandle& io = quiet.io;
  const std::unique_ptr<RunState>& run = quiet.run;
  auto checker = std::make_unique<Checker>(*io, out);
  set_record_tap(*io, checker.get());
  run->scan.watcher = checker.get();
  bool parameters_read = false;
  try {
    // The phases of a run up to the end of the scan, the header lines left out.
    std::int64_t& records = run->scan.record_number;
    read_run_parameters(*io, run->params, records);
    parameters_read = true;
    checker->check_parameters(&run->params);
    read_meaning_selection(*io, run->selection, records);
    checker->check_format();
    clear_branch_table(run->branches);
    read_sound_inventory(*io, run->codes, records);
    checker->check_inventory(run->codes.inventory);
    set_read_place(*io, {.record = "the record passed over after the inventory"});
    begin_read(*io, "(400A1)");
    read_characters(*io, run->scan.record, RECORD_WIDTH);
    end_read(*io);
    ++records;
    run->scan.open_slot = 0;
    scan_database(run->scan_context());
    finish_scan(run->scan_context());
  } catch (const RunEnd&) {
    // The stream cannot be read to its end: what was found on the way, and
    // the error report already on standard error.
    checker->check_parameters(parameters_read ? &run->params : nullptr);
    checker->check_format();
    checker->list_findings();
    if (checker->write_error() != 0) {
      report_write_failure(err, checker->write_error());
      return 1;
    }
    return 2;
  }
  checker->check_results(*run);
  checker->summary(*run);
  // A failed write is reported as every failed write to standard output.
  if (checker->write_error() != 0) {
    report_write_failure(err, checker->write_error());
    return 1;
  }
  return checker->findings() == 0 ? 0 : 1;
}

}  // namespace plix
