#include "textio/errors.h"

namespace plix {

// Every code has a case: a code added without a text is a -Wswitch warning.
std::string_view error_text(ErrorCode code) {
  switch (code) {
    case ErrorCode::none: break;
    case ErrorCode::integer_overflow: return "integer overflow";
    case ErrorCode::integer_invalid: return "invalid integer";
    case ErrorCode::real_too_large: return "real number too large";
    case ErrorCode::real_invalid: return "invalid real number";
    case ErrorCode::real_out_of_range: return "real number out of single-precision range";
    case ErrorCode::character_needs_a: return "character item needs an A edit descriptor";
    case ErrorCode::real_needs_fedg: return "real item needs an F, E, D or G edit descriptor";
    case ErrorCode::integer_needs_i: return "integer item needs an I edit descriptor";
    case ErrorCode::second_hash: return "second '#' in integer";
    case ErrorCode::bad_radix: return "radix not between 2 and 36";
    case ErrorCode::console_line_too_long: return "console line longer than 130 characters";
    case ErrorCode::write_failed: return "write to standard output failed";
    case ErrorCode::device_full: return "no space left on device";
    case ErrorCode::read_failed: return "standard input cannot be read";
    case ErrorCode::end_of_file: return "end of file encountered";
    case ErrorCode::literal_on_input: return "literal in a format used for input";
    case ErrorCode::no_opening_paren: return "format does not begin with '('";
    case ErrorCode::no_closing_paren: return "format ends before its closing ')'";
    case ErrorCode::unknown_descriptor: return "unknown edit descriptor in format";
    case ErrorCode::missing_width: return "missing or zero field width in format";
    case ErrorCode::missing_point: return "missing '.' after field width in format";
    case ErrorCode::missing_digits: return "missing digit count after '.' in format";
    case ErrorCode::zero_repeat: return "repeat count of zero in format";
    case ErrorCode::repeat_not_allowed: return "repeat count not allowed here in format";
    case ErrorCode::missing_position: return "missing or zero column or count in format";
    case ErrorCode::bad_scale_factor: return "malformed scale factor in format";
    case ErrorCode::unterminated_literal: return "unterminated literal in format";
    case ErrorCode::bad_hollerith: return "H count missing or past the end of the format";
    case ErrorCode::nested_too_deep: return "groups nested too deeply in format";
    case ErrorCode::format_too_long: return "format too long";
    case ErrorCode::number_too_large: return "number too large in format";
    case ErrorCode::missing_exponent_width: return "missing exponent width after E in format";
    case ErrorCode::no_data_edit: return "format has no edit descriptor for the item";
    case ErrorCode::misplaced_comma: return "misplaced comma in format";
      return "format repeats without reaching an edit descriptor for the item";
  }
  return "input/output error";
}

std::string_view fp_fault_text(FpFault kind) {
  if (kind == FpFault::divide_by_zero) return "divide by zero";
  if (kind == FpFault::overflow) return "overflow";
  return "invalid";
}

std::string_view math_error_text(MathError kind) {
  if (kind == MathError::sing) return "SING";
  if (kind == MathError::overflow) return "OVERFLOW";
  return "DOMAIN";
}

}  // namespace plix
