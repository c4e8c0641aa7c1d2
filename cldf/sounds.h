// Sounds of segmented transcriptions: the analysis of one segment into base
// letters and marks, the sound classes used to fold rare sounds together,
// and the choice of one-byte inventory symbols.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace plix::cldf {

enum Mark : std::uint8_t { kNoMark = 0, kQuote = 1, kStar = 2 };

// One sound code of a word: one to three base sounds (ids of a SoundSet),
// each with at most one mark; two or three make a combined sound.
struct Unit {
  std::int32_t sound[3] = {0, 0, 0};
  Mark mark[3] = {kNoMark, kNoMark, kNoMark};
  std::uint8_t count = 0;
  bool operator==(const Unit&) const = default;
};

// The distinct base sounds met, by their UTF-8 text (one code point each).
class SoundSet {
 public:
  std::int32_t intern(std::string_view sound);
  const std::string& text(std::int32_t id) const { return texts_[static_cast<std::size_t>(id)]; }
  std::int32_t size() const { return static_cast<std::int32_t>(texts_.size()); }

 private:
  std::unordered_map<std::string, std::int32_t> ids_;
  std::vector<std::string> texts_;
};

// Appends the units of one token of a Segments cell to `out`: nothing for a
// boundary, a gap or a token without letters; one unit for a segment of up
// to three base letters; a longer one in units of three. A token written
// source/target counts as its target.
void analyse_segment(std::string_view token, SoundSet& sounds, std::vector<Unit>& out);

// Folding keys of a sound, from the finest class to the coarsest: place,
// manner and voice; place and manner; manner. Unknown sounds give "?".
struct SoundClass {
  std::string key[3];
};
SoundClass sound_class(std::string_view sound);

// Folds sounds into classes until at most `capacity` remain. `count` holds
// the occurrences by sound id; the result maps every sound id to the id that
// stands for it (itself when kept). The rarest sound goes first, into the
// most frequent kept sound of its finest shared class.
std::vector<std::int32_t> fold_sounds(const SoundSet& sounds, const std::vector<long>& count,
                                      int capacity);

// One byte per kept sound (ids with representative[id] == id): the sound
// itself when it is a usable ASCII character, else an ASCII letter that
// stands for it, else a free printable ASCII character, else a byte above
// 0x7F. Never blank, ',', '"', '*', '~', '$', '/' or 'X', which have roles in
// the words. Returns the symbol by sound id (0 for folded ids).
std::vector<unsigned char> choose_symbols(const SoundSet& sounds, const std::vector<std::int32_t>& representative,
                                          const std::vector<long>& count);

bool usable_symbol(unsigned char c);

}  // namespace plix::cldf
