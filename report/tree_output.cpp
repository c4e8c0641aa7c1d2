#include "report/tree_output.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "textio/editing.h"
#include "textio/result_file.h"

namespace plix {

namespace {

// The report's two-decimal text of a mean, with a leading zero before the
// point ("0.50" where the report shows ".50").
std::string two_decimals(float mean) {
  char field[16];
  edit_fixed(mean, 16, 2, 0, false, field);
  int i = 0;
  while (i < 16 && field[i] == ' ') ++i;
  std::string text;
  if (i < 16 && field[i] == '-') text += field[i++];
  if (i < 16 && field[i] == '.') text += '0';
  text.append(field + i, static_cast<std::size_t>(16 - i));
  return text;
}

std::string integer_text(long long value) { return std::to_string(value); }

// years / 1000, exactly, with three decimals.
std::string thousands(long long years) {
  const long long magnitude = std::llabs(years);
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%03lld", years < 0 ? "-" : "", magnitude / 1000,
                magnitude % 1000);
  return text;
}

void write_annotation(ResultFile& file, const ClassificationTree& tree, int t, const NodeDate& date) {
  const TreeNode& node = tree.nodes[t];
  file.write("[&pairs=");
  file.write(integer_text(static_cast<long long>(node.pair_count)));
  if (date.has_mean) {
    file.write(",similarity=");
    file.write(two_decimals(date.mean));
  }
  if (date.dated) {
    file.write(",age=");
    file.write(integer_text(date.age));
  }
  if (tree.intervals.size() == tree.nodes.size() && tree.intervals[t].has_age) {
    const NodeInterval& interval = tree.intervals[t];
    file.write(",age_95%_HPD={");
    file.write(integer_text(std::llround(interval.age_low)));
    file.write(",", 1);
    file.write(integer_text(std::llround(interval.age_high)));
    file.write("}", 1);
  }
  if (is_weak_node(node)) file.write(",weak=true");
  if (!date.dated) file.write(",dated=false");
  file.write("]", 1);
}

void write_length(ResultFile& file, long long years) {
  file.write(":", 1);
  file.write(thousands(years));
}

// The tree without the closing ";": a walk with an explicit stack, so that
// the depth of the classification is bounded by memory, not by the stack.
void write_newick_body(ResultFile& file, const RunParameters& params,
                       const ClassificationTree& tree, const LanguageNames& names) {
  if (tree.language_count == 0 || tree.nodes.empty()) return;
  const std::vector<long long> age = standing_ages(params, tree);
  struct Frame {
    int node, next;  // next: the index in tree.children of the next child to write
  };
  std::vector<Frame> stack{{0, tree.child_begin[0]}};
  file.write("(", 1);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const int t = frame.node;
    if (frame.next < tree.child_begin[t + 1]) {
      if (frame.next != tree.child_begin[t]) file.write(",", 1);
      const int child = tree.children[frame.next++];
      if (child < 0) {
        file.write(language_name(names, -child));
        write_length(file, age[t]);
      } else {
        file.write("(", 1);
        stack.push_back({child, tree.child_begin[child]});
      }
      continue;
    }
    stack.pop_back();
    file.write(")", 1);
    const TreeNode& node = tree.nodes[t];
    if (t != 0) file.write(safe_name(node_label(tree, node)));
    write_annotation(file, tree, t, node_date(params, node));
    if (!stack.empty()) write_length(file, age[stack.back().node] - age[t]);
  }
}

}  // namespace

std::vector<long long> standing_ages(const RunParameters& params, const ClassificationTree& tree) {
  const int count = static_cast<int>(tree.nodes.size());
  // oldest[t]: the oldest age dated below t, languages counting as 0.
  // A parent comes before its children in node order.
  std::vector<long long> oldest(count, 0), age(count, 0);
  for (int t = count - 1; t >= 0; --t) {
    const NodeDate date = node_date(params, tree.nodes[t]);
    age[t] = date.dated ? date.age : oldest[t];
    const int parent = tree.nodes[t].parent;
    if (parent >= 0) oldest[parent] = std::max(oldest[parent], std::max(oldest[t], date.dated ? date.age : 0LL));
  }
  return age;
}

void write_tree_newick(ResultFile& file, const RunParameters& params,
                       const ClassificationTree& tree, const LanguageNames& names) {
  write_newick_body(file, params, tree, names);
  file.write(";\n", 2);
}

void write_tree_nexus(ResultFile& file, const RunParameters& params,
                      const ClassificationTree& tree, const LanguageNames& names) {
  file.write("BEGIN TREES;\n  TREE classification = [&R] ");
  write_newick_body(file, params, tree, names);
  file.write(";\nEND;\n");
}

SvgRows svg_rows(const ClassificationTree& tree, int max_rows) {
  const int count = static_cast<int>(tree.nodes.size());
  // Rows below each node when groups under `size` languages are one row;
  // parents come before their children in node order.
  std::vector<int> rows(count);
  auto rows_at = [&](int size) {
    for (int t = count - 1; t >= 0; --t) {
      rows[t] = 0;
      for (int k = tree.child_begin[t]; k < tree.child_begin[t + 1]; ++k) {
        const int c = tree.children[k];
        rows[t] += c < 0 || tree.nodes[c].languages < size ? 1 : rows[c];
      }
    }
    return rows[0];
  };
  SvgRows result{0, tree.language_count};
  if (tree.language_count <= max_rows) return result;
  int largest = 2;
  for (int t = 1; t < count; ++t) largest = std::max(largest, tree.nodes[t].languages);
  // Fewer rows as the size grows: the least size that fits, else the
  // fewest rows there can be.
  int low = 2, high = largest + 1;
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (rows_at(mid) <= max_rows) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  result.collapse_below = low;
  result.rows = rows_at(low);
  return result;
}

namespace {

// A text made safe for SVG (markup escaped, control characters and bytes
// that are not UTF-8 replaced) and the room it takes in character cells.
struct SvgText {
  std::string markup;
  int cells = 0;
};

// East Asian wide characters take two cells of a monospace font.
bool wide(char32_t c) { return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) || (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) || (c >= 0xffe0 && c <= 0xffe6) || c >= 0x20000; }

void append_svg_text(SvgText& out, std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    ++out.cells;
    if (c == '&') {
      out.markup += "&amp;";
    } else if (c == '<') {
      out.markup += "&lt;";
    } else if (c == '>') {
      out.markup += "&gt;";
    } else if (c < 0x20 || c == 0x7f) {
      out.markup += '?';
    } else if (c < 0x80) {
      out.markup += static_cast<char>(c);
    } else {
      // A well-formed sequence of two to four bytes, or one replacement.
      const int length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
      bool ok = length != 0 && c <= 0xf4 && i + length <= n;
      for (int k = 1; ok && k < length; ++k) ok = (s[i + k] & 0xc0) == 0x80;
      if (ok && length == 3) ok = !(c == 0xe0 && s[i + 1] < 0xa0) && !(c == 0xed && s[i + 1] >= 0xa0);
      if (ok && length == 4) ok = !(c == 0xf0 && s[i + 1] < 0x90) && !(c == 0xf4 && s[i + 1] >= 0x90);
      if (ok) {
        char32_t code = c & (0x7f >> length);
        for (int k = 1; k < length; ++k) code = code << 6 | (s[i + k] & 0x3f);
        out.cells += wide(code);
        out.markup.append(text.data() + i, static_cast<std::size_t>(length));
        i += static_cast<std::size_t>(length);
        continue;
      }
      out.markup += "\xEF\xBF\xBD";
    }
    ++i;
  }
}

SvgText svg_text(std::string_view text) {
  SvgText out;
  append_svg_text(out, text);
  return out;
}

// Row height, the tree's width and the left margin, in pixels.
constexpr double ROW = 16, TREE_WIDTH = 640, LEFT = 40, MARK = 3;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
  char text[256];
  va_list args;
  va_start(args, pattern);
  const int n = std::vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return std::string(text, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof text) - 1)));
}

// A tick step of 1, 2 or 5 times a power of ten, for about six ticks.
long long tick_step(long long span) {
  long long step = 1;
  for (;;) {
    for (const long long m : {1LL, 2LL, 5LL})
      if (span / (step * m) <= 6) return step * m;
    step *= 10;
  }
}

// The picture, drawn in one walk: one row per drawn node and per language.
// A drawn node is a node with its chain of one-child ancestors above it
// (they part nothing, so they are never dated) under one label; its text
// stands on its own row right of its mark, where no line of the tree runs.
// Lines go from left to right only: a node's branches leave from its
// connector, the oldest of its own place and those of the branches below,
// so that a node dated younger than a group below it stands at its age,
// joined to its connector by a marked stem.
struct Picture {
  const RunParameters& params;
  const ClassificationTree& tree;
  const LanguageNames& names;
  int collapse_below;
  std::vector<long long> age;      // standing ages
  std::vector<double> connector;   // x of each node's connector
  long long oldest = 0, youngest = 0;
  double top = 0;                  // y of the first row
  int rows = 0;
  double right = 0;                // right edge of the widest text
  std::string lines, marks;        // marks and texts are drawn over the lines

  bool has_intervals() const { return tree.intervals.size() == tree.nodes.size(); }
  bool collapsed(int t) const { return t != 0 && tree.nodes[t].languages < collapse_below; }
  double x_of(long long a) const {
    return LEFT + TREE_WIDTH * static_cast<double>(oldest - a) / static_cast<double>(oldest - youngest);
  }
  double leaf_x() const { return x_of(std::min(youngest, 0LL)) + 6; }

  void text(double x, double y, const char* cls, const SvgText& t) {
    marks += cls ? format("<text x=\"%.1f\" y=\"%.1f\" class=\"%s\">", x, y, cls)
                 : format("<text x=\"%.1f\" y=\"%.1f\">", x, y);
    marks += t.markup;
    marks += "</text>\n";
    right = std::max(right, x + t.cells * SVG_CHAR_ADVANCE);
  }

  // The one-child node below t, or -1.
  int only_child(int t) const {
    if (collapsed(t) || tree.child_begin[t + 1] - tree.child_begin[t] != 1) return -1;
    return std::max(-1, tree.children[tree.child_begin[t]]);
  }

  // Follows t's chain down to the node drawn for it; `label` gets the
  // chain's names joined, the first and the last two where it is long.
  int chain_end(int t, SvgText& label) const {
    std::vector<int> chain;
    for (int c = t; c >= 0; c = only_child(c)) chain.push_back(c);
    std::vector<std::string_view> shown;
    for (const int c : chain)
      if (c != 0) shown.push_back(node_label(tree, tree.nodes[c]));
    const std::size_t n = shown.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (n > 4 && i > 0 && i < n - 2) {
        if (i == 1) append_svg_text(label, " \xE2\x80\xBA \xE2\x80\xA6");
        continue;
      }
      if (i > 0) append_svg_text(label, " \xE2\x80\xBA ");
      append_svg_text(label, shown[i].empty() ? std::string_view("(empty)") : shown[i]);
    }
    return chain.back();
  }

  // Draws node e (the end of a chain labelled `label`) on a new row;
  // returns its y.
  double draw_node(int e, SvgText label, double from_x, bool conflict_edge) {
    const double y = top + ROW * rows++ + ROW / 2;
    const TreeNode& node = tree.nodes[e];
    const NodeDate date = node_date(params, node);
    const double x = x_of(age[e]), k = connector[e];
    if (from_x >= 0)
      lines += format("<path d=\"M%.1f %.1fH%.1f\"%s/>\n", from_x, y, k, conflict_edge ? " class=\"conflict\"" : "");
    long long below = 0;  // the oldest standing age among its children
    for (int i = tree.child_begin[e]; i < tree.child_begin[e + 1]; ++i)
      below = std::max(below, tree.children[i] < 0 ? 0 : age[tree.children[i]]);
    const bool younger = date.dated && age[e] < below && !collapsed(e);
    if (x > k) lines += format("<path d=\"M%.1f %.1fH%.1f\"%s/>\n", k, y, x, younger ? " class=\"conflict\"" : "");
    double end = x + MARK;
    if (has_intervals() && tree.intervals[e].has_age) {
      const double x0 = x_of(static_cast<long long>(std::llround(tree.intervals[e].age_high)));
      const double x1 = x_of(static_cast<long long>(std::llround(tree.intervals[e].age_low)));
      marks += format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"6\" class=\"interval\"/>\n", x0, y - 3,
                      std::max(x1 - x0, 1.0));
      end = std::max(end, x1);
    }
    for (const CalibrationMark& mark : tree.calibration_marks) {
      if (mark.node != e) continue;
      const double cx = x_of(std::llround(mark.known_age));
      marks += format("<path d=\"M%.1f %.1fl4 7h-8z\" class=\"calibration\"/>\n", cx, y - 3);
      end = std::max(end, cx + 4);
    }
    const char* cls = younger ? "younger" : !date.dated ? "undated" : is_weak_node(node) ? "weak" : "dated";
    if (younger) {
      marks += format("<path d=\"M%.1f %.1fl4 4l-4 4l-4 -4z\" class=\"younger\"/>\n", x, y - 4);
    } else {
      marks += format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.0f\" class=\"%s\"/>\n", x, y, MARK, cls);
    }
    if (!label.markup.empty()) append_svg_text(label, " ");
    append_svg_text(label, date.dated ? format("%d BP", date.age) : std::string("undated"));
    if (is_weak_node(node))
      append_svg_text(label, format(", %.0f pair%s: weak", node.pair_count, node.pair_count == 1 ? "" : "s"));
    if (younger) append_svg_text(label, ", younger than a group below");
    if (collapsed(e)) {
      lines += format("<path d=\"M%.1f %.1fL%.1f %.1fL%.1f %.1fZ\" class=\"group\"/>\n", x, y, x_of(0),
                      y - ROW * 0.35, x_of(0), y + ROW * 0.35);
      append_svg_text(label, format(" (%d languages)", node.languages));
      text(std::max(leaf_x(), end + 6), y + 4, nullptr, label);
    } else {
      text(end + 6, y + 4, "node", label);
    }
    return y;
  }

  double draw_language(int slot, double from_x, bool conflict_edge) {
    const double y = top + ROW * rows++ + ROW / 2;
    lines += format("<path d=\"M%.1f %.1fH%.1f\"%s/>\n", from_x, y, x_of(0), conflict_edge ? " class=\"conflict\"" : "");
    if (youngest < 0) lines += format("<path d=\"M%.1f %.1fH%.1f\" class=\"guide\"/>\n", x_of(0), y, leaf_x() - 2);
    text(leaf_x(), y + 4, nullptr, svg_text(language_name(names, slot)));
    return y;
  }

  // Pre-order with an explicit stack; a node's vertical line is drawn once
  // its last child has its row.
  void draw() {
    struct Frame {
      int node, next;
      double y, last_y;
    };
    std::vector<Frame> stack;
    SvgText label;
    const int e = chain_end(0, label);
    stack.push_back({e, tree.child_begin[e], draw_node(e, label, -1, false), 0});
    while (!stack.empty()) {
      Frame& f = stack.back();
      const int t = f.node;
      if (collapsed(t) || f.next == tree.child_begin[t + 1]) {
        if (f.last_y > f.y)
          lines += format("<path d=\"M%.1f %.1fV%.1f\"/>\n", connector[t], f.y, f.last_y);
        stack.pop_back();
        continue;
      }
      const int c = tree.children[f.next++];
      const NodeDate date = node_date(params, tree.nodes[t]);
      if (c < 0) {
        f.last_y = draw_language(-c, connector[t], date.dated && age[t] < 0);
        continue;
      }
      SvgText chain;
      const int end = chain_end(c, chain);
      const double y = draw_node(end, chain, connector[t], date.dated && age[c] > age[t]);
      f.last_y = y;
      stack.push_back({end, tree.child_begin[end], y, 0});
    }
  }
};

}  // namespace

void write_tree_svg(ResultFile& file, const RunParameters& params, const ClassificationTree& tree,
                    const LanguageNames& names) {
  const SvgRows layout = svg_rows(tree, SVG_MAX_ROWS);
  Picture p{params, tree, names, layout.collapse_below, standing_ages(params, tree), {}, 0, 0, 0, 0, 0, {}, {}};
  const int count = static_cast<int>(tree.nodes.size());

  // The time axis spans every standing age, interval and known age.
  for (const long long a : p.age) {
    p.oldest = std::max(p.oldest, a);
    p.youngest = std::min(p.youngest, a);
  }
  if (p.has_intervals())
    for (const NodeInterval& i : tree.intervals) {
      if (!i.has_age) continue;
      p.oldest = std::max(p.oldest, static_cast<long long>(std::llround(i.age_high)));
      p.youngest = std::min(p.youngest, static_cast<long long>(std::llround(i.age_low)));
    }
  for (const CalibrationMark& m : tree.calibration_marks) {
    p.oldest = std::max(p.oldest, static_cast<long long>(std::llround(m.known_age)));
    p.youngest = std::min(p.youngest, static_cast<long long>(std::llround(m.known_age)));
  }
  if (p.oldest == p.youngest) p.oldest = p.youngest + 1000;

  // Connectors bottom up (children come after their parents), a little
  // left of those below so that two vertical lines never coincide.
  p.connector.assign(count, 0);
  for (int t = count - 1; t >= 0; --t) {
    double k = p.x_of(p.age[t]);
    if (p.collapsed(t)) k = std::min(k, p.x_of(0));
    for (int i = tree.child_begin[t]; i < tree.child_begin[t + 1] && !p.collapsed(t); ++i) {
      const int c = tree.children[i];
      k = std::min(k, c < 0 ? p.x_of(0) : p.connector[c] - 4);
    }
    p.connector[t] = k;
  }

  // The heading: title, calibration points, the legend; then the rows.
  std::string head;
  const auto head_text = [&](double x, double y, const std::string& t) {
    const SvgText s = svg_text(t);
    head += format("<text x=\"%.1f\" y=\"%.1f\" class=\"note\">", x, y) + s.markup + "</text>\n";
    p.right = std::max(p.right, x + s.cells * SVG_CHAR_ADVANCE);
  };
  double y = 20;
  head_text(10, y, format("Dated classification tree: %d languages, S0 = %d%%, R = %d%%", tree.language_count,
                          params.S0, params.R));
  if (!tree.calibration_marks.empty()) {
    std::string line = "Calibrated (red triangles):";
    const std::size_t shown = std::min<std::size_t>(tree.calibration_marks.size(), 6);
    for (std::size_t i = 0; i < shown; ++i) {
      const CalibrationMark& m = tree.calibration_marks[i];
      line += i ? ", " : " ";
      const std::string_view name = node_label(tree, tree.nodes[m.node]);
      line += m.node == 0 ? "root" : name.empty() ? "(empty)" : std::string(name);
      line += format(" %lld BP", static_cast<long long>(std::llround(m.known_age)));
    }
    if (tree.calibration_marks.size() > shown) line += format(" and %zu more", tree.calibration_marks.size() - shown);
    head_text(10, y += ROW, line);
  }
  struct Key {
    const char* shape;
    const char* text;
  };
  const Key keys[] = {
      {"<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" class=\"dated\"/>\n", "dated node, at its age in years before present"},
      {"<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" class=\"undated\"/>\n",
       "undated, at the oldest age dated below it; one-child ancestors joined by \xE2\x80\xBA"},
      {"<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" class=\"weak\"/>\n", "weak: dated from fewer than 3 pairs"},
      {"<path d=\"M%.1f %.1fm0 -4l4 4l-4 4l-4 -4z\" class=\"younger\"/>\n",
       "dated younger than a group below it: stem and branch in red"},
  };
  for (const Key& key : keys) {
    y += ROW;
    head += format(key.shape, 16.0, y - 4);
    head_text(26, y, key.text);
  }
  if (p.has_intervals()) {
    y += ROW;
    head += format("<rect x=\"10\" y=\"%.1f\" width=\"12\" height=\"6\" class=\"interval\"/>\n", y - 7);
    head_text(26, y, "95 % interval of the age from resampling the meanings");
  }
  if (layout.collapse_below > 0)
    head_text(10, y += ROW, format("Groups of fewer than %d languages are drawn as one row each: %d rows for %d "
                                   "languages.", layout.collapse_below, layout.rows, tree.language_count));
  p.top = y + ROW;
  if (tree.language_count == 0) {
    head_text(10, p.top + ROW, "No retained languages.");
    p.rows = 2;
  } else {
    p.draw();
  }

  // The time axis.
  std::string axis;
  const double axis_y = p.top + ROW * p.rows + 8;
  axis += format("<path d=\"M%.1f %.1fH%.1f\"/>\n", p.x_of(p.oldest), axis_y, p.x_of(p.youngest));
  const long long step = tick_step(p.oldest - p.youngest);
  long long first = p.youngest / step * step;
  if (first < p.youngest) first += step;
  for (long long a = first; a <= p.oldest; a += step) {
    const double x = p.x_of(a);
    const std::string number = std::to_string(a);
    axis += format("<path d=\"M%.1f %.1fV%.1f\"/>\n", x, axis_y, axis_y + 4);
    axis += format("<text x=\"%.1f\" y=\"%.1f\" class=\"tick\">%s</text>\n",
                   x - static_cast<double>(number.size()) * SVG_CHAR_ADVANCE / 2, axis_y + 16, number.c_str());
  }
  const char* axis_label = "years before present (BP)";
  axis += format("<text x=\"%.1f\" y=\"%.1f\" class=\"note\">%s</text>\n",
                 LEFT + TREE_WIDTH / 2 - std::strlen(axis_label) * SVG_CHAR_ADVANCE / 2, axis_y + 32, axis_label);

  const double width = std::ceil(std::max(p.right, LEFT + TREE_WIDTH + 20) + 10);
  const double height = std::ceil(axis_y + 44);
  file.write(format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                    "viewBox=\"0 0 %.0f %.0f\" font-family=\"DejaVu Sans Mono,monospace\" font-size=\"%.0f\">\n",
                    width, height, width, height, SVG_FONT_SIZE));
  file.write("<style>path{fill:none;stroke:#333;stroke-width:1}"
             "path.conflict{stroke:#c0392b;stroke-dasharray:4,2}"
             "path.group{fill:#d8e2ef;stroke:#5a7fa8}"
             "path.guide{stroke:#bbb;stroke-dasharray:1,2}"
             "path.younger{fill:#c0392b;stroke:#c0392b}"
             "path.calibration{fill:#c0392b;stroke:none}"
             "rect.interval{fill:#1f5fa8;fill-opacity:0.25;stroke:none}"
             "circle.dated{fill:#1f5fa8;stroke:#1f5fa8}"
             "circle.weak{fill:#f0b050;stroke:#b06000}"
             "circle.undated{fill:#fff;stroke:#888}"
             "text.node{fill:#1f3f68}"
             "text.note,text.tick{fill:#555}</style>\n");
  file.write(format("<rect width=\"%.0f\" height=\"%.0f\" fill=\"#fff\"/>\n", width, height));
  file.write(head);
  file.write("<g>\n");
  file.write(p.lines);
  file.write(p.marks);
  file.write("</g>\n");
  file.write(axis);
  file.write("</svg>\n");
}

}  // namespace plix
