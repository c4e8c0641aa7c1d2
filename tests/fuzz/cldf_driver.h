// The check of the CLDF readers' fuzz target, shared with the test that
// replays its corpus. The first byte picks the reader; the rest is its input.
// Bad input must end in InputError, nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cldf/concepts.h"
#include "cldf/csv.h"
#include "cldf/error.h"
#include "cldf/glottolog.h"
#include "cldf/metadata.h"
#include "cldf/sounds.h"

namespace plix::fuzz {

inline void check_cldf(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 4) {
      case 0: {  // CSV, every field also analysed as a segment
        cldf::SoundSet sounds;
        std::vector<cldf::Unit> units;
        cldf::parse_csv(text, "f.csv", data[0] & 4 ? ';' : ',', [&](std::vector<std::string>& f, long) {
          for (const std::string& s : f) cldf::analyse_segment(s, sounds, units);
        });
        break;
      }
      case 1: cldf::parse_metadata(text, "m.json"); break;
      case 2: {
        cldf::Glottolog g;
        g.add_trees(text, "c.nex");
        break;
      }
      default: cldf::parse_concepts(text, "c.tsv"); break;
    }
  } catch (const cldf::InputError&) {
  }
}

}  // namespace plix::fuzz
