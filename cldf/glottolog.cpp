#include "cldf/glottolog.h"

#include <algorithm>
#include <filesystem>

#include "cldf/csv.h"
#include "cldf/error.h"

namespace plix::cldf {

namespace fs = std::filesystem;

namespace {

// The line of a position; CR, LF and CR LF each end a line.
long line_at(std::string_view text, std::size_t pos) {
  long line = 1;
  for (std::size_t i = 0; i < std::min(pos, text.size()); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
  return line;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

// The entry of `dir` with that name in any letter case; empty when none.
fs::path entry_in(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::exists(dir / name, ec)) return dir / name;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (lower(e.path().filename().string()) == name) return e.path();
  return {};
}

}  // namespace

void Glottolog::add_trees(std::string_view nexus, const std::string& file) {
  nexus = strip_bom(nexus);
  // Each "tree NAME = ... ;" statement holds one Newick tree; the keyword in
  // any letter case.
  const std::string folded = lower(nexus);
  std::size_t at = 0;
  while (true) {
    std::size_t t = folded.find("tree", at);
    if (t == std::string::npos) break;
    if ((t > 0 && !blank(nexus[t - 1]) && nexus[t - 1] != ';') || t + 4 >= nexus.size() || !blank(nexus[t + 4])) {
      at = t + 4;
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
          ++trees_;
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

void Glottolog::set_entry(const std::string& glottocode, const std::string& level, const std::string& language,
                          const std::string& family) {
  entry_[glottocode] = {level, language, family};
}

std::string Glottolog::level(const std::string& glottocode) const {
  auto it = entry_.find(glottocode);
  return it == entry_.end() ? std::string() : it->second.level;
}

std::string Glottolog::root(const std::string& glottocode) const {
  std::string at = glottocode;
  for (int steps = 0; steps < 1000; ++steps) {
    auto it = parent_.find(at);
    if (it == parent_.end() || it->second.empty()) return at;
    at = it->second;
  }
  return at;
}

Glottolog::Placement Glottolog::place(const std::string& glottocode) const {
  Placement p;
  std::string code = glottocode;
  if (!parent_.count(code)) {
    // In no tree: the first of its language and its family that is in one.
    auto e = entry_.find(code);
    if (e == entry_.end()) {
      p.problem = "Glottocode " + glottocode + " is not in Glottolog";
      return p;
    }
    for (const std::string& up : {e->second.language, e->second.family})
      if (!up.empty() && parent_.count(up)) {
        p.via = up;
        break;
      }
    if (p.via.empty()) {
      p.problem = "Glottocode " + glottocode + " is in no tree of Glottolog, nor is its language or family";
      return p;
    }
    code = p.via;
  }
  // Bookkeeping and unclassifiable entries are trees of their own.
  const std::string top = name(root(code));
  if (top == "Bookkeeping" || top == "Unclassifiable") {
    p.problem = "Glottocode " + glottocode + " is " + (top == "Bookkeeping" ? "a bookkeeping" : "an unclassifiable") +
                " entry of Glottolog";
    return p;
  }
  p.path = path(code);
  if (!p.via.empty()) {
    // The language (or family) itself is the last component; a root is
    // already its own path.
    if (!parent_.at(code).empty()) p.path.push_back(name(code));
    p.source = Source::kParent;
  } else {
    p.source = Source::kTree;
  }
  return p;
}

Glottolog load_glottolog(const std::string& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec))
    throw InputError(dir, 0, fs::exists(dir, ec) ? "is not a folder (--glottolog wants a glottolog-cldf checkout)"
                                                 : "no such folder (--glottolog)");
  // DIR/cldf, or DIR itself when it is that folder.
  fs::path cldf = entry_in(dir, "cldf");
  if (cldf.empty() || !fs::is_directory(cldf, ec)) cldf = dir;
  fs::path nex_path = entry_in(cldf, "classification.nex");
  fs::path langs_path = entry_in(cldf, "languages.csv");
  if (nex_path.empty() || langs_path.empty())
    throw InputError(dir, 0, "not a glottolog-cldf checkout: no cldf/classification.nex and cldf/languages.csv");
  Glottolog g;
  const std::string nex = nex_path.string(), langs = langs_path.string();
  const std::string nexus = read_file(nex);
  g.add_trees(nexus, nex);
  if (g.trees() == 0) throw InputError(nex, 0, "holds no tree (no 'tree NAME = ...;' statement)");
  int id = -1, name = -1, level = -1, language = -1, family = -1;
  long rows = 0;
  parse_csv(read_file(langs), langs, ',', [&](std::vector<std::string>& f, long line) {
    if (id < 0) {
      for (std::size_t k = 0; k < f.size(); ++k) {
        const std::string c = lower(f[k]);
        const int at = static_cast<int>(k);
        if (c == "id") id = at;
        if (c == "name") name = at;
        if (c == "level") level = at;
        if (c == "language_id") language = at;
        if (c == "family_id") family = at;
      }
      if (id < 0 || name < 0) throw InputError(langs, line, "header without the columns ID and Name");
      return;
    }
    auto cell = [&](int k) { return k >= 0 && static_cast<std::size_t>(k) < f.size() ? f[static_cast<std::size_t>(k)] : std::string(); };
    const std::string code = cell(id);
    if (code.empty()) return;
    ++rows;
    g.set_name(code, cell(name));
    g.set_entry(code, lower(cell(level)), cell(language), cell(family));
  });
  if (rows == 0) throw InputError(langs, 0, "lists no Glottocode");
  return g;
}

}  // namespace plix::cldf
