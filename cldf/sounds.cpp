#include "cldf/sounds.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace plix::cldf {

namespace {

// Diacritics and modifier letters that become one of the two marks: '"' for
// length and for a release or secondary articulation, '*' for nasalisation
// and glottalisation. Every other diacritic, and tone letters, stress and
// syllable marks, are dropped.
Mark mark_of(std::int32_t cp) {
  switch (cp) {
    case 0x02D0: case 0x02D1: case 0x003A:  // length: ː ˑ and ':'
    case 0x02B0: case 0x02B1:               // aspiration, breathy release: ʰ ʱ
    case 0x0324: case 0x0325: case 0x030A:  // breathy voice, voiceless
    case 0x02B7: case 0x02B2: case 0x02E0:  // labialised, palatalised, velarised: ʷ ʲ ˠ
    case 0x02E4: case 0x02C1:               // pharyngealised: ˤ ˁ
      return kQuote;
    case 0x0303: case 0x0328: case 0x0334:  // nasalised: tilde, ogonek; tilde overlay
    case 0x0330:                            // creaky voice
    case 0x02BC: case 0x0027: case 0x2019:  // ejective: ʼ ' ’
    case 0x02C0:                            // glottalised: ˀ
      return kStar;
    default:
      return kNoMark;
  }
}

// Letters written in place of others, or standing for two: the IPA ɡ as g,
// the affricate ligatures, the superscript nasals of prenasalised stops, and
// the okina as a glottal stop.
const char* substitute(std::int32_t cp) {
  switch (cp) {
    case 0x0261: return "g";
    case 0x02A6: return "ts";
    case 0x02A7: return "t\u0283";
    case 0x02A3: return "dz";
    case 0x02A4: return "d\u0292";
    case 0x02A8: return "t\u0255";
    case 0x02A5: return "d\u0291";
    case 0x207F: return "n";
    case 0x1D50: return "m";
    case 0x1D51: return "\u014B";
    case 0x1DAE: return "\u0272";
    case 0x02BB: return "\u0294";
    default: return nullptr;
  }
}

bool is_base_letter(std::int32_t cp) {
  switch (utf8proc_category(cp)) {
    case UTF8PROC_CATEGORY_LU: case UTF8PROC_CATEGORY_LL: case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LO:
      return true;
    default:
      return false;
  }
}

std::string utf8(std::int32_t cp) {
  utf8proc_uint8_t buf[4];
  auto n = utf8proc_encode_char(cp, buf);
  return std::string(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
}

// Sound classes: manner (P stop, F fricative, N nasal, R rhotic, L lateral,
// G glide, C click, V vowel), place (consonants: l labial, d dental or
// alveolar, s postalveolar, r retroflex, p palatal, v velar, u uvular,
// h pharyngeal, g glottal; vowels: f front, c central, b back) and voice
// (consonants: 0 voiceless, 1 voiced; vowels: the height, h high, m mid,
// o open).
struct ClassEntry {
  const char* sound;
  char manner, place, voice;
};
constexpr ClassEntry kClasses[] = {
    {"p", 'P', 'l', '0'}, {"b", 'P', 'l', '1'}, {"\u0253", 'P', 'l', '1'},
    {"t", 'P', 'd', '0'}, {"d", 'P', 'd', '1'}, {"\u0257", 'P', 'd', '1'},
    {"\u0288", 'P', 'r', '0'}, {"\u0256", 'P', 'r', '1'},
    {"c", 'P', 'p', '0'}, {"\u025F", 'P', 'p', '1'}, {"\u0284", 'P', 'p', '1'},
    {"k", 'P', 'v', '0'}, {"g", 'P', 'v', '1'}, {"\u0260", 'P', 'v', '1'},
    {"q", 'P', 'u', '0'}, {"\u0262", 'P', 'u', '1'}, {"\u029B", 'P', 'u', '1'},
    {"\u02A1", 'P', 'h', '0'}, {"\u0294", 'P', 'g', '0'},
    {"\u0278", 'F', 'l', '0'}, {"f", 'F', 'l', '0'}, {"\u03B2", 'F', 'l', '1'}, {"v", 'F', 'l', '1'},
    {"\u03B8", 'F', 'd', '0'}, {"s", 'F', 'd', '0'}, {"\u00F0", 'F', 'd', '1'}, {"z", 'F', 'd', '1'},
    {"\u0283", 'F', 's', '0'}, {"\u0255", 'F', 's', '0'}, {"\u0292", 'F', 's', '1'}, {"\u0291", 'F', 's', '1'},
    {"\u0282", 'F', 'r', '0'}, {"\u0290", 'F', 'r', '1'},
    {"\u00E7", 'F', 'p', '0'}, {"\u029D", 'F', 'p', '1'},
    {"x", 'F', 'v', '0'}, {"\u0263", 'F', 'v', '1'},
    {"\u03C7", 'F', 'u', '0'}, {"\u0281", 'F', 'u', '1'},
    {"\u0127", 'F', 'h', '0'}, {"\u0295", 'F', 'h', '1'},
    {"h", 'F', 'g', '0'}, {"\u0266", 'F', 'g', '1'},
    {"m", 'N', 'l', '1'}, {"\u0271", 'N', 'l', '1'}, {"n", 'N', 'd', '1'}, {"\u0273", 'N', 'r', '1'},
    {"\u0272", 'N', 'p', '1'}, {"\u014B", 'N', 'v', '1'}, {"\u0274", 'N', 'u', '1'},
    {"r", 'R', 'd', '1'}, {"\u027E", 'R', 'd', '1'}, {"\u0279", 'R', 'd', '1'}, {"\u027D", 'R', 'r', '1'},
    {"\u027B", 'R', 'r', '1'}, {"\u0280", 'R', 'u', '1'}, {"\u0299", 'R', 'l', '1'}, {"\u2C71", 'R', 'l', '1'},
    {"l", 'L', 'd', '1'}, {"\u026B", 'L', 'd', '1'}, {"\u027A", 'L', 'd', '1'}, {"\u026C", 'L', 'd', '0'},
    {"\u026E", 'L', 'd', '1'}, {"\u026D", 'L', 'r', '1'}, {"\u028E", 'L', 'p', '1'}, {"\u029F", 'L', 'v', '1'},
    {"w", 'G', 'l', '1'}, {"\u028B", 'G', 'l', '1'}, {"j", 'G', 'p', '1'}, {"\u0265", 'G', 'p', '1'},
    {"\u0270", 'G', 'v', '1'},
    {"\u0298", 'C', 'l', '0'}, {"\u01C0", 'C', 'd', '0'}, {"\u01C3", 'C', 'd', '0'}, {"\u01C1", 'C', 'd', '0'},
    {"\u01C2", 'C', 'p', '0'},
    {"i", 'V', 'f', 'h'}, {"y", 'V', 'f', 'h'}, {"\u026A", 'V', 'f', 'h'}, {"\u028F", 'V', 'f', 'h'},
    {"\u0268", 'V', 'c', 'h'}, {"\u0289", 'V', 'c', 'h'},
    {"\u026F", 'V', 'b', 'h'}, {"u", 'V', 'b', 'h'}, {"\u028A", 'V', 'b', 'h'},
    {"e", 'V', 'f', 'm'}, {"\u00F8", 'V', 'f', 'm'}, {"\u025B", 'V', 'f', 'm'}, {"\u0153", 'V', 'f', 'm'},
    {"\u0258", 'V', 'c', 'm'}, {"\u0275", 'V', 'c', 'm'}, {"\u0259", 'V', 'c', 'm'}, {"\u025C", 'V', 'c', 'm'},
    {"\u025E", 'V', 'c', 'm'}, {"\u025A", 'V', 'c', 'm'}, {"\u025D", 'V', 'c', 'm'},
    {"\u0264", 'V', 'b', 'm'}, {"o", 'V', 'b', 'm'}, {"\u028C", 'V', 'b', 'm'}, {"\u0254", 'V', 'b', 'm'},
    {"\u00E6", 'V', 'f', 'o'}, {"\u0276", 'V', 'f', 'o'}, {"a", 'V', 'c', 'o'}, {"\u0250", 'V', 'c', 'o'},
    {"\u0251", 'V', 'b', 'o'}, {"\u0252", 'V', 'b', 'o'},
};

const ClassEntry* class_entry(std::string_view sound) {
  for (const ClassEntry& e : kClasses)
    if (sound == e.sound) return &e;
  return nullptr;
}

// ASCII characters that stand for a sound, best first (X-SAMPA where it has
// a plain letter).
const char* ascii_for(std::string_view sound) {
  static const std::pair<const char*, const char*> table[] = {
      {"\u0283", "S"}, {"\u0292", "Z"}, {"\u014B", "N"}, {"\u0272", "J"}, {"\u03B8", "T"},
      {"\u00F0", "D"}, {"\u0263", "G"}, {"\u03C7", "H"}, {"\u0294", "?"}, {"\u0259", "@"},
      {"\u025B", "E"}, {"\u0254", "O"}, {"\u026A", "I"}, {"\u028A", "U"}, {"\u00E6", "{"},
      {"\u0251", "A"}, {"\u0268", "1"}, {"\u0289", "}"}, {"\u027E", "4"}, {"\u0281", "R"},
      {"\u026C", "K"}, {"\u028E", "L"}, {"\u0127", "H"}, {"\u0295", "9"}, {"\u00E7", "C"},
      {"\u03B2", "B"}, {"\u0278", "F"}, {"\u0282", "S"}, {"\u0290", "Z"}, {"\u0255", "S"},
      {"\u0291", "Z"}, {"\u0288", "T"}, {"\u0256", "D"}, {"\u0273", "N"}, {"\u0274", "N"},
      {"\u028B", "V"}, {"\u0253", "B"}, {"\u0257", "D"}, {"\u0260", "G"}, {"\u025F", "J"},
      {"\u026F", "M"}, {"\u028C", "V"}, {"\u0252", "Q"}, {"\u00F8", "2"}, {"\u0153", "9"},
      {"\u0275", "8"}, {"\u0250", "6"}, {"\u0264", "7"}, {"\u0279", "r"}, {"\u0280", "R"},
      {"\u026D", "L"}, {"\u0266", "h"}, {"\u029D", "j"}, {"\u0265", "H"}, {"\u0270", "M"},
  };
  for (const auto& [s, a] : table)
    if (sound == s) return a;
  return "";
}

}  // namespace

bool usable_symbol(unsigned char c) {
  if (c <= ' ' || c == 0x7F) return false;
  return std::strchr(",\"*~$/X", c) == nullptr;
}

std::int32_t SoundSet::intern(std::string_view sound) {
  auto it = ids_.find(std::string(sound));
  if (it != ids_.end()) return it->second;
  auto id = static_cast<std::int32_t>(texts_.size());
  texts_.emplace_back(sound);
  ids_.emplace(texts_.back(), id);
  return id;
}

void analyse_segment(std::string_view token, SoundSet& sounds, std::vector<Unit>& out) {
  if (auto slash = token.rfind('/'); slash != std::string_view::npos) token.remove_prefix(slash + 1);
  if (token.empty() || token == "NULL" || token == "\u00D8") return;  // an empty target
  utf8proc_uint8_t* nfd = nullptr;
  auto n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(token.data()),
                        static_cast<utf8proc_ssize_t>(token.size()), &nfd,
                        static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE | UTF8PROC_STABLE));
  if (n < 0) return;  // not UTF-8: no sound (the readers check files beforehand)
  std::vector<std::int32_t> base;
  std::vector<Mark> mark;
  Mark pending = kNoMark;  // a mark before the first base letter goes to it
  auto add_base = [&](std::string_view s) {
    base.push_back(sounds.intern(s));
    mark.push_back(pending);
    pending = kNoMark;
  };
  for (utf8proc_ssize_t i = 0; i < n;) {
    utf8proc_int32_t cp;
    auto len = utf8proc_iterate(nfd + i, n - i, &cp);
    if (len <= 0) break;
    i += len;
    if (Mark m = mark_of(cp); m != kNoMark) {
      if (base.empty()) {
        if (pending == kNoMark) pending = m;
      } else if (mark.back() == kNoMark) {
        mark.back() = m;  // one mark a sound: the first one stays
      }
    } else if (const char* s = substitute(cp)) {
      // Each code point of the substitute is one base letter.
      for (std::string_view rest = s; !rest.empty();) {
        utf8proc_int32_t c2;
        auto l2 = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(rest.data()),
                                   static_cast<utf8proc_ssize_t>(rest.size()), &c2);
        add_base(rest.substr(0, static_cast<std::size_t>(l2)));
        rest.remove_prefix(static_cast<std::size_t>(l2));
      }
    } else if (is_base_letter(cp)) {
      add_base(utf8(cp));
    }
  }
  std::free(nfd);
  for (std::size_t at = 0; at < base.size(); at += 3) {
    Unit u;
    for (std::size_t k = at; k < base.size() && k < at + 3; ++k) {
      u.sound[u.count] = base[k];
      u.mark[u.count] = mark[k];
      ++u.count;
    }
    out.push_back(u);
  }
}

SoundClass sound_class(std::string_view sound) {
  const ClassEntry* e = class_entry(sound);
  if (e == nullptr) {
    // An unlisted letter: the class of its small letter, if that is listed.
    utf8proc_int32_t cp;
    auto len = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(sound.data()),
                                static_cast<utf8proc_ssize_t>(sound.size()), &cp);
    if (len > 0) {
      utf8proc_int32_t lower = utf8proc_tolower(cp);
      if (lower != cp) e = class_entry(utf8(lower));
    }
  }
  if (e == nullptr) return {{"?", "?", "?"}};
  std::string m(1, e->manner);
  return {{m + e->place + e->voice, m + e->place, m}};
}

std::vector<std::int32_t> fold_sounds(const SoundSet& sounds, const std::vector<long>& count,
                                      int capacity) {
  std::int32_t n = sounds.size();
  std::vector<std::int32_t> rep(static_cast<std::size_t>(n));
  std::iota(rep.begin(), rep.end(), 0);
  std::vector<long> weight(count.begin(), count.end());
  weight.resize(static_cast<std::size_t>(n), 0);
  // Sounds that occur nowhere need no symbol; they fold into nothing.
  std::vector<std::int32_t> kept;
  for (std::int32_t id = 0; id < n; ++id)
    if (weight[static_cast<std::size_t>(id)] > 0) kept.push_back(id);
  std::vector<SoundClass> cls(static_cast<std::size_t>(n));
  for (std::int32_t id : kept) cls[static_cast<std::size_t>(id)] = sound_class(sounds.text(id));
  // More frequent first; equal counts in the order of the sounds' texts.
  auto before = [&](std::int32_t a, std::int32_t b) {
    long wa = weight[static_cast<std::size_t>(a)], wb = weight[static_cast<std::size_t>(b)];
    return wa != wb ? wa > wb : sounds.text(a) < sounds.text(b);
  };
  while (static_cast<int>(kept.size()) > capacity) {
    std::sort(kept.begin(), kept.end(), before);
    std::int32_t victim = kept.back();
    kept.pop_back();
    std::int32_t into = kept.front();  // failing any shared class: the most frequent sound
    for (int level = 0; level < 3; ++level) {
      const std::string& key = cls[static_cast<std::size_t>(victim)].key[level];
      auto it = std::find_if(kept.begin(), kept.end(), [&](std::int32_t k) {
        return cls[static_cast<std::size_t>(k)].key[level] == key;
      });
      if (it != kept.end()) {
        into = *it;
        break;
      }
    }
    weight[static_cast<std::size_t>(into)] += weight[static_cast<std::size_t>(victim)];
    for (auto& r : rep)
      if (r == victim) r = into;
  }
  return rep;
}

std::vector<unsigned char> choose_symbols(const SoundSet& sounds, const std::vector<std::int32_t>& representative,
                                          const std::vector<long>& count) {
  std::int32_t n = sounds.size();
  std::vector<unsigned char> symbol(static_cast<std::size_t>(n), 0);
  std::vector<long> weight(static_cast<std::size_t>(n), 0);
  for (std::int32_t id = 0; id < n && static_cast<std::size_t>(id) < count.size(); ++id)
    weight[static_cast<std::size_t>(representative[static_cast<std::size_t>(id)])] += count[static_cast<std::size_t>(id)];
  std::vector<std::int32_t> order;
  for (std::int32_t id = 0; id < n; ++id)
    if (representative[static_cast<std::size_t>(id)] == id && weight[static_cast<std::size_t>(id)] > 0)
      order.push_back(id);
  std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
    long wa = weight[static_cast<std::size_t>(a)], wb = weight[static_cast<std::size_t>(b)];
    return wa != wb ? wa > wb : sounds.text(a) < sounds.text(b);
  });
  bool taken[256] = {};
  auto take = [&](std::int32_t id, unsigned char c) {
    if (!usable_symbol(c) || taken[c]) return false;
    taken[c] = true;
    symbol[static_cast<std::size_t>(id)] = c;
    return true;
  };
  // First every sound that is an ASCII character of its own, then the others
  // by frequency: an ASCII stand-in, the small or capital letter of an
  // ASCII letter, then the first free character of the pool.
  for (std::int32_t id : order) {
    const std::string& t = sounds.text(id);
    if (t.size() == 1) take(id, static_cast<unsigned char>(t[0]));
  }
  static const std::string pool = [] {
    std::string p = "ABCDEFGHIJKLMNOPQRSTUVWYZabcdefghijklmnopqrstuvwxyz0123456789!#%&'()+-.:;<=>?@[\\]^_`{|}";
    for (int c = 0xC0; c <= 0xFF; ++c) p += static_cast<char>(c);
    for (int c = 0xA1; c <= 0xBF; ++c) p += static_cast<char>(c);
    return p;
  }();
  for (std::int32_t id : order) {
    if (symbol[static_cast<std::size_t>(id)] != 0) continue;
    const std::string& t = sounds.text(id);
    bool done = false;
    for (const char* a = ascii_for(t); *a != 0 && !done; ++a) done = take(id, static_cast<unsigned char>(*a));
    if (!done && t.size() == 1) {
      char c = t[0];
      if (c >= 'a' && c <= 'z') done = take(id, static_cast<unsigned char>(c - 'a' + 'A'));
      else if (c >= 'A' && c <= 'Z') done = take(id, static_cast<unsigned char>(c - 'A' + 'a'));
    }
    for (std::size_t k = 0; !done && k < pool.size(); ++k) done = take(id, static_cast<unsigned char>(pool[k]));
  }
  return symbol;
}

}  // namespace plix::cldf
