#include "cldf/meanings.h"

#include <algorithm>

#include "cldf/csv.h"
#include "cldf/error.h"
#include "cldf/text.h"

namespace plix::cldf {

void read_parameters(const std::string& file, const Table* table, const ConceptTable& concepts, bool own,
                     std::unordered_map<std::string, int>& meaning_of, ParameterInfo& about) {
  Header h;
  int id = -1, cid = -1, gloss = -1;
  std::unordered_map<std::string, long> first_line;
  parse_csv(read_table(file), file, table ? table->delimiter : ',', [&](std::vector<std::string>& f, long line) {
    if (h.names.empty()) {
      h.names = f;
      id = h.find(table, "id", "ID");
      cid = h.find(table, "concepticonReference", "Concepticon_ID");
      gloss = h.find(table, "name", "Name");
      if (id < 0) throw InputError(file, line, "the ParameterTable has no ID column");
      return;
    }
    std::string pid(trim(field(f, id)));
    if (auto [it, fresh] = first_line.emplace(pid, line); !fresh)
      throw InputError(file, line, "parameter ID '" + pid + "' listed twice (first on line " +
                                       std::to_string(it->second) + ")");
    std::string concept_id(trim(field(f, cid)));
    int n = concepts.number(concept_id);
    if (n == 0 && own) n = concepts.number(pid);
    meaning_of[pid] = n;
    if (n == 0) about[pid] = {std::string(trim(field(f, gloss))), std::move(concept_id)};
  });
}


Selection select_meanings(const Dataset& d, const Options& o, const std::vector<char>& candidate) {
  Selection s;
  const std::size_t nl = d.languages.size();
  s.has.assign(nl, {});
  for (const Form& f : d.forms)
    if (candidate[static_cast<std::size_t>(f.language)]) s.has[static_cast<std::size_t>(f.language)][f.meaning] = true;
  for (std::size_t i = 0; i < nl; ++i)
    for (int m = 1; m <= 100; ++m) s.attested[static_cast<std::size_t>(m)] += s.has[i][static_cast<std::size_t>(m)];

  s.meanings = o.meanings;
  if (s.meanings.empty()) {
    std::vector<int> byrank;
    for (int m = 1; m <= 100; ++m)
      if (s.attested[static_cast<std::size_t>(m)] > 0) byrank.push_back(m);
    std::stable_sort(byrank.begin(), byrank.end(), [&](int a, int b) {
      return s.attested[static_cast<std::size_t>(a)] > s.attested[static_cast<std::size_t>(b)];
    });
    if (byrank.size() > static_cast<std::size_t>(o.meaning_count)) byrank.resize(static_cast<std::size_t>(o.meaning_count));
    std::sort(byrank.begin(), byrank.end());
    s.meanings = byrank;
  }
  if (s.meanings.empty()) {
    const long mapped = d.tally.no_segments + d.tally.loans;
    if (mapped == 0)
      throw InputError(d.forms_file, 0, "no form maps to a meaning of the meaning table (" +
                                            std::to_string(d.tally.unmapped) + " forms of unmapped concepts)");
    throw InputError(d.forms_file, 0, "no usable form of a meaning of the meaning table (" +
                                          std::to_string(d.tally.no_segments) + " without usable segments, " +
                                          std::to_string(d.tally.loans) + " loans, " +
                                          std::to_string(d.tally.unmapped) + " of unmapped concepts)");
  }
  for (int m : s.meanings) s.is_selected[static_cast<std::size_t>(m)] = true;
  const int nmean = static_cast<int>(s.meanings.size());
  s.words = o.words >= 0 ? o.words : (7 * nmean + 9) / 10;
  return s;
}

}  // namespace plix::cldf
