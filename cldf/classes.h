// Sound classes: every base sound written as its class, so that a word's
// distance counts changes between classes only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cldf/sounds.h"

namespace plix::cldf {

enum class ClassScheme {
  kNone,         // every sound itself
  kDolgopolsky,  // P T S K M N R W J H, vowels V
  kMannerPlace,  // consonants by manner and place (voice ignored), vowels V
};

// "none", "dolgopolsky", "manner-place"; false for another name.
bool parse_scheme(std::string_view name, ClassScheme& scheme);

// The class of one base sound, or empty for a sound the class table does not
// list (it stays itself).
std::string class_of(ClassScheme scheme, std::string_view sound);

// Rewrites units in place: each base sound becomes its class (interned in
// `sounds`), marks are dropped, and repeats of a class within a unit go; a
// sibilant with a stop (an affricate) is the sibilant alone.
void to_classes(ClassScheme scheme, SoundSet& sounds, std::vector<Unit>& units);

}  // namespace plix::cldf
