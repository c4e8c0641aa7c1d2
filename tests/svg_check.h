// Reads a picture of the tree writer and checks its layout: every text's
// box (its length in cells of the picture's one font) inside the canvas and
// clear of every other, marks apart, branches drawn left to right.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "report/tree_output.h"

namespace plix {

struct SvgBox {
  double left, top, right, bottom;
  std::string text;
};

// Cells of a text: one per character, two for East Asian wide ones.
inline int svg_cells(const std::string& text) {
  int cells = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xc0) == 0x80) continue;
    ++cells;
    if (c >= 0xe0) {
      char32_t code = c >= 0xf0 ? c & 0x07 : c & 0x0f;
      for (std::size_t k = i + 1; k < text.size() && (static_cast<unsigned char>(text[k]) & 0xc0) == 0x80; ++k)
        code = code << 6 | (static_cast<unsigned char>(text[k]) & 0x3f);
      cells += (code >= 0x1100 && code <= 0x115f) || (code >= 0x2e80 && code <= 0xa4cf) ||
               (code >= 0xac00 && code <= 0xd7a3) || (code >= 0xf900 && code <= 0xfaff) ||
               (code >= 0xfe30 && code <= 0xfe4f) || (code >= 0xff00 && code <= 0xff60) ||
               (code >= 0xffe0 && code <= 0xffe6) || code >= 0x20000;
    }
  }
  return cells;
}

// What is wrong with the layout, one line per fault; empty when nothing.
inline std::string svg_layout_faults(const std::string& svg) {
  std::string faults;
  std::smatch m;
  if (!std::regex_search(svg, m, std::regex("<svg [^>]*width=\"([0-9.]+)\" height=\"([0-9.]+)\"")))
    return "no canvas size\n";
  const double width = std::stod(m[1]), height = std::stod(m[2]);
  if (svg.find("text-anchor") != std::string::npos) faults += "a text anchored other than at its start\n";
  std::vector<SvgBox> boxes;
  const std::regex text_element("<text x=\"([-0-9.]+)\" y=\"([-0-9.]+)\"[^>]*>([^<]*)</text>");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text_element); it != std::sregex_iterator(); ++it) {
    std::string content = (*it)[3];
    for (const auto& [entity, ch] : {std::pair<std::string, std::string>{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
      for (std::size_t at; (at = content.find(entity)) != std::string::npos;) content.replace(at, entity.size(), ch);
    const double x = std::stod((*it)[1]), y = std::stod((*it)[2]);
    boxes.push_back({x, y - 0.8 * SVG_FONT_SIZE, x + svg_cells(content) * SVG_CHAR_ADVANCE, y + 0.25 * SVG_FONT_SIZE,
                     content});
  }
  std::sort(boxes.begin(), boxes.end(), [](const SvgBox& a, const SvgBox& b) { return a.top < b.top; });
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const SvgBox& a = boxes[i];
    if (a.left < 0 || a.top < 0 || a.right > width || a.bottom > height)
      faults += "outside the canvas: " + a.text + "\n";
    for (std::size_t j = i + 1; j < boxes.size() && boxes[j].top < a.bottom; ++j)
      if (boxes[j].left < a.right && a.left < boxes[j].right) faults += "overlap: " + a.text + " / " + boxes[j].text + "\n";
  }
  struct Circle {
    double x, y, r;
  };
  std::vector<Circle> circles;
  const std::regex circle("<circle cx=\"([-0-9.]+)\" cy=\"([-0-9.]+)\" r=\"([0-9.]+)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), circle); it != std::sregex_iterator(); ++it)
    circles.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3])});
  std::sort(circles.begin(), circles.end(), [](const Circle& a, const Circle& b) { return a.y < b.y; });
  for (std::size_t i = 0; i + 1 < circles.size(); ++i)
    for (std::size_t j = i + 1; j < circles.size() && circles[j].y - circles[i].y < circles[i].r + circles[j].r; ++j)
      if (std::abs(circles[j].x - circles[i].x) < circles[i].r + circles[j].r) faults += "marks on one another\n";
  const std::regex branch("<path d=\"M([-0-9.]+) [-0-9.]+H([-0-9.]+)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), branch); it != std::sregex_iterator(); ++it)
    if (std::stod((*it)[2]) < std::stod((*it)[1])) faults += "a branch drawn right to left\n";
  return faults.substr(0, 2000);
}

}  // namespace plix
