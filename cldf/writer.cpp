#include "cldf/writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "cldf/names.h"
#include "cldf/text.h"

namespace plix::cldf {

Written write_stream(Dataset& d, const Options& o, const ConceptTable& concepts, const Selection& sel,
                     const std::vector<char>& written) {
  const std::size_t nl = d.languages.size();
  // Forms grouped by language and meaning, in file order within each group.
  std::vector<std::uint32_t> order(d.forms.size());
  for (std::uint32_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const Form& x = d.forms[a];
    const Form& y = d.forms[b];
    return x.language != y.language ? x.language < y.language : x.meaning < y.meaning;
  });
  // The synonyms written per language and meaning: distinct unit sequences,
  // the first --synonyms of them.
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
      } else if (!sel.is_selected[first.meaning]) {
        d.tally.unselected += static_cast<long>(end - at);
      } else {
        auto& slot = kept[li * 101 + first.meaning];
        for (std::size_t k = at; k < end; ++k) {
          d.units_of(d.forms[order[k]], a);
          bool dup = false;
          for (std::uint32_t prev : slot) {
            d.units_of(d.forms[prev], b);
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

  Written result;
  std::string& s = result.stream;
  auto line = [&](std::string_view text) {
    s += text;
    s += '\n';
  };
  // Run parameters, meaning selection.
  line(right(o.synonyms, 6) + right(sel.words, 6) + right(o.date, 6) + right(o.level, 6) + right(o.s0, 6) +
       right(o.r, 6) + "   SYNONYMS WORDS DATE LEVEL S0 R");
  line("(I3)");
  for (int m : sel.meanings)
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

  // The database. A name that two written languages share takes the ID.
  std::vector<std::string> names(nl);
  std::unordered_map<std::string, int> name_count;
  for (std::size_t i = 0; i < nl; ++i)
    if (written[i]) ++name_count[names[i] = display_name(d.languages[i])];
  Cuts& cuts = result.cuts;
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
    line(header_record(l, names[i], name_count[names[i]] > 1));
    // The figure in columns 19-30, the code in 40-42.
    std::string fig = figure_text(l, d.languages_file, o);
    line(std::string(18 + 12 - fig.size(), ' ') + fig + std::string(9, ' ') + language_code(l));
    for (int m : sel.meanings) {
      const auto& slot = kept[i * 101 + static_cast<std::size_t>(m)];
      if (slot.empty()) continue;
      std::string rec = std::to_string(m) + "\t";
      std::size_t header_len = rec.size();
      bool wrote = false;
      for (std::size_t k = 0; k < slot.size(); ++k) {
        d.units_of(d.forms[slot[k]], units);
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
  result.symbol_count = static_cast<long>(inventory.size());
  for (std::int32_t id = 0; id < d.sounds.size(); ++id)
    if (rep[static_cast<std::size_t>(id)] != id && sound_count[static_cast<std::size_t>(id)] > 0) ++result.folded;
  result.pairs = static_cast<long>(pairs.size());
  result.triples = static_cast<long>(triples.size());
  return result;
}

}  // namespace plix::cldf
