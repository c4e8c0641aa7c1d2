#include "cldf/classes.h"

namespace plix::cldf {

bool parse_scheme(std::string_view name, ClassScheme& scheme) {
  if (name == "none") scheme = ClassScheme::kNone;
  else if (name == "dolgopolsky") scheme = ClassScheme::kDolgopolsky;
  else if (name == "manner-place") scheme = ClassScheme::kMannerPlace;
  else return false;
  return true;
}

std::string class_of(ClassScheme scheme, std::string_view sound) {
  const SoundClass c = sound_class(sound);
  if (c.key[0] == "?" || scheme == ClassScheme::kNone) return {};
  const char manner = c.key[0][0], place = c.key[0][1];
  if (manner == 'V') return "V";
  if (scheme == ClassScheme::kMannerPlace) return c.key[1];
  // Dolgopolsky's classes from manner and place. The table puts θ and ð
  // with s and z (dental or alveolar fricatives); they are not sibilants.
  const bool non_sibilant = sound == "\u03B8" || sound == "\u00F0";
  switch (manner) {
    case 'P':
    case 'F':
      switch (place) {
        case 'l': return "P";
        case 'd': return manner == 'P' || non_sibilant ? "T" : "S";
        case 'r': return manner == 'P' ? "T" : "S";
        case 's': return "S";
        case 'p': case 'v': case 'u': return "K";
        default: return "H";  // pharyngeal and glottal
      }
    case 'N': return place == 'l' ? "M" : "N";
    case 'R': case 'L': return "R";
    case 'G': return place == 'p' ? "J" : "W";
    default: return "K";  // clicks
  }
}

void to_classes(ClassScheme scheme, SoundSet& sounds, std::vector<Unit>& units) {
  if (scheme == ClassScheme::kNone) return;
  for (Unit& u : units) {
    Unit out;
    bool sibilant = false, stop = false;
    for (int k = 0; k < u.count; ++k) {
      std::string cls = class_of(scheme, sounds.text(u.sound[k]));
      std::int32_t id = cls.empty() ? u.sound[k] : sounds.intern(cls);
      if (scheme == ClassScheme::kDolgopolsky) {
        sibilant |= cls == "S";
        stop |= cls == "T" || cls == "K";
      }
      if (out.count > 0 && out.sound[out.count - 1] == id) continue;
      out.sound[out.count++] = id;
    }
    if (sibilant && stop) {  // an affricate: the sibilant
      out = Unit{};
      out.sound[0] = sounds.intern("S");
      out.count = 1;
    }
    u = out;
  }
}

}  // namespace plix::cldf
