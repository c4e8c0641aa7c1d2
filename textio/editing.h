// Field editing: pure functions from the bytes of a field to a value and
// from a value to the characters of a field. Functions that can fail return
// ErrorCode::none or the run-time error.
#pragma once

#include <cstdint>

#include "textio/errors.h"

namespace plix {

// Takes the characters of one numeric input field from record bytes
// rec[pos..len) (len is where the record's data ends), at most w columns.
// Blanks and TAB are dropped, or count as zeros in zero mode once the field
// has begun (but not right after an exponent letter); a comma ends the
// field and is consumed; the record end ends it and stays. In an integer
// field leading zeros are dropped; in a real field a leading sign or point
// gets a 0 inserted after or before it. `field` needs room for
// min(w, len - pos) + 2 bytes. Returns none, or the end-of-file error for a Ctrl-Z.
ErrorCode collect_numeric_field(const char* rec, std::int32_t len, std::int32_t& pos,
                                std::int32_t w, bool blank_zero, bool real, char* field,
                                std::int32_t& n);

// An optionally signed decimal integer, or the radix form b#digits (b from
// 2 to 36; a '#' without digits before it means 16). No characters give 0.
ErrorCode parse_integer_field(const char* field, std::int32_t n, std::int32_t& value);

// An optionally signed number with an optional point and exponent. Without
// a point the last d digits are the fraction; without an exponent the scale
// factor k divides by 10^k. Converted to double, then stored as single.
ErrorCode parse_real_field(const char* field, std::int32_t n, std::int32_t d, std::int32_t scale,
                           float& value);

// Output editing into exactly w characters (right-justified, asterisks when
// the text does not fit).
void edit_integer(std::int64_t value, std::int32_t w, std::int32_t m, bool plus, char* out);
void edit_fixed(float value, std::int32_t w, std::int32_t d, std::int32_t scale, bool plus,
                char* out);
void edit_exponent(float value, std::int32_t w, std::int32_t d, std::int32_t e, std::int32_t scale,
                   bool plus, char letter, char* out);
// G: fixed form for magnitudes from 0.1 up to 10^d, otherwise exponent form.
void edit_general(float value, std::int32_t w, std::int32_t d, std::int32_t e, std::int32_t scale,
                  bool plus, char* out);

}  // namespace plix
