#include "report/tree_output.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cmath>
#include <cstdlib>
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

// Text for SVG: markup characters escaped, control characters and bytes
// that are not UTF-8 replaced.
void write_svg_text(ResultFile& file, std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c == '&') {
      file.write("&amp;");
    } else if (c == '<') {
      file.write("&lt;");
    } else if (c == '>') {
      file.write("&gt;");
    } else if (c < 0x20 || c == 0x7f) {
      file.write("?", 1);
    } else if (c < 0x80) {
      file.write(text.data() + i, 1);
    } else {
      // A well-formed sequence of two to four bytes, or one replacement.
      const int length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
      bool ok = length != 0 && c <= 0xf4 && i + length <= n;
      for (int k = 1; ok && k < length; ++k) ok = (s[i + k] & 0xc0) == 0x80;
      if (ok && length == 3) ok = !(c == 0xe0 && s[i + 1] < 0xa0) && !(c == 0xed && s[i + 1] >= 0xa0);
      if (ok && length == 4) ok = !(c == 0xf0 && s[i + 1] < 0x90) && !(c == 0xf4 && s[i + 1] >= 0x90);
      if (ok) {
        file.write(text.data() + i, static_cast<std::size_t>(length));
        i += static_cast<std::size_t>(length);
        continue;
      }
      file.write("\xEF\xBF\xBD");
    }
    ++i;
  }
}

// Characters shown for a text: UTF-8 continuation bytes take no room.
int shown_length(std::string_view text) {
  int n = 0;
  for (const char ch : text) n += (static_cast<unsigned char>(ch) & 0xc0) != 0x80;
  return n;
}

constexpr double ROW = 14, FONT_WIDTH = 6.6, TREE_WIDTH = 640, LEFT = 120, TOP = 56,
                 AXIS = 46;

struct Picture {
  ResultFile& file;
  const RunParameters& params;
  const ClassificationTree& tree;
  const LanguageNames& names;
  int collapse_below;
  std::vector<long long> shown_age;  // age at which each node is drawn
  std::vector<double> y;             // row position of each node
  long long oldest = 0, youngest = 0;
  int next_row = 0;

  double x_of(long long age) const {
    return LEFT + TREE_WIDTH * static_cast<double>(oldest - age) /
                      static_cast<double>(oldest - youngest);
  }
  double row_y(int row) const { return TOP + ROW * row + ROW / 2; }

  void put(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char text[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) file.write(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
  }

  bool collapsed(int t) const { return t != 0 && tree.nodes[t].languages < collapse_below; }

  // Rows first: every node's y is the middle of its first and last child.
  void place(int t) {
    if (collapsed(t)) {
      y[t] = row_y(next_row++);
      return;
    }
    double first = 0, last = 0;
    for (int k = tree.child_begin[t]; k < tree.child_begin[t + 1]; ++k) {
      const int c = tree.children[k];
      double cy;
      if (c < 0) {
        cy = row_y(next_row++);
      } else {
        place(c);
        cy = y[c];
      }
      if (k == tree.child_begin[t]) first = cy;
      last = cy;
    }
    y[t] = (first + last) / 2;
  }

  void label_row(double ly, std::string_view name, int languages) {
    // Right of everything: a node younger than 0 BP lies right of the
    // languages, which a dotted guide then joins to their names.
    if (youngest < 0) put("<path d=\"M%.1f %.1fH%.1f\" class=\"guide\"/>\n", x_of(0), ly, x_of(youngest) + 4);
    put("<text x=\"%.1f\" y=\"%.1f\">", x_of(youngest) + 6, ly + 4);
    write_svg_text(file, name);
    if (languages > 0) put(" (%d languages)", languages);
    file.write("</text>\n");
  }

  void draw(int t) {
    const TreeNode& node = tree.nodes[t];
    const NodeDate date = node_date(params, node);
    const double x = x_of(shown_age[t]);
    if (collapsed(t)) {
      put("<path d=\"M%.1f %.1fL%.1f %.1fL%.1f %.1fZ\" class=\"group\"/>\n", x, y[t], x_of(0),
          y[t] - ROW * 0.35, x_of(0), y[t] + ROW * 0.35);
      ++next_row;
      label_row(y[t], node_label(tree, node), node.languages);
    } else {
      double first = 0, last = 0;
      for (int k = tree.child_begin[t]; k < tree.child_begin[t + 1]; ++k) {
        const int c = tree.children[k];
        double cy;
        long long age = 0;
        if (c < 0) {
          cy = row_y(next_row++);
          label_row(cy, language_name(names, -c), 0);
        } else {
          draw(c);
          cy = y[c];
          age = shown_age[c];
        }
        put("<path d=\"M%.1f %.1fH%.1f\"/>\n", x, cy, x_of(age));
        if (k == tree.child_begin[t]) first = cy;
        last = cy;
      }
      put("<path d=\"M%.1f %.1fV%.1f\"%s/>\n", x, first, last, date.dated ? "" : " class=\"undated\"");
    }
    put("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" class=\"%s\"/>\n", x, y[t],
        date.dated ? "dated" : "undated");
    // Left of a dated node, above the branch into it; right of an undated
    // one, which shares its place with its oldest child.
    if (date.dated) {
      put("<text x=\"%.1f\" y=\"%.1f\" class=\"node\" text-anchor=\"end\">", x - 4, y[t] - 4);
    } else {
      put("<text x=\"%.1f\" y=\"%.1f\" class=\"node\" text-anchor=\"start\">", x + 5, y[t] + 12);
    }
    if (t != 0) {
      const std::string_view label = node_label(tree, node);
      write_svg_text(file, label.empty() ? std::string_view("(empty)") : label);
      file.write(" ", 1);
    }
    if (date.dated) {
      put("%d BP", date.age);
    } else {
      file.write("undated");
    }
    file.write("</text>\n");
  }
};

// A tick step of 1, 2 or 5 times a power of ten, for about six ticks.
long long tick_step(long long span) {
  long long step = 1;
  for (;;) {
    for (const long long m : {1LL, 2LL, 5LL})
      if (span / (step * m) <= 6) return step * m;
    step *= 10;
  }
}

}  // namespace

void write_tree_svg(ResultFile& file, const RunParameters& params, const ClassificationTree& tree,
                    const LanguageNames& names) {
  const SvgRows layout = svg_rows(tree, SVG_MAX_ROWS);
  Picture p{file, params, tree, names, layout.collapse_below, {}, {}, 0, 0, 0};
  const int count = static_cast<int>(tree.nodes.size());

  // An undated node is drawn at the age of its oldest child; languages at 0.
  p.shown_age.assign(count, 0);
  for (int t = count - 1; t >= 0; --t) {
    const NodeDate date = node_date(params, tree.nodes[t]);
    long long age = 0;
    for (int k = tree.child_begin[t]; k < tree.child_begin[t + 1]; ++k) {
      const int c = tree.children[k];
      age = std::max(age, c < 0 ? 0 : p.shown_age[c]);
    }
    p.shown_age[t] = date.dated ? date.age : age;
    p.oldest = std::max(p.oldest, p.shown_age[t]);
    p.youngest = std::min(p.youngest, p.shown_age[t]);
  }
  if (p.oldest == p.youngest) p.oldest = p.youngest + 1000;

  // Width for the longest row text.
  int longest = 24;
  for (int l = 1; l <= tree.language_count; ++l)
    longest = std::max(longest, shown_length(language_name(names, l)));
  if (layout.collapse_below > 0)
    for (int t = 1; t < count; ++t) longest = std::max(longest, shown_length(node_label(tree, tree.nodes[t])) + 16);
  const double width = LEFT + TREE_WIDTH + 6 + FONT_WIDTH * longest + 20;
  const double height = TOP + ROW * std::max(layout.rows, 1) + AXIS;

  p.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
        "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" font-size=\"11\">\n",
        width, height, width, height);
  file.write("<style>path{fill:none;stroke:#333;stroke-width:1}"
             "path.undated{stroke:#888;stroke-dasharray:3,2}"
             "path.group{fill:#d8e2ef;stroke:#5a7fa8}"
             "path.guide{stroke:#bbb;stroke-dasharray:1,2}"
             "circle.dated{fill:#1f5fa8;stroke:#1f5fa8}"
             "circle.undated{fill:#fff;stroke:#888}"
             "text.node{font-size:10px;fill:#1f3f68}"
             "text.note{fill:#555}</style>\n");
  p.put("<rect width=\"%.0f\" height=\"%.0f\" fill=\"#fff\"/>\n", width, height);
  p.put("<text x=\"10\" y=\"18\" font-size=\"13\">Dated classification tree: %d languages, "
        "S0 = %d%%, R = %d%%</text>\n",
        tree.language_count, params.S0, params.R);
  file.write("<text x=\"10\" y=\"34\" class=\"note\">Filled: node dated, at its age in years "
             "before present. Hollow, dashed: undated, drawn at its oldest child.</text>\n");
  if (layout.collapse_below > 0)
    p.put("<text x=\"10\" y=\"48\" class=\"note\">Groups of fewer than %d languages are drawn as "
          "one row each: %d rows for %d languages.</text>\n",
          layout.collapse_below, layout.rows, tree.language_count);
  if (tree.language_count == 0) {
    p.put("<text x=\"10\" y=\"%.1f\">No retained languages.</text>\n", TOP + ROW);
  } else {
    p.y.assign(count, 0);
    p.place(0);
    p.next_row = 0;
    file.write("<g>\n");
    p.draw(0);
    file.write("</g>\n");
  }

  // The time axis.
  const double axis_y = TOP + ROW * std::max(layout.rows, 1) + 8;
  p.put("<path d=\"M%.1f %.1fH%.1f\"/>\n", p.x_of(p.oldest), axis_y, p.x_of(p.youngest));
  const long long step = tick_step(p.oldest - p.youngest);
  long long first = p.youngest / step * step;
  if (first < p.youngest) first += step;
  for (long long age = first; age <= p.oldest; age += step) {
    const double x = p.x_of(age);
    p.put("<path d=\"M%.1f %.1fV%.1f\"/>\n", x, axis_y, axis_y + 4);
    p.put("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%lld</text>\n", x, axis_y + 16, age);
  }
  p.put("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" class=\"note\">years before present "
        "(BP)</text>\n",
        LEFT + TREE_WIDTH / 2, axis_y + 32);
  file.write("</svg>\n");
}

}  // namespace plix
