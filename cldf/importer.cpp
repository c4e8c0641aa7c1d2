#include "cldf/importer.h"

#include <algorithm>
#include <memory>

#include "cldf/dataset.h"
#include "cldf/error.h"
#include "cldf/glottolog.h"
#include "cldf/meanings.h"
#include "cldf/names.h"
#include "cldf/paths.h"
#include "cldf/text.h"
#include "cldf/writer.h"

namespace plix::cldf {

Result import_dataset(const Options& o, const ConceptTable& concepts) {
  Dataset d = load_dataset(o, concepts);
  std::unique_ptr<Glottolog> glottolog;
  if (!o.glottolog.empty()) glottolog = std::make_unique<Glottolog>(load_glottolog(o.glottolog));
  classify(d, o, glottolog.get());
  find_reconstructions(d, o, glottolog.get());

  const std::size_t nl = d.languages.size();
  // Languages that take part: usable forms, and a classification unless those
  // without one are dropped.
  std::vector<char> candidate(nl, 0);
  long no_forms = 0, unclassified = 0, unclassified_dropped = 0;
  std::vector<std::size_t> protos;
  for (std::size_t i = 0; i < nl; ++i) {
    const Language& l = d.languages[i];
    if (!l.proto.empty()) protos.push_back(i);
    if (!l.proto.empty() && !o.keep_proto) continue;
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


  Selection sel = select_meanings(d, o, candidate);
  const int nmean = static_cast<int>(sel.meanings.size());

  // Languages written: at least WORDS selected meanings, and at least one.
  std::vector<char> written(nl, 0);
  long too_few = 0, nwritten = 0;
  for (std::size_t i = 0; i < nl; ++i) {
    if (!candidate[i]) continue;
    int n = 0;
    for (int m : sel.meanings) n += sel.has[i][static_cast<std::size_t>(m)];
    if (n < std::max(sel.words, 1)) {
      ++too_few;
      continue;
    }
    written[i] = 1;
    ++nwritten;
  }
  if (nwritten == 0)
    throw InputError(d.forms_file, 0, "no language has forms of " + std::to_string(std::max(sel.words, 1)) +
                                          " of the " + std::to_string(nmean) + " selected meanings");

  Written w = write_stream(d, o, concepts, sel, written);

  // The summary.
  Result result;
  result.stream = std::move(w.stream);
  result.symbols = std::move(w.symbols);
  std::string& r = result.summary;
  auto say = [&](const std::string& t) { r += t + "\n"; };
  say("plix62c-cldf: " + d.name + (d.segments_from_form ? " (no Segments column: forms cut into letters)" : ""));
  say("languages: " + std::to_string(nl) + " read, " + std::to_string(nwritten) + " written");
  auto who = [&](const Language& l) {
    std::string name = display_name(l);
    return safe_text(l.id) + (name == safe_text(l.id) ? std::string() : " (" + name + ")");
  };
  if (!protos.empty()) {
    say(std::string(o.keep_proto ? "  kept with --keep-proto" : "  left out, proto-language or reconstruction") +
        " (--keep-proto keeps them): " + std::to_string(protos.size()));
    if (o.keep_proto) r.replace(r.rfind(" (--keep-proto keeps them)"), 26, "");
    for (std::size_t k : protos) say("    " + who(d.languages[k]) + ": " + d.languages[k].proto);
  }
  if (no_forms) say("  left out, no usable form of a mapped concept: " + std::to_string(no_forms));
  if (too_few) say("  left out, fewer than " + std::to_string(std::max(sel.words, 1)) + " selected meanings: " + std::to_string(too_few));
  if (unclassified_dropped) say("  left out, unclassified (--drop-unclassified): " + std::to_string(unclassified_dropped));
  else if (unclassified) say("  in the group Unclassified, no classification: " + std::to_string(unclassified));
  // Paths by source, and every language whose path is not from the first
  // source asked (or came through its parent language).
  {
    long by[6] = {};
    for (const Language& l : d.languages) ++by[static_cast<int>(l.source)];
    std::string t = "paths:";
    for (int s = 0; s < 6; ++s)
      if (by[s] || s == static_cast<int>(first_source(d, o, glottolog.get())))
        t += std::string(t.size() > 6 ? "," : "") + " " + std::to_string(by[s]) + " " + source_name(static_cast<PathSource>(s));
    say(t);
    if (glottolog)
      say("  Glottolog: " + std::to_string(glottolog->trees()) + " trees, " + std::to_string(glottolog->codes()) +
          " Glottocodes in them; it placed " + std::to_string(by[0] + by[1]) + " of the " + std::to_string(nl) +
          " languages");
    for (const Language& l : d.languages)
      if (!l.path_note.empty()) say("  " + who(l) + ": " + l.path_note);
  }
  say("meanings selected: " + std::to_string(nmean) + " (WORDS " + std::to_string(sel.words) + ")");
  for (int m : sel.meanings)
    say("  " + right(m, 3) + " " + concepts.gloss[static_cast<std::size_t>(m)] + ": " +
        std::to_string(sel.attested[static_cast<std::size_t>(m)]) + " languages");
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
    // Each of them, so that a gap in the meaning table can be told from
    // the stream's limit of 100 meanings.
    for (const auto& [n, p] : top) {
      std::string about;
      if (auto it = d.parameters.find(p); it != d.parameters.end()) {
        if (!it->second.first.empty() && it->second.first != p) about += " '" + printable(it->second.first) + "'";
        about += it->second.second.empty() ? ", no Concepticon ID" : ", Concepticon " + printable(it->second.second);
      }
      say("    " + printable(p) + about + ": " + std::to_string(-n) + (n == -1 ? " form" : " forms"));
    }
  }
  {
    // Meanings of the table that the forms matched but the selection left out.
    std::string unselected;
    int matched = 0;
    for (int m = 1; m <= 100; ++m) {
      if (sel.attested[static_cast<std::size_t>(m)] == 0) continue;
      ++matched;
      if (!sel.is_selected[static_cast<std::size_t>(m)])
        unselected += (unselected.empty() ? "" : ", ") + std::to_string(m) + " " + concepts.gloss[static_cast<std::size_t>(m)];
    }
    say("meanings of the table matched: " + std::to_string(matched) +
        (unselected.empty() ? std::string() : "; not selected: " + unselected));
  }
  say("symbols: " + std::to_string(w.symbol_count) + (w.folded ? " (" + std::to_string(w.folded) + " rare sounds folded into their classes)" : "") +
      "; combined sounds: " + std::to_string(w.pairs) + " pairs, " + std::to_string(w.triples) + " triples");
  long cut = w.cuts.cut_codes + w.cuts.cut_columns + w.cuts.cut_table;
  if (cut == 0) say("cut words: none");
  else {
    say("cut words: " + std::to_string(cut));
    if (w.cuts.cut_codes) say("  at " + std::to_string(kCodeLimit) + " codes a word (" + std::to_string(kSynonymLimit) + " a synonym): " + std::to_string(w.cuts.cut_codes));
    if (w.cuts.cut_columns) say("  at " + std::to_string(kRecord) + " columns a record: " + std::to_string(w.cuts.cut_columns));
    if (w.cuts.cut_table) say("  at " + std::to_string(kMaxCombinations) + " pairs or triples: " + std::to_string(w.cuts.cut_table));
  }
  return result;
}

}  // namespace plix::cldf

