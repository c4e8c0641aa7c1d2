#include "cldf/importer.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "cldf/csv.h"
#include "cldf/error.h"
#include "cldf/glottolog.h"
#include "cldf/metadata.h"
#include "cldf/sounds.h"
#include "database/store.h"

namespace plix::cldf {

namespace {

namespace fs = std::filesystem;

// The capacities of the run that the stream must respect.
constexpr int kMaxSymbols = 100;
constexpr int kMaxCombinations = 2000;  // entries of the pair and of the triple table
constexpr int kRecord = 400;            // columns of a database record
constexpr int kCodeLimit = MAX_CODES;
constexpr int kSynonymLimit = SYNONYM2_OFFSET;

struct Language {
  std::string id, name, glottocode, iso, family, subgroup, classification, figure;
  long line = 0;
  std::vector<std::string> path;
  bool classified = false;
  long forms = 0;  // mapped, usable forms
};

struct Form {
  std::int32_t language;
  std::uint8_t meaning;
  std::uint32_t begin;  // token ids in Dataset::form_tokens
  std::uint32_t count;
};

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using StringIndex = std::unordered_map<std::string, std::int32_t, StringHash, std::equal_to<>>;

struct Tally {
  long unmapped = 0, loans = 0, no_segments = 0, duplicates = 0, beyond_synonyms = 0,
       unselected = 0, language_left_out = 0;
  std::map<std::string, long> unmapped_parameters;
};

struct Dataset {
  std::string name;  // rdf:ID, else the folder or file name
  std::string title, license;
  std::string forms_file, languages_file;
  bool has_language_table = false;
  bool has_family = false, has_subgroup = false;
  std::vector<Language> languages;
  StringIndex language_index;
  std::vector<Form> forms;
  std::vector<std::int32_t> form_tokens;
  // Every distinct token of the Segments cells: its units.
  StringIndex token_index;
  std::vector<std::uint32_t> token_begin, token_count;
  std::vector<Unit> token_units;
  SoundSet sounds;
  bool segments_from_form = false;
  long form_rows = 0;
  Tally tally;
};

// --- small text helpers ----------------------------------------------------

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// The longest prefix of at most `bytes` bytes that ends on a character boundary.
std::string_view utf8_prefix(std::string_view s, std::size_t bytes) {
  if (s.size() <= bytes) return s;
  std::size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

// Control characters (line breaks and TABs included) as blanks.
std::string printable(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

// A classification component: no blank, ',', '|', '@', '{' or '}' (each
// becomes '_'), no control character.
std::string component(std::string_view s) {
  std::string out(trim(s));
  for (char& c : out)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == ',' || c == '|' || c == '@' || c == '{' ||
        c == '}')
      c = '_';
  return out;
}

bool truthy(std::string_view v) {
  v = trim(v);
  return v == "true" || v == "True" || v == "TRUE" || v == "1" || v == "yes" || v == "Yes";
}

// --- locating and reading the tables ---------------------------------------

struct Located {
  std::string metadata;  // empty: metadata-free
  std::string forms;     // the forms.csv of a metadata-free dataset
};

std::string find_metadata_in(const fs::path& dir) {
  for (const char* name : {"cldf-metadata.json", "Wordlist-metadata.json"})
    if (fs::is_regular_file(dir / name)) return (dir / name).string();
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    std::string f = e.path().filename().string();
    if (e.is_regular_file() && f.size() > 13 && f.ends_with("metadata.json")) found.push_back(e.path().string());
  }
  std::sort(found.begin(), found.end());
  return found.empty() ? std::string() : found.front();
}

Located locate(const std::string& dataset) {
  fs::path p(dataset);
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    for (const fs::path& dir : {p, p / "cldf"}) {
      if (!fs::is_directory(dir, ec)) continue;
      if (std::string m = find_metadata_in(dir); !m.empty()) return {m, {}};
    }
    for (const fs::path& dir : {p, p / "cldf"})
      if (fs::is_regular_file(dir / "forms.csv", ec)) return {{}, (dir / "forms.csv").string()};
    throw InputError(dataset, 0, "no CLDF metadata file and no forms.csv in this folder or its cldf/ folder");
  }
  if (!fs::exists(p, ec)) throw InputError(dataset, 0, "no such file or folder");
  if (p.extension() == ".json") return {dataset, {}};
  return {{}, dataset};
}

// Column positions of a CSV header.
struct Header {
  std::vector<std::string> names;
  // The position of the metadata column with that term or name, else of a
  // header cell with the name (exact, then ignoring case); -1 when none.
  int find(const Table* table, std::string_view property, std::string_view name) const {
    std::string wanted(name);
    if (table != nullptr)
      if (const Column* c = table->find(property, name)) wanted = c->name;
    for (std::size_t k = 0; k < names.size(); ++k)
      if (names[k] == wanted) return static_cast<int>(k);
    auto lower = [](std::string s) {
      for (char& c : s) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
      return s;
    };
    for (std::size_t k = 0; k < names.size(); ++k)
      if (lower(names[k]) == lower(wanted)) return static_cast<int>(k);
    return -1;
  }
};

const std::string& field(const std::vector<std::string>& f, int k) {
  static const std::string empty;
  return k >= 0 && static_cast<std::size_t>(k) < f.size() ? f[static_cast<std::size_t>(k)] : empty;
}

std::string table_path(const std::string& metadata, const Table& t) {
  return (fs::path(metadata).parent_path() / t.url).string();
}

std::string read_table(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec) && fs::exists(path + ".zip", ec))
    throw InputError(path, 0, "missing; the dataset ships it as " + fs::path(path).filename().string() +
                                  ".zip, unpack that first");
  return read_file(path);
}

void read_languages(Dataset& d, const Options& o, const std::string& file, const Table* table) {
  Header h;
  int id = -1, name = -1, glotto = -1, iso = -1, family = -1, subgroup = -1, cls = -1, fig = -1;
  parse_csv(read_table(file), file, table ? table->delimiter : ',', [&](std::vector<std::string>& f, long line) {
    if (h.names.empty()) {
      h.names = f;
      id = h.find(table, "id", "ID");
      name = h.find(table, "name", "Name");
      glotto = h.find(table, "glottocode", "Glottocode");
      iso = h.find(table, "iso639P3code", "ISO639P3code");
      family = h.find(table, "", "Family");
      subgroup = h.find(table, "", "SubGroup");
      d.has_family = family >= 0;
      d.has_subgroup = subgroup >= 0;
      if (id < 0) throw InputError(file, line, "the LanguageTable has no ID column");
      if (!o.classification.empty() && (cls = h.find(nullptr, "", o.classification)) < 0)
        throw InputError(file, line, "the LanguageTable has no column '" + o.classification + "' (--classification)");
      if (!o.figure.empty() && (fig = h.find(nullptr, "", o.figure)) < 0)
        throw InputError(file, line, "the LanguageTable has no column '" + o.figure + "' (--figure)");
      return;
    }
    Language l;
    l.id = std::string(trim(field(f, id)));
    if (l.id.empty()) throw InputError(file, line, "a language without ID");
    l.name = field(f, name);
    l.glottocode = std::string(trim(field(f, glotto)));
    l.iso = std::string(trim(field(f, iso)));
    l.family = field(f, family);
    l.subgroup = field(f, subgroup);
    l.classification = field(f, cls);
    l.figure = std::string(trim(field(f, fig)));
    l.line = line;
    auto [it, fresh] = d.language_index.emplace(l.id, static_cast<std::int32_t>(d.languages.size()));
    if (!fresh)
      throw InputError(file, line, "language ID '" + l.id + "' listed twice (first on line " +
                                       std::to_string(d.languages[static_cast<std::size_t>(it->second)].line) + ")");
    d.languages.push_back(std::move(l));
  });
  if (h.names.empty()) throw InputError(file, 0, "empty table: no header");
}

// Parameter ID -> meaning number (0: unmapped).
void read_parameters(const std::string& file, const Table* table, const ConceptTable& concepts, bool own,
                     std::unordered_map<std::string, int>& meaning_of) {
  Header h;
  int id = -1, cid = -1;
  std::unordered_map<std::string, long> first_line;
  parse_csv(read_table(file), file, table ? table->delimiter : ',', [&](std::vector<std::string>& f, long line) {
    if (h.names.empty()) {
      h.names = f;
      id = h.find(table, "id", "ID");
      cid = h.find(table, "concepticonReference", "Concepticon_ID");
      if (id < 0) throw InputError(file, line, "the ParameterTable has no ID column");
      return;
    }
    std::string pid(trim(field(f, id)));
    if (auto [it, fresh] = first_line.emplace(pid, line); !fresh)
      throw InputError(file, line, "parameter ID '" + pid + "' listed twice (first on line " +
                                       std::to_string(it->second) + ")");
    int n = concepts.number(std::string(trim(field(f, cid))));
    if (n == 0 && own) n = concepts.number(pid);
    meaning_of[pid] = n;
  });
}

// Tokens of a Form cell, for datasets without segments: one per letter with
// the diacritics and modifier letters after it, a tie bar joining the next.
void segment_form(std::string_view form, std::vector<std::string>& tokens) {
  tokens.clear();
  bool tie = false;
  for (std::size_t i = 0; i < form.size();) {
    utf8proc_int32_t cp;
    auto len = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(form.data() + i),
                                static_cast<utf8proc_ssize_t>(form.size() - i), &cp);
    if (len <= 0) break;
    std::string_view ch = form.substr(i, static_cast<std::size_t>(len));
    i += static_cast<std::size_t>(len);
    auto cat = utf8proc_category(cp);
    bool letter = cat == UTF8PROC_CATEGORY_LU || cat == UTF8PROC_CATEGORY_LL || cat == UTF8PROC_CATEGORY_LT ||
                  cat == UTF8PROC_CATEGORY_LO;
    bool attached = cat == UTF8PROC_CATEGORY_MN || cat == UTF8PROC_CATEGORY_MC || cat == UTF8PROC_CATEGORY_ME ||
                    cat == UTF8PROC_CATEGORY_LM || cat == UTF8PROC_CATEGORY_SK;
    if (cp == 0x0361 || cp == 0x035C) {
      tie = true;
      continue;
    }
    if (letter && (tokens.empty() || !tie)) tokens.emplace_back();
    if (letter || (attached && !tokens.empty())) tokens.back() += ch;
    if (!letter && !attached) tokens.emplace_back();  // a blank or punctuation separates
    if (letter) tie = false;
  }
  std::erase_if(tokens, [](const std::string& t) { return t.empty(); });
}

void read_forms(Dataset& d, const Options& o, const std::string& file, const Table* table,
                const ConceptTable& concepts, const std::unordered_map<std::string, int>& meaning_of) {
  Header h;
  int lang = -1, param = -1, form = -1, segments = -1, loan = -1;
  std::string separator = " ";
  std::vector<std::string> tokens;
  std::vector<Unit> units;
  parse_csv(read_table(file), file, table ? table->delimiter : ',', [&](std::vector<std::string>& f, long line) {
    if (h.names.empty()) {
      h.names = f;
      lang = h.find(table, "languageReference", "Language_ID");
      param = h.find(table, "parameterReference", "Parameter_ID");
      form = h.find(table, "form", "Form");
      segments = h.find(table, "segments", "Segments");
      loan = h.find(table, "", "Loan");
      if (lang < 0) throw InputError(file, line, "the FormTable has no Language_ID column");
      if (param < 0) throw InputError(file, line, "the FormTable has no Parameter_ID column");
      if (segments < 0 && form < 0) throw InputError(file, line, "the FormTable has neither Segments nor Form");
      if (table != nullptr)
        if (const Column* c = table->find("segments", "Segments"); c != nullptr && !c->separator.empty())
          separator = c->separator;
      d.segments_from_form = segments < 0;
      return;
    }
    ++d.form_rows;
    std::string lid(trim(field(f, lang)));
    std::int32_t li;
    if (auto it = d.language_index.find(lid); it != d.language_index.end()) {
      li = it->second;
    } else if (!d.has_language_table && !lid.empty()) {
      li = static_cast<std::int32_t>(d.languages.size());
      Language l;
      l.id = lid;
      l.name = lid;
      l.line = line;
      d.language_index.emplace(lid, li);
      d.languages.push_back(std::move(l));
    } else if (lid.empty()) {
      throw InputError(file, line, "a form without Language_ID");
    } else {
      throw InputError(file, line, "language '" + lid + "' is not in the LanguageTable (" + d.languages_file + ")");
    }
    std::string pid(trim(field(f, param)));
    int meaning = 0;
    if (auto it = meaning_of.find(pid); it != meaning_of.end()) meaning = it->second;
    else if (o.own_concepts) meaning = concepts.number(pid);
    if (meaning == 0) {
      ++d.tally.unmapped;
      ++d.tally.unmapped_parameters[pid];
      return;
    }
    if (!o.keep_loans && loan >= 0 && truthy(field(f, loan))) {
      ++d.tally.loans;
      return;
    }
    // The tokens of the cell, each looked up once for the whole dataset.
    tokens.clear();
    if (segments >= 0) {
      std::string_view cell = field(f, segments);
      while (!cell.empty()) {
        std::size_t cut = separator == " " ? cell.find_first_of(" \t\r\n") : cell.find(separator);
        std::string_view tok = trim(cell.substr(0, cut));
        if (!tok.empty()) tokens.emplace_back(tok);
        if (cut == std::string_view::npos) break;
        cell.remove_prefix(cut + (separator == " " ? 1 : separator.size()));
      }
    } else {
      segment_form(field(f, form), tokens);
    }
    auto begin = static_cast<std::uint32_t>(d.form_tokens.size());
    std::uint32_t sounding = 0;
    for (const std::string& tok : tokens) {
      auto it = d.token_index.find(tok);
      std::int32_t t;
      if (it == d.token_index.end()) {
        units.clear();
        analyse_segment(tok, d.sounds, units);
        t = static_cast<std::int32_t>(d.token_begin.size());
        d.token_begin.push_back(static_cast<std::uint32_t>(d.token_units.size()));
        d.token_count.push_back(static_cast<std::uint32_t>(units.size()));
        d.token_units.insert(d.token_units.end(), units.begin(), units.end());
        d.token_index.emplace(tok, t);
      } else {
        t = it->second;
      }
      if (d.token_count[static_cast<std::size_t>(t)] == 0) continue;  // a boundary or no sound
      d.form_tokens.push_back(t);
      ++sounding;
    }
    if (sounding == 0) {
      ++d.tally.no_segments;
      return;
    }
    d.forms.push_back({li, static_cast<std::uint8_t>(meaning), begin, sounding});
    ++d.languages[static_cast<std::size_t>(li)].forms;
  });
  if (h.names.empty()) throw InputError(file, 0, "empty table: no header");
}

Dataset load(const Options& o, const ConceptTable& concepts) {
  Dataset d;
  Located where = locate(o.dataset);
  std::unordered_map<std::string, int> meaning_of;
  const Table* forms_table = nullptr;
  Metadata meta;
  if (!where.metadata.empty()) {
    meta = parse_metadata(read_file(where.metadata), where.metadata);
    forms_table = meta.table("FormTable");
    if (forms_table == nullptr) throw InputError(where.metadata, 0, "the metadata lists no FormTable");
    d.forms_file = table_path(where.metadata, *forms_table);
    d.title = meta.title;
    d.license = meta.license;
    d.name = meta.id;
    if (d.name.empty()) {
      fs::path dir = fs::path(where.metadata).parent_path();
      if (dir.filename() == "cldf" && dir.has_parent_path()) dir = dir.parent_path();
      d.name = fs::absolute(dir).lexically_normal().filename().string();
    }
    if (const Table* t = meta.table("LanguageTable")) {
      d.languages_file = table_path(where.metadata, *t);
      d.has_language_table = true;
      read_languages(d, o, d.languages_file, t);
    }
    if (const Table* t = meta.table("ParameterTable")) {
      read_parameters(table_path(where.metadata, *t), t, concepts, o.own_concepts, meaning_of);
    }
  } else {
    d.forms_file = where.forms;
    fs::path dir = fs::absolute(fs::path(where.forms)).lexically_normal().parent_path();
    if (dir.filename() == "cldf" && dir.has_parent_path()) dir = dir.parent_path();
    d.name = dir.filename().string();
    if (!o.classification.empty() || !o.figure.empty())
      throw InputError(where.forms, 0, "a dataset without metadata has no LanguageTable for --classification or --figure");
  }
  if (d.name.empty()) d.name = "dataset";
  read_forms(d, o, d.forms_file, forms_table, concepts, meaning_of);
  return d;
}

// --- classification --------------------------------------------------------

std::vector<std::string> split_path(std::string_view text, std::string_view sep) {
  std::vector<std::string> out;
  if (sep.empty()) sep = ",";
  while (true) {
    std::size_t cut = text.find(sep);
    out.emplace_back(text.substr(0, cut));
    if (cut == std::string_view::npos) break;
    text.remove_prefix(cut + sep.size());
  }
  return out;
}

// Components cleaned, empty ones and repeats of the one before dropped.
std::vector<std::string> clean_path(const std::vector<std::string>& raw) {
  std::vector<std::string> out;
  for (const std::string& r : raw) {
    std::string c = component(r);
    if (c.empty() || (!out.empty() && out.back() == c)) continue;
    out.push_back(std::move(c));
  }
  return out;
}

void classify(Dataset& d, const Options& o, const Glottolog* glottolog) {
  bool any_source = glottolog != nullptr || !o.classification.empty() || d.has_family;
  for (Language& l : d.languages) {
    std::vector<std::string> path;
    if (glottolog != nullptr && !l.glottocode.empty()) path = clean_path(glottolog->path(l.glottocode));
    if (path.empty() && !o.classification.empty())
      path = clean_path(split_path(l.classification, o.classification_separator));
    if (path.empty() && (d.has_family || d.has_subgroup)) path = clean_path({l.family, l.subgroup});
    if (path.empty() && !any_source) path = clean_path({d.name});
    l.classified = !path.empty();
    if (path.empty()) path = {"Unclassified"};
    l.path = std::move(path);
  }
}

// --- the stream -------------------------------------------------------------

std::string right(long v, int width) {
  std::string s = std::to_string(v);
  return std::string(s.size() < static_cast<std::size_t>(width) ? static_cast<std::size_t>(width) - s.size() : 0, ' ') + s;
}

// The figure cell as the text of an F12.0 field: a decimal number.
std::string figure_text(const Language& l, const std::string& file, const Options& o) {
  if (l.figure.empty()) return "0";
  std::string_view v = l.figure;
  std::string_view digits = v;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  bool ok = !digits.empty() && v.size() <= 12;
  int dots = 0, ds = 0;
  for (char c : digits) {
    if (c == '.') ++dots;
    else if (c >= '0' && c <= '9') ++ds;
    else ok = false;
  }
  if (!ok || dots > 1 || ds == 0)
    throw InputError(file, l.line, "figure '" + l.figure + "' (column " + o.figure +
                                       ") is not a decimal number of at most 12 characters");
  return l.figure;
}

std::string language_code(const Language& l) {
  auto letters = [](const std::string& s) {
    return s.size() == 3 && std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  };
  std::string code = letters(l.iso) ? l.iso : l.id.substr(0, std::min<std::size_t>(3, l.id.size()));
  for (char& c : code)
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F || c == ',') c = '_';
  code.resize(3, '_');
  return code;
}

// "Name{ID|path@}", within 400 columns; the path within 395 so that its key
// (path, ',', code, ',') fits too. Deep paths lose their lowest components.
std::string header_record(const Language& l) {
  std::vector<std::string> path = l.path;
  auto joined = [&]() {
    std::string s;
    for (std::size_t k = 0; k < path.size(); ++k) s += (k ? "," : "") + path[k];
    return s;
  };
  std::string p = joined();
  while (p.size() > kRecord - 5 && path.size() > 1) {
    path.pop_back();
    p = joined();
  }
  if (p.size() > kRecord - 5) p = std::string(utf8_prefix(p, kRecord - 5));
  auto clean = [](std::string_view s) {
    std::string out = printable(trim(s));
    for (char& c : out)
      if (c == '|' || c == '@' || c == '{' || c == '}') c = '_';
    return out;
  };
  std::string name = clean(l.name.empty() ? l.id : l.name);
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name = "_" + name;  // not a word record
  std::string text = std::string(utf8_prefix(name, 100)) + "{" + std::string(utf8_prefix(clean(l.id), 50));
  std::size_t room = kRecord - 3 - p.size();  // '|', '@' and '}'
  return std::string(utf8_prefix(text, room)) + "|" + p + "@}";
}

struct Counts {
  long cut_codes = 0, cut_columns = 0, cut_table = 0;
};

}  // namespace

Result import_dataset(const Options& o, const ConceptTable& concepts) {
  Dataset d = load(o, concepts);
  std::unique_ptr<Glottolog> glottolog;
  if (!o.glottolog.empty()) glottolog = std::make_unique<Glottolog>(load_glottolog(o.glottolog));
  classify(d, o, glottolog.get());

  const std::size_t nl = d.languages.size();
  // Languages that take part: usable forms, and a classification unless those
  // without one are dropped.
  std::vector<char> candidate(nl, 0);
  long no_forms = 0, unclassified = 0, unclassified_dropped = 0;
  for (std::size_t i = 0; i < nl; ++i) {
    const Language& l = d.languages[i];
    if (l.forms == 0) {
      ++no_forms;
      continue;
    }
    if (!l.classified) {
      ++unclassified;
      if (o.drop_unclassified) {
        ++unclassified_dropped;
        continue;
      }
    }
    candidate[i] = 1;
  }

  // Forms grouped by language and meaning, in file order within each group.
  std::vector<std::uint32_t> order(d.forms.size());
  for (std::uint32_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const Form& x = d.forms[a];
    const Form& y = d.forms[b];
    return x.language != y.language ? x.language < y.language : x.meaning < y.meaning;
  });
  // Attestation: languages with a form of each meaning.
  std::array<long, 101> attested{};
  std::vector<std::array<bool, 101>> has(nl);
  for (const Form& f : d.forms)
    if (candidate[static_cast<std::size_t>(f.language)]) has[static_cast<std::size_t>(f.language)][f.meaning] = true;
  for (std::size_t i = 0; i < nl; ++i)
    for (int m = 1; m <= 100; ++m) attested[static_cast<std::size_t>(m)] += has[i][static_cast<std::size_t>(m)];

  std::vector<int> selected = o.meanings;
  if (selected.empty()) {
    std::vector<int> byrank;
    for (int m = 1; m <= 100; ++m)
      if (attested[static_cast<std::size_t>(m)] > 0) byrank.push_back(m);
    std::stable_sort(byrank.begin(), byrank.end(), [&](int a, int b) {
      return attested[static_cast<std::size_t>(a)] > attested[static_cast<std::size_t>(b)];
    });
    if (byrank.size() > static_cast<std::size_t>(o.meaning_count)) byrank.resize(static_cast<std::size_t>(o.meaning_count));
    std::sort(byrank.begin(), byrank.end());
    selected = byrank;
  }
  if (selected.empty())
    throw InputError(d.forms_file, 0, "no form maps to a meaning of the meaning table (" +
                                          std::to_string(d.tally.unmapped) + " forms of unmapped concepts)");
  std::array<bool, 101> is_selected{};
  for (int m : selected) is_selected[static_cast<std::size_t>(m)] = true;
  const int nmean = static_cast<int>(selected.size());
  const int words = o.words >= 0 ? o.words : (7 * nmean + 9) / 10;

  // Languages written: at least WORDS selected meanings, and at least one.
  std::vector<char> written(nl, 0);
  long too_few = 0, nwritten = 0;
  for (std::size_t i = 0; i < nl; ++i) {
    if (!candidate[i]) continue;
    int n = 0;
    for (int m : selected) n += has[i][static_cast<std::size_t>(m)];
    if (n < std::max(words, 1)) {
      ++too_few;
      continue;
    }
    written[i] = 1;
    ++nwritten;
  }
  if (nwritten == 0)
    throw InputError(d.forms_file, 0, "no language has forms of " + std::to_string(std::max(words, 1)) +
                                          " of the " + std::to_string(nmean) + " selected meanings");
  if (nwritten > MAX_LANGUAGES)
    throw InputError(d.forms_file, 0, std::to_string(nwritten) + " languages to write; plix62c holds at most " +
                                          std::to_string(MAX_LANGUAGES) + " (leave some out, e.g. with --meanings or --words)");

  // The synonyms written per language and meaning: distinct unit sequences,
  // the first --synonyms of them.
  auto units_of = [&](const Form& f, std::vector<Unit>& out) {
    out.clear();
    for (std::uint32_t k = 0; k < f.count; ++k) {
      auto t = static_cast<std::size_t>(d.form_tokens[f.begin + k]);
      out.insert(out.end(), d.token_units.begin() + d.token_begin[t],
                 d.token_units.begin() + d.token_begin[t] + d.token_count[t]);
    }
  };
  std::vector<std::vector<std::uint32_t>> kept(nl * 101);  // forms by language and meaning
  std::vector<long> sound_count(static_cast<std::size_t>(d.sounds.size()), 0);
  {
    std::vector<Unit> a, b;
    for (std::size_t at = 0; at < order.size();) {
      const Form& first = d.forms[order[at]];
      std::size_t end = at;
      while (end < order.size() && d.forms[order[end]].language == first.language &&
             d.forms[order[end]].meaning == first.meaning)
        ++end;
      auto li = static_cast<std::size_t>(first.language);
      if (!written[li]) {
        d.tally.language_left_out += static_cast<long>(end - at);
      } else if (!is_selected[first.meaning]) {
        d.tally.unselected += static_cast<long>(end - at);
      } else {
        auto& slot = kept[li * 101 + first.meaning];
        for (std::size_t k = at; k < end; ++k) {
          units_of(d.forms[order[k]], a);
          bool dup = false;
          for (std::uint32_t prev : slot) {
            units_of(d.forms[prev], b);
            if (a == b) dup = true;
          }
          if (dup) ++d.tally.duplicates;
          else if (slot.size() >= static_cast<std::size_t>(o.synonyms)) ++d.tally.beyond_synonyms;
          else {
            slot.push_back(order[k]);
            for (const Unit& u : a)
              for (int j = 0; j < u.count; ++j) ++sound_count[static_cast<std::size_t>(u.sound[j])];
          }
        }
      }
      at = end;
    }
  }

  // The inventory.
  std::vector<std::int32_t> rep = fold_sounds(d.sounds, sound_count, kMaxSymbols);
  std::vector<unsigned char> symbol = choose_symbols(d.sounds, rep, sound_count);
  std::vector<std::int32_t> inventory;  // sound ids of the symbols, most frequent first
  std::vector<long> rep_count(static_cast<std::size_t>(d.sounds.size()), 0);
  for (std::int32_t id = 0; id < d.sounds.size(); ++id)
    rep_count[static_cast<std::size_t>(rep[static_cast<std::size_t>(id)])] += sound_count[static_cast<std::size_t>(id)];
  for (std::int32_t id = 0; id < d.sounds.size(); ++id)
    if (rep[static_cast<std::size_t>(id)] == id && rep_count[static_cast<std::size_t>(id)] > 0) inventory.push_back(id);
  std::sort(inventory.begin(), inventory.end(), [&](std::int32_t a, std::int32_t b) {
    long wa = rep_count[static_cast<std::size_t>(a)], wb = rep_count[static_cast<std::size_t>(b)];
    return wa != wb ? wa > wb : d.sounds.text(a) < d.sounds.text(b);
  });
  const char kMarkChar[3] = {0, '"', '*'};

  Result result;
  std::string& s = result.stream;
  auto line = [&](std::string_view text) {
    s += text;
    s += '\n';
  };
  // Run parameters, meaning selection.
  line(right(o.synonyms, 6) + right(words, 6) + right(o.date, 6) + right(o.level, 6) + right(o.s0, 6) +
       right(o.r, 6) + "   SYNONYMS WORDS DATE LEVEL S0 R");
  line("(I3)");
  for (int m : selected)
    line(utf8_prefix(right(m, 3) + "  " + printable(concepts.gloss[static_cast<std::size_t>(m)]), kRecord));
  line("  0");
  // Sound inventory: the symbol, then (not read) the sounds it stands for.
  for (std::int32_t id : inventory) {
    std::string rec(1, static_cast<char>(symbol[static_cast<std::size_t>(id)]));
    rec += "    ";
    rec += d.sounds.text(id);
    for (std::int32_t other = 0; other < d.sounds.size(); ++other)
      if (other != id && rep[static_cast<std::size_t>(other)] == id && sound_count[static_cast<std::size_t>(other)] > 0)
        rec += " " + d.sounds.text(other);
    line(utf8_prefix(rec, kRecord));
  }
  if (inventory.size() < kMaxSymbols) line("");
  // The passed-over record.
  {
    std::string about = d.title.empty() ? d.name : d.title;
    if (!d.license.empty()) about += " (licence: " + d.license + ")";
    line(utf8_prefix(printable(about), kRecord));
  }

  // The database.
  Counts cuts;
  std::unordered_set<std::uint32_t> pairs, triples;
  auto base_key = [&](const Unit& u, int j) {
    return static_cast<std::uint32_t>(symbol[static_cast<std::size_t>(rep[static_cast<std::size_t>(u.sound[j])])]) << 2 |
           u.mark[j];
  };
  std::vector<Unit> units;
  std::string synonym_text;
  for (std::size_t i = 0; i < nl; ++i) {
    if (!written[i]) continue;
    const Language& l = d.languages[i];
    line(header_record(l));
    // The figure in columns 19-30, the code in 40-42.
    std::string fig = figure_text(l, d.languages_file, o);
    line(std::string(18 + 12 - fig.size(), ' ') + fig + std::string(9, ' ') + language_code(l));
    for (int m : selected) {
      const auto& slot = kept[i * 101 + static_cast<std::size_t>(m)];
      if (slot.empty()) continue;
      std::string rec = std::to_string(m) + "\t";
      std::size_t header_len = rec.size();
      bool wrote = false;
      for (std::size_t k = 0; k < slot.size(); ++k) {
        units_of(d.forms[slot[k]], units);
        // A first synonym that another follows keeps 50 codes; the last one
        // must fit the 100 positions (50 for a second synonym) with all the
        // raw codes of its final combined sound.
        bool followed = k + 1 < slot.size();
        int offset = k == 0 ? 0 : kSynonymLimit;
        synonym_text.clear();
        int count = 0;
        long* why = nullptr;
        for (const Unit& u : units) {
          bool fits = followed ? count + 1 <= kSynonymLimit : count + u.count <= kCodeLimit - offset;
          if (!fits) {
            why = &cuts.cut_codes;
            break;
          }
          std::string piece;
          for (int j = 0; j < u.count; ++j) {
            piece += static_cast<char>(symbol[static_cast<std::size_t>(rep[static_cast<std::size_t>(u.sound[j])])]);
            if (u.mark[j] != kNoMark) piece += kMarkChar[u.mark[j]];
          }
          if (u.count > 1) piece += u.count == 2 ? '~' : '$';
          std::size_t sep = wrote ? 2 : 0;
          if (rec.size() + sep + synonym_text.size() + piece.size() > kRecord) {
            why = &cuts.cut_columns;
            break;
          }
          if (u.count > 1) {
            std::uint32_t key = base_key(u, 0) << 10 | base_key(u, 1);
            if (u.count == 3) key = key << 10 | base_key(u, 2);
            auto& table = u.count == 2 ? pairs : triples;
            if (!table.count(key)) {
              if (table.size() >= kMaxCombinations) {
                why = &cuts.cut_table;
                break;
              }
              table.insert(key);
            }
          }
          synonym_text += piece;
          ++count;
        }
        if (why != nullptr) ++*why;
        if (count == 0) continue;
        if (wrote) rec += ", ";
        rec += synonym_text;
        wrote = true;
      }
      if (rec.size() > header_len) line(rec);
    }
  }
  line("");  // end of the data

  // The symbol table.
  result.symbols = "symbol\tsounds\tcount\n";
  for (std::int32_t id : inventory) {
    unsigned char c = symbol[static_cast<std::size_t>(id)];
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", c);
    result.symbols += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string(hex);
    result.symbols += "\t" + d.sounds.text(id);
    for (std::int32_t other = 0; other < d.sounds.size(); ++other)
      if (other != id && rep[static_cast<std::size_t>(other)] == id && sound_count[static_cast<std::size_t>(other)] > 0)
        result.symbols += " " + d.sounds.text(other);
    result.symbols += "\t" + std::to_string(rep_count[static_cast<std::size_t>(id)]) + "\n";
  }

  // The summary.
  std::string& r = result.summary;
  auto say = [&](const std::string& t) { r += t + "\n"; };
  say("plix62c-cldf: " + d.name + (d.segments_from_form ? " (no Segments column: forms cut into letters)" : ""));
  say("languages: " + std::to_string(nl) + " read, " + std::to_string(nwritten) + " written");
  if (no_forms) say("  left out, no usable form of a mapped concept: " + std::to_string(no_forms));
  if (too_few) say("  left out, fewer than " + std::to_string(std::max(words, 1)) + " selected meanings: " + std::to_string(too_few));
  if (unclassified_dropped) say("  left out, unclassified (--drop-unclassified): " + std::to_string(unclassified_dropped));
  else if (unclassified) say("  in the group Unclassified, no classification: " + std::to_string(unclassified));
  say("meanings selected: " + std::to_string(nmean) + " (WORDS " + std::to_string(words) + ")");
  for (int m : selected)
    say("  " + right(m, 3) + " " + concepts.gloss[static_cast<std::size_t>(m)] + ": " +
        std::to_string(attested[static_cast<std::size_t>(m)]) + " languages");
  say("forms: " + std::to_string(d.form_rows) + " read");
  auto reason = [&](long n, const char* what) {
    if (n) say("  left out, " + std::string(what) + ": " + std::to_string(n));
  };
  reason(d.tally.unmapped, "concept not in the meaning table");
  reason(d.tally.loans, "loan");
  reason(d.tally.no_segments, "no usable segments");
  reason(d.tally.unselected, "meaning not selected");
  reason(d.tally.language_left_out, "language left out");
  reason(d.tally.duplicates, "same segments as an earlier synonym");
  reason(d.tally.beyond_synonyms, "synonyms beyond --synonyms");
  if (!d.tally.unmapped_parameters.empty()) {
    std::vector<std::pair<long, std::string>> top;
    for (const auto& [p, n] : d.tally.unmapped_parameters) top.emplace_back(-n, p);
    std::sort(top.begin(), top.end());
    std::string list;
    for (std::size_t k = 0; k < top.size() && k < 5; ++k) list += (k ? ", " : "") + top[k].second;
    say("  unmapped concepts: " + std::to_string(top.size()) + " (most forms: " + list + ")");
  }
  long folded = 0;
  for (std::int32_t id = 0; id < d.sounds.size(); ++id)
    if (rep[static_cast<std::size_t>(id)] != id && sound_count[static_cast<std::size_t>(id)] > 0) ++folded;
  say("symbols: " + std::to_string(inventory.size()) + (folded ? " (" + std::to_string(folded) + " rare sounds folded into their classes)" : "") +
      "; combined sounds: " + std::to_string(pairs.size()) + " pairs, " + std::to_string(triples.size()) + " triples");
  long cut = cuts.cut_codes + cuts.cut_columns + cuts.cut_table;
  if (cut == 0) say("cut words: none");
  else {
    say("cut words: " + std::to_string(cut));
    if (cuts.cut_codes) say("  at " + std::to_string(kCodeLimit) + " codes a word (" + std::to_string(kSynonymLimit) + " a synonym): " + std::to_string(cuts.cut_codes));
    if (cuts.cut_columns) say("  at " + std::to_string(kRecord) + " columns a record: " + std::to_string(cuts.cut_columns));
    if (cuts.cut_table) say("  at " + std::to_string(kMaxCombinations) + " pairs or triples: " + std::to_string(cuts.cut_table));
  }
  return result;
}

}  // namespace plix::cldf
