// gendb: writes a complete, valid input stream for plix62c to standard
// output: parameter record, meaning selection, sound inventory, the record
// that is passed over, a word-list database and its end-of-data record.
//
// The database is grown from a random classification tree: one ancestral word
// list is evolved into families, subgroups and languages by sound changes,
// lexical replacements and synonym gains and losses along every edge. Besides
// the requested number of retained languages it holds languages that the run
// skips (figure in the skipped range, or an empty classification) and
// languages that it drops (too few attested meanings).
//
// Output depends only on the options: the generator has its own PRNG
// (splitmix64) and uses no library distribution or hash-ordered container.
//
// Every retained language attests the first two selected meanings, with an
// odd number of sounds in meaning 1 and an even number in meaning 2. So any
// two retained languages share a meaning, and meaning 1 of one differs from
// meaning 2 of the other: no compared pair has an undefined similarity.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include "tools/rng.h"

namespace {

using plix::Rng;

constexpr std::string_view kUsage =
    "Usage: gendb [OPTION VALUE]... > INPUT\n"
    "Writes a seeded random input stream for plix62c on standard output.\n"
    "\n"
    "  --languages N  retained languages, 2..1000000              (default 240)\n"
    "  --families N   language families, 1..N languages           (default 8)\n"
    "  --level N      LEVEL, 0..20; every classification path has at least\n"
    "                 LEVEL + 1 components                        (default 1)\n"
    "  --synonyms N   SYNONYMS, 0..2                              (default 1)\n"
    "  --words N      WORDS, at most the number of meanings (default: half of them)\n"
    "  --date N       DATE, -99999..99999                         (default 1000)\n"
    "  --s0 N         S0 in percent, 1..999                       (default 92)\n"
    "  --r N          R in percent, 1..999                        (default 72)\n"
    "  --meanings N   selected meanings, 2..40                    (default 40)\n"
    "  --skipped P    extra languages that the run skips, percent of N (default 3)\n"
    "  --short P      extra languages with too few meanings, percent of N (default 3)\n"
    "  --mutation P   how much related languages differ: the chance, in\n"
    "                 thousandths, that each sound of every word is drawn\n"
    "                 anew from the sounds of its class at each edge of the tree;\n"
    "                 at 0 close relatives repeat most of their words (three\n"
    "                 meanings in four among 32 neighbours); at 400 about one\n"
    "                 in nine, closer to real word lists (0..1000) (default 0)\n"
    "  --seed N       seed of the generator                       (default 1)\n"
    "\n"
    "Options also take the form --name=VALUE. The same options give the same\n"
    "bytes on every platform. Example, 20,000 languages in 400 families:\n"
    "  gendb --languages 20000 --families 400 --level 0 --synonyms 2 > big.txt\n";

struct Options {
  int languages = 240;
  int families = 8;
  int level = 1;
  int synonyms = 1;
  int words = -1;  // half of the meanings
  int date = 1000;
  int s0 = 92;
  int r = 72;
  int meanings = 40;
  int skipped = 3;
  int too_short = 3;
  int mutation = 0;  // thousandths per sound and edge
  std::uint64_t seed = 1;
};


// The sound inventory of the run. None of the characters with a role in the
// words (blank , " * ~ $) is among them.
constexpr std::string_view kInventory = "ptkbdgmnszfvhlrwjcaeiouy";
constexpr std::string_view kConsonants = "ptkbdgmnszfvhlrwjc";
constexpr std::string_view kVowels = "aeiouy";

// One sound as written: one to three symbols and an optional mark. The marks
// " and * modify one symbol, ~ fuses two and $ three into one sound. Each
// sound becomes exactly one code, so a word's code length is its sound count.
struct Sound {
  std::string text;
  bool vowel;
};

std::vector<Sound> make_sounds() {
  std::vector<Sound> sounds;
  for (char c : kConsonants) sounds.push_back({std::string(1, c), false});
  for (char c : kVowels) sounds.push_back({std::string(1, c), true});
  for (const char* s : {"p*", "t*", "k*", "s*"}) sounds.push_back({s, false});
  for (const char* s : {"a\"", "e\"", "i\"", "o\"", "u\""}) sounds.push_back({s, true});
  for (const char* s : {"ts~", "dz~", "kw~", "gw~", "th~", "kh~", "ph~"}) sounds.push_back({s, false});
  for (const char* s : {"ai~", "au~", "ei~"}) sounds.push_back({s, true});
  for (const char* s : {"tsh$", "ndz$", "str$", "ngw$"}) sounds.push_back({s, false});
  return sounds;
}

const std::vector<Sound> kSounds = make_sounds();
constexpr int kPlainConsonants = 18;  // kSounds[0..17]
constexpr int kPlainVowels = 6;       // kSounds[18..23]

using Word = std::vector<std::uint8_t>;  // indices into kSounds

struct Meaning {
  Word syn1, syn2;  // syn2 empty: no second synonym
};

using WordList = std::vector<Meaning>;  // by selected index - 1

struct Generator {
  Options opt;
  Rng rng;
  std::string out;
  std::vector<int> selected;  // database meaning number of each selected index
  std::vector<int> unselected;
  std::vector<int> too_short_before, skipped_before;  // extras scheduled before retained r
  int retained = 0;
  int code_counter = 0;
  std::set<std::string> family_names;

  int sound_of_class(bool vowel) {
    if (rng.chance(850)) {
      return vowel ? kPlainConsonants + rng.below(kPlainVowels) : rng.below(kPlainConsonants);
    }
    for (;;) {
      const int s = kPlainConsonants + kPlainVowels +
                    rng.below(static_cast<int>(kSounds.size()) - kPlainConsonants - kPlainVowels);
      if (kSounds[s].vowel == vowel) return s;
    }
  }

  // One to three syllables of the shapes CV and CVC.
  Word random_word() {
    Word w;
    const int syllables = 1 + rng.below(3);
    for (int k = 0; k < syllables; ++k) {
      if (k == 0 || rng.chance(800)) w.push_back(static_cast<std::uint8_t>(sound_of_class(false)));
      w.push_back(static_cast<std::uint8_t>(sound_of_class(true)));
      if (rng.chance(300)) w.push_back(static_cast<std::uint8_t>(sound_of_class(false)));
    }
    return w;
  }

  std::string name(int syllables) {
    std::string s;
    for (int k = 0; k < syllables; ++k) {
      s += kConsonants[rng.below(static_cast<int>(kConsonants.size()))];
      s += kVowels[rng.below(static_cast<int>(kVowels.size()))];
    }
    s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
  }

  WordList random_list() {
    WordList list(selected.size());
    for (Meaning& m : list) {
      m.syn1 = random_word();
      if (rng.chance(100)) m.syn2 = random_word();
    }
    return list;
  }

  // Regular change of one sound into another of its class, everywhere, only
  // word-initially or only word-finally; or loss of a word-final sound.
  void sound_change(WordList& list) {
    const bool vowel = rng.chance(400);
    const int from = sound_of_class(vowel);
    int to = sound_of_class(vowel);
    if (to == from) return;
    const int mode = rng.below(4);
    auto apply = [&](Word& w) {
      if (w.empty()) return;
      switch (mode) {
        case 0:
          for (auto& s : w)
            if (s == from) s = static_cast<std::uint8_t>(to);
          break;
        case 1:
          if (w.front() == from) w.front() = static_cast<std::uint8_t>(to);
          break;
        case 2:
          if (w.back() == from) w.back() = static_cast<std::uint8_t>(to);
          break;
        default:
          if (w.size() > 2 && w.back() == from) w.pop_back();
          break;
      }
    };
    for (Meaning& m : list) {
      apply(m.syn1);
      apply(m.syn2);
    }
  }

  // The changes of one edge of the tree, `centuries` long.
  void evolve(WordList& list, int centuries) {
    const int changes = rng.below(2 + centuries / 3);
    for (int k = 0; k < changes; ++k) sound_change(list);
    const int replace = centuries * 22 < 900 ? centuries * 22 : 900;
    for (Meaning& m : list) {
      if (rng.chance(replace)) {
        m.syn1 = random_word();
        if (rng.chance(500)) m.syn2.clear();
      }
      if (m.syn2.empty()) {
        if (rng.chance(centuries * 3)) m.syn2 = random_word();
      } else if (rng.chance(centuries * 12)) {
        if (rng.chance(300)) m.syn1.swap(m.syn2);
        m.syn2.clear();
      }
    }
    // Sporadic changes, sound by sound (none at the default, which draws no
    // numbers here, so the default output stays as it was).
    if (opt.mutation > 0)
      for (Meaning& m : list)
        for (Word* w : {&m.syn1, &m.syn2})
          for (std::uint8_t& s : *w)
            if (rng.chance(opt.mutation))
              s = static_cast<std::uint8_t>(sound_of_class(kSounds[s].vowel));
  }

  // --- records ---
  void line(std::string_view text) {
    out.append(text);
    out.push_back('\n');
    if (out.size() > (1 << 20)) flush();
  }
  void flush() {
    std::fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
  }

  static std::string spell(const Word& w) {
    std::string s;
    for (std::uint8_t k : w) s += kSounds[k].text;
    return s;
  }

  std::string next_code() {
    const int c = code_counter++;
    std::string code(3, 'a');
    code[0] = static_cast<char>('a' + c / 676 % 26);
    code[1] = static_cast<char>('a' + c / 26 % 26);
    code[2] = static_cast<char>('a' + c % 26);
    return code;
  }

  void header(const std::string& path, const std::string& figure) {
    const std::string code = next_code();
    line(name(2 + rng.below(2)) + "{" + code + "|" + path + "@gendb}");
    // The figure in columns 19-30, the language code in columns 40-42.
    line(std::string(18, ' ') + figure + std::string(9, ' ') + code);
  }

  static std::string field12(long value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%12ld", value);
    return buffer;
  }

  // A figure that the run admits: a year, zero or blank, or one older than
  // the date limit.
  std::string admitted_figure() {
    const int kind = rng.below(10);
    if (kind < 6) return field12(1800 + rng.below(220));
    if (kind < 7) return std::string(12, ' ');
    if (kind < 8 || opt.date < 0) return field12(0);
    return field12(-(static_cast<long>(opt.date) + 1 + rng.below(2000)));
  }

  void word_record(int number, const Meaning& m) {
    std::string r = std::to_string(number);
    r += rng.chance(100) ? "\t\t" : "\t";
    if (rng.chance(80)) r += rng.chance(500) ? "/ " : " ";
    r += spell(m.syn1);
    if (!m.syn2.empty()) {
      r += rng.chance(500) ? ", " : ",";
      r += spell(m.syn2);
      if (rng.chance(50)) r += "," + spell(random_word());  // beyond any SYNONYMS
    }
    const int trailer = rng.below(10);
    if (trailer == 0) r += "  (gloss)";
    if (trailer == 1) r += " / note";
    line(r);
  }

  void unattested_record(int number) {
    const int kind = rng.below(3);
    if (kind == 0) line(std::to_string(number) + "\tXXX");
    if (kind == 1) line(std::to_string(number) + "\t");
    // kind 2: no record at all
  }

  // Word records in database meaning-number order; `attested[i]` says which
  // selected meanings get words.
  void word_records(const WordList& list, const std::vector<bool>& attested) {
    const int highest = static_cast<int>(selected.size() + unselected.size());
    for (int number = 1; number <= highest; ++number) {
      int index = -1;
      for (std::size_t i = 0; i < selected.size(); ++i)
        if (selected[i] == number) index = static_cast<int>(i);
      if (index < 0) {
        if (rng.chance(300)) word_record(number, {random_word(), {}});
      } else if (attested[index]) {
        word_record(number, list[index]);
      } else {
        unattested_record(number);
      }
    }
  }

  static void fix_parity(Word& w, std::size_t parity, Rng& rng) {
    if (w.empty() || w.size() % 2 == parity) return;
    if (w.size() > 1) {
      w.pop_back();
    } else {
      w.push_back(static_cast<std::uint8_t>(kPlainConsonants + rng.below(kPlainVowels)));
    }
  }

  void retained_language(WordList list, const std::string& path) {
    for (int k = 0; k < too_short_before[retained]; ++k) too_short_language(list, path);
    for (int k = 0; k < skipped_before[retained]; ++k) skipped_language();
    ++retained;
    for (int m = 0; m < 2; ++m) {
      fix_parity(list[m].syn1, m == 0 ? 1 : 0, rng);
      fix_parity(list[m].syn2, m == 0 ? 1 : 0, rng);
    }
    const int n = static_cast<int>(list.size());
    const int floor = opt.words > 2 ? opt.words : 2;
    int count = n - rng.below(n / 4 + 1);
    if (count < floor) count = floor;
    std::vector<bool> attested(n, false);
    attested[0] = attested[1] = true;
    for (int have = 2; have < count;) {
      const int i = 2 + rng.below(n - 2);
      if (!attested[i]) {
        attested[i] = true;
        ++have;
      }
    }
    header(path, admitted_figure());
    word_records(list, attested);
  }

  // A relative of the next retained language, in its group, attesting fewer
  // than WORDS meanings: admitted, then dropped.
  void too_short_language(WordList list, const std::string& path) {
    evolve(list, 1 + rng.below(4));
    const int n = static_cast<int>(list.size());
    const int count = rng.below(opt.words);
    std::vector<bool> attested(n, false);
    for (int have = 0; have < count;) {
      const int i = rng.below(n);
      if (!attested[i]) {
        attested[i] = true;
        ++have;
      }
    }
    header(path, admitted_figure());
    word_records(list, attested);
  }

  // A language that the run never admits: a figure in the skipped range
  // date_limit <= figure < -1, or an empty classification. Its content is
  // arbitrary, even a single meaning.
  void skipped_language() {
    std::string path = "Skipped," + name(2);
    std::string figure;
    if (opt.date >= 2 && rng.chance(850)) {
      figure = field12(-(2 + static_cast<long>(rng.below(opt.date - 1))));
    } else {
      path.clear();
      figure = admitted_figure();
    }
    header(path, figure);
    const int records = rng.below(4);
    for (int k = 0; k < records; ++k)
      word_record(selected[rng.below(static_cast<int>(selected.size()))], {random_word(), {}});
  }

  // A subtree of `size` retained languages below `path`, at depth `depth`.
  void subtree(const WordList& list, const std::string& path, int depth, int max_depth, int size) {
    const int min_depth = opt.level + 1;
    if (depth >= min_depth && (size <= 3 || depth >= max_depth || rng.chance(250))) {
      for (int k = 0; k < size; ++k) {
        WordList own = list;
        evolve(own, 1 + rng.below(6));
        retained_language(own, path);
      }
      return;
    }
    static constexpr const char* kGroups[] = {"North", "South", "East",   "West",   "Central",
                                              "Coast", "Upland", "Lowland", "Inner", "Outer",
                                              "River", "Lake",  "Forest", "Plains", "Hill",
                                              "Island"};
    const int children = size < 2 ? 1 : (size < 4 ? 2 : 2 + rng.below(3));
    std::vector<int> sizes(children, 1);
    for (int k = children; k < size; ++k) ++sizes[rng.below(children)];
    std::vector<int> used;
    for (int c = 0; c < children; ++c) {
      int g;
      do g = rng.below(16);
      while ([&] {
        for (int u : used)
          if (u == g) return true;
        return false;
      }());
      used.push_back(g);
      WordList child = list;
      evolve(child, 3 + rng.below(10));
      subtree(child, path + "," + kGroups[g], depth + 1, max_depth, sizes[c]);
    }
  }

  void run() {
    const int n = opt.languages;
    const int words = opt.words;
    // Parameter record, six fields of six columns.
    char params[64];
    std::snprintf(params, sizeof params, "%6d%6d%6d%6d%6d%6d", opt.synonyms, words, opt.date,
                  opt.level, opt.s0, opt.r);
    line(params);
    // Meaning selection: the selected numbers in shuffled order, among a few
    // database meanings that are not selected.
    const int spare = 100 - opt.meanings < 10 ? 100 - opt.meanings : 10;
    std::vector<int> numbers;
    for (int k = 1; k <= opt.meanings + spare; ++k) numbers.push_back(k);
    for (int k = static_cast<int>(numbers.size()) - 1; k > 0; --k)
      std::swap(numbers[k], numbers[rng.below(k + 1)]);
    selected.assign(numbers.begin(), numbers.begin() + opt.meanings);
    unselected.assign(numbers.begin() + opt.meanings, numbers.end());
    line("(I3)");
    for (int m : selected) {
      char field[8];
      std::snprintf(field, sizeof field, "%3d", m);
      line(field);
    }
    line("  0");
    for (std::size_t k = 0; k < kInventory.size(); ++k) {
      char record[8];
      std::snprintf(record, sizeof record, "%c%4d", kInventory[k], static_cast<int>(k + 1));
      line(record);
    }
    line("");
    line("Word lists generated by gendb, seed " + std::to_string(opt.seed));

    // Extra languages, each scheduled before a retained one; too-short ones
    // never after the last retained language.
    too_short_before.assign(n + 1, 0);
    skipped_before.assign(n + 1, 0);
    if (words >= 1)
      for (int k = 0, e = (n * opt.too_short + 99) / 100; k < e; ++k) ++too_short_before[rng.below(n)];
    for (int k = 0, e = (n * opt.skipped + 99) / 100; k < e; ++k) ++skipped_before[rng.below(n + 1)];

    // Family sizes: one language each, the rest spread with uneven weights.
    std::vector<int> sizes(opt.families, 1), weights(opt.families);
    int total = 0;
    for (int& w : weights) total += (w = 1 + rng.below(4));
    for (int k = opt.families; k < n; ++k) {
      int pick = rng.below(total), f = 0;
      while (pick >= weights[f]) pick -= weights[f++];
      ++sizes[f];
    }
    const WordList ancestor = random_list();
    for (int f = 0; f < opt.families; ++f) {
      std::string family;
      do family = name(2 + rng.below(2));
      while (!family_names.insert(family).second);
      WordList list = ancestor;
      evolve(list, 40 + rng.below(30));
      subtree(list, family, 1, opt.level + 1 + rng.below(3), sizes[f]);
    }
    for (int k = 0; k < skipped_before[n]; ++k) skipped_language();
    line("");
    flush();
  }
};

bool parse_int(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  value = v;
  return true;
}

[[noreturn]] void usage_error(const std::string& message) {
  std::fprintf(stderr, "gendb: %s\n\n%.*s", message.c_str(), static_cast<int>(kUsage.size()),
               kUsage.data());
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options opt;
  struct Rule {
    const char* name;
    long low, high;
    int* target;
  };
  const Rule rules[] = {
      {"languages", 2, 1000000, &opt.languages}, {"families", 1, 1000000, &opt.families},
      {"level", 0, 20, &opt.level},           {"synonyms", 0, 2, &opt.synonyms},
      {"words", -99999, 40, &opt.words},      {"date", -99999, 99999, &opt.date},
      {"s0", 1, 999, &opt.s0},                {"r", 1, 999, &opt.r},
      {"meanings", 2, 40, &opt.meanings},     {"skipped", 0, 100, &opt.skipped},
      {"short", 0, 100, &opt.too_short},      {"mutation", 0, 1000, &opt.mutation},
  };
  bool words_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      std::exit(0);
    }
    if (arg.rfind("--", 0) != 0) usage_error("unexpected argument '" + arg + "'");
    std::string key = arg.substr(2), value;
    if (const auto eq = key.find('='); eq != std::string::npos) {
      value = key.substr(eq + 1);
      key.resize(eq);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      usage_error("option '" + arg + "' needs a value");
    }
    long v = 0;
    if (key == "seed") {
      char* end = nullptr;
      errno = 0;
      const unsigned long long s = std::strtoull(value.c_str(), &end, 10);
      if (errno != 0 || end == value.c_str() || *end != '\0' || value[0] == '-')
        usage_error("bad value '" + value + "' for --seed");
      opt.seed = s;
      continue;
    }
    const Rule* rule = nullptr;
    for (const Rule& s : rules)
      if (key == s.name) rule = &s;
    if (rule == nullptr) usage_error("unknown option '--" + key + "'");
    if (!parse_int(value.c_str(), rule->low, rule->high, v))
      usage_error("bad value '" + value + "' for --" + key + " (allowed " +
                  std::to_string(rule->low) + ".." + std::to_string(rule->high) + ")");
    *rule->target = static_cast<int>(v);
    if (key == "words") words_given = true;
  }
  if (!words_given) opt.words = opt.meanings / 2;
  if (opt.words > opt.meanings) usage_error("--words must not exceed --meanings");
  if (opt.families > opt.languages) usage_error("--families must not exceed --languages");
  return opt;
}

}  // namespace

int main(int argc, char** argv) {
  Generator g;
  g.opt = parse(argc, argv);
  g.rng.state = g.opt.seed;
  g.run();
  return std::fflush(stdout) == 0 ? 0 : 1;
}
