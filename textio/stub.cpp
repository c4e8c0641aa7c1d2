// PLACEHOLDER until the record units exist; replaced by the textio work.
#include "textio/units.h"
namespace plix {
void begin_read(TextIO&, std::string_view) { throw RunEnd{99}; }
void read_integer(TextIO&, std::int32_t&) { throw RunEnd{99}; }
void read_real(TextIO&, float&) { throw RunEnd{99}; }
void read_character(TextIO&, char&) { throw RunEnd{99}; }
void read_characters(TextIO&, char*, int) { throw RunEnd{99}; }
void end_read(TextIO&) { throw RunEnd{99}; }
void begin_write(TextIO&, std::string_view) { throw RunEnd{99}; }
void write_integer(TextIO&, std::int32_t) { throw RunEnd{99}; }
void write_real(TextIO&, float) { throw RunEnd{99}; }
void write_character(TextIO&, char) { throw RunEnd{99}; }
void end_write(TextIO&) { throw RunEnd{99}; }
void stop_run(TextIO&) { throw RunEnd{99}; }
void stop_run(TextIO&, std::string_view) { throw RunEnd{99}; }
void floating_point_error(TextIO&, FpFault) { throw RunEnd{99}; }
void math_function_error(TextIO&, std::string_view, MathError) { throw RunEnd{99}; }
void fatal_error(TextIO&, std::string_view) { throw RunEnd{99}; }
std::string_view characters_to_text(const char* c, int n) { return {c, static_cast<size_t>(n)}; }
}  // namespace plix
