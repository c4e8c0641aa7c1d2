#include "cldf/dataset.h"

#include <utf8proc.h>

#include <algorithm>
#include <filesystem>

#include "cldf/classes.h"
#include "cldf/csv.h"
#include "cldf/error.h"
#include "cldf/meanings.h"
#include "cldf/text.h"

namespace plix::cldf {

namespace fs = std::filesystem;

std::string read_table(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec) && fs::exists(path + ".zip", ec))
    throw InputError(path, 0, "missing; the dataset ships it as " + fs::path(path).filename().string() +
                                  ".zip, unpack that first");
  return read_file(path);
}

namespace {

bool truthy(std::string_view v) {
  v = trim(v);
  return v == "true" || v == "True" || v == "TRUE" || v == "1" || v == "yes" || v == "Yes";
}

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

std::string table_path(const std::string& metadata, const Table& t) {
  return (fs::path(metadata).parent_path() / t.url).string();
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

// Tokens of a Form cell, for datasets without segments: one per letter with
// the diacritics and modifier letters after it, a tie bar joining the next.
// Each token is a view of the cell; `take` returns false to stop.
template <class Take>
void segment_form(std::string_view form, Take take) {
  std::size_t start = std::string_view::npos, end = 0;
  bool tie = false;
  for (std::size_t i = 0; i < form.size();) {
    utf8proc_int32_t cp;
    auto len = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(form.data() + i),
                                static_cast<utf8proc_ssize_t>(form.size() - i), &cp);
    if (len <= 0) break;
    const std::size_t at = i;
    i += static_cast<std::size_t>(len);
    auto cat = utf8proc_category(cp);
    bool letter = cat == UTF8PROC_CATEGORY_LU || cat == UTF8PROC_CATEGORY_LL || cat == UTF8PROC_CATEGORY_LT ||
                  cat == UTF8PROC_CATEGORY_LO;
    bool attached = cat == UTF8PROC_CATEGORY_MN || cat == UTF8PROC_CATEGORY_MC || cat == UTF8PROC_CATEGORY_ME ||
                    cat == UTF8PROC_CATEGORY_LM || cat == UTF8PROC_CATEGORY_SK;
    const bool open = start != std::string_view::npos;
    if (cp == 0x0361 || cp == 0x035C) {  // the tie stays in the token; it is no sound
      tie = true;
      if (open) end = i;
      continue;
    }
    if (letter) {
      if (open && !tie) {
        if (!take(form.substr(start, end - start))) return;
        start = at;
      } else if (!open) {
        start = at;
      }
      end = i;
      tie = false;
    } else if (attached) {
      if (open) end = i;
    } else if (open) {  // a blank or punctuation separates
      if (!take(form.substr(start, end - start))) return;
      start = std::string_view::npos;
    }
  }
  if (start != std::string_view::npos) take(form.substr(start, end - start));
}

void read_forms(Dataset& d, const Options& o, const std::string& file, const Table* table,
                const ConceptTable& concepts, const std::unordered_map<std::string, int>& meaning_of) {
  Header h;
  int lang = -1, param = -1, form = -1, segments = -1, loan = -1;
  std::string separator = " ";
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
    // The tokens of the cell, each looked up once for the whole dataset. The
    // run takes at most MAX_CODES codes a word, so a token is analysed from
    // its first kTokenBytes bytes and a form keeps kTokensKept tokens with
    // sounds: one more than a word can hold, so that the cut is still seen.
    auto begin = static_cast<std::uint32_t>(d.form_tokens.size());
    std::uint32_t sounding = 0;
    auto take = [&](std::string_view tok) {
      tok = utf8_prefix(tok, kTokenBytes);
      auto it = d.token_index.find(tok);
      std::int32_t t;
      if (it == d.token_index.end()) {
        units.clear();
        analyse_segment(tok, d.sounds, units);
        to_classes(o.sound_classes, d.sounds, units);
        t = static_cast<std::int32_t>(d.token_begin.size());
        d.token_begin.push_back(static_cast<std::uint32_t>(d.token_units.size()));
        d.token_count.push_back(static_cast<std::uint32_t>(units.size()));
        d.token_units.insert(d.token_units.end(), units.begin(), units.end());
        d.token_index.emplace(std::string(tok), t);
      } else {
        t = it->second;
      }
      if (d.token_count[static_cast<std::size_t>(t)] == 0) return true;  // a boundary or no sound
      d.form_tokens.push_back(t);
      return ++sounding < kTokensKept;
    };
    if (segments >= 0) {
      std::string_view cell = field(f, segments);
      while (!cell.empty()) {
        std::size_t cut = separator == " " ? cell.find_first_of(" \t\r\n") : cell.find(separator);
        std::string_view tok = trim(cell.substr(0, cut));
        if (!tok.empty() && !take(tok)) break;
        if (cut == std::string_view::npos) break;
        cell.remove_prefix(cut + (separator == " " ? 1 : separator.size()));
      }
    } else {
      segment_form(field(f, form), take);
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

}  // namespace

Dataset load_dataset(const Options& o, const ConceptTable& concepts) {
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
      fs::path dir = fs::absolute(fs::path(where.metadata)).lexically_normal().parent_path();
      if (dir.filename() == "cldf" && dir.has_parent_path()) dir = dir.parent_path();
      d.name = dir.filename().string();
    }
    if (const Table* t = meta.table("LanguageTable")) {
      d.languages_file = table_path(where.metadata, *t);
      d.has_language_table = true;
      read_languages(d, o, d.languages_file, t);
    }
    if (const Table* t = meta.table("ParameterTable")) {
      read_parameters(table_path(where.metadata, *t), t, concepts, o.own_concepts, meaning_of, d.parameters);
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


}  // namespace plix::cldf
