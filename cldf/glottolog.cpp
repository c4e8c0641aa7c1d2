#include "cldf/glottolog.h"

#include <algorithm>

#include "cldf/csv.h"
#include "cldf/error.h"

namespace plix::cldf {

namespace {

long line_at(std::string_view text, std::size_t pos) {
  return 1 + static_cast<long>(std::count(text.begin(), text.begin() + static_cast<long>(std::min(pos, text.size())), '\n'));
}

}  // namespace

void Glottolog::add_trees(std::string_view nexus, const std::string& file) {
  nexus = strip_bom(nexus);
  // Each "tree NAME = ... ;" statement holds one Newick tree.
  std::size_t at = 0;
  while (true) {
    std::size_t t = nexus.find("tree ", at);
    if (t == std::string_view::npos) break;
    if (t > 0 && nexus[t - 1] != '\n' && nexus[t - 1] != ' ' && nexus[t - 1] != '\t' && nexus[t - 1] != '\r') {
      at = t + 5;
      continue;
    }
    std::size_t eq = nexus.find('=', t);
    if (eq == std::string_view::npos) throw InputError(file, line_at(nexus, t), "tree without '='");
    // Newick: children in parentheses, a label after each node, branch
    // lengths after ':', comments in brackets. The open nodes are a stack of
    // the child labels waiting for their parent's label.
    std::vector<std::vector<std::string>> open;
    std::string label;
    bool ended = false;
    std::size_t i = eq + 1;
    auto read_label = [&]() {
      label.clear();
      while (i < nexus.size()) {
        char c = nexus[i];
        if (c == '\'') {  // quoted label, '' for a quote
          ++i;
          while (i < nexus.size()) {
            if (nexus[i] == '\'' && (i + 1 >= nexus.size() || nexus[i + 1] != '\'')) break;
            if (nexus[i] == '\'') ++i;
            label += nexus[i++];
          }
          if (i >= nexus.size()) throw InputError(file, line_at(nexus, t), "quoted label not closed");
          ++i;
          continue;
        }
        if (c == '(' || c == ')' || c == ',' || c == ';' || c == ':' || c == '[' || c == ' ' || c == '\t' ||
            c == '\n' || c == '\r')
          break;
        label += c;
        ++i;
      }
    };
    auto skip = [&]() {  // blanks, comments and a branch length
      while (i < nexus.size()) {
        char c = nexus[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
          ++i;
        } else if (c == '[') {
          std::size_t close = nexus.find(']', i);
          if (close == std::string_view::npos) throw InputError(file, line_at(nexus, i), "comment not closed");
          i = close + 1;
        } else if (c == ':') {
          ++i;
          while (i < nexus.size() && std::string_view("(),;[ \t\r\n").find(nexus[i]) == std::string_view::npos) ++i;
        } else {
          break;
        }
      }
    };
    open.push_back({});
    while (!ended) {
      skip();
      if (i >= nexus.size()) throw InputError(file, line_at(nexus, t), "tree not ended by ';'");
      char c = nexus[i];
      if (c == '(') {
        open.push_back({});
        ++i;
        continue;
      }
      if (c == ')' || c == ',' || c == ';') {
        throw InputError(file, line_at(nexus, i), std::string("unexpected '") + c + "' in a tree");
      }
      // A leaf label.
      read_label();
      if (label.empty()) throw InputError(file, line_at(nexus, i), "unreadable tree");
      parent_.emplace(label, "");
      open.back().push_back(label);
      // After a node: ',' (a sibling follows), ')' (the parent closes; its
      // label follows) or ';' (the tree ends).
      while (true) {
        skip();
        if (i >= nexus.size()) throw InputError(file, line_at(nexus, t), "tree not ended by ';'");
        char d = nexus[i];
        if (d == ',') {
          if (open.size() < 2) throw InputError(file, line_at(nexus, i), "',' outside parentheses");
          ++i;
          break;
        }
        if (d == ')') {
          if (open.size() < 2) throw InputError(file, line_at(nexus, i), "unbalanced ')'");
          ++i;
          skip();
          read_label();
          std::vector<std::string> kids = std::move(open.back());
          open.pop_back();
          if (!label.empty()) {
            for (const std::string& k : kids) parent_[k] = label;
            parent_.emplace(label, "");
            open.back().push_back(label);
          } else {
            // An unlabelled inner node: its children hang on the next label up.
            for (std::string& k : kids) open.back().push_back(std::move(k));
          }
          continue;
        }
        if (d == ';') {
          if (open.size() != 1) throw InputError(file, line_at(nexus, i), "unbalanced '('");
          ++i;
          ended = true;
          break;
        }
        throw InputError(file, line_at(nexus, i), std::string("unexpected '") + d + "' in a tree");
      }
    }
    at = i;
  }
}

std::string Glottolog::name(const std::string& glottocode) const {
  auto it = name_.find(glottocode);
  return it == name_.end() || it->second.empty() ? glottocode : it->second;
}

std::vector<std::string> Glottolog::path(const std::string& glottocode) const {
  auto it = parent_.find(glottocode);
  if (it == parent_.end()) return {};
  std::vector<std::string> up;
  for (std::string p = it->second; !p.empty() && up.size() < 1000;) {
    up.push_back(name(p));
    auto q = parent_.find(p);
    p = q == parent_.end() ? std::string() : q->second;
  }
  if (up.empty()) return {name(glottocode)};
  std::reverse(up.begin(), up.end());
  return up;
}

Glottolog load_glottolog(const std::string& dir) {
  Glottolog g;
  std::string nex = dir + "/cldf/classification.nex";
  g.add_trees(read_file(nex), nex);
  std::string langs = dir + "/cldf/languages.csv";
  int id = -1, name = -1;
  parse_csv(read_file(langs), langs, ',', [&](std::vector<std::string>& f, long line) {
    if (id < 0) {
      for (std::size_t k = 0; k < f.size(); ++k) {
        if (f[k] == "ID") id = static_cast<int>(k);
        if (f[k] == "Name") name = static_cast<int>(k);
      }
      if (id < 0 || name < 0) throw InputError(langs, line, "header without the columns ID and Name");
      return;
    }
    if (static_cast<std::size_t>(std::max(id, name)) < f.size())
      g.set_name(f[static_cast<std::size_t>(id)], f[static_cast<std::size_t>(name)]);
  });
  return g;
}

}  // namespace plix::cldf
