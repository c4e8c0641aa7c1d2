// Every run-time error of the program, with its number. The texts stand
// beside the codes in textio/errors.cpp; the reports that carry them are
// made in textio/output.cpp.
#pragma once

#include <string_view>

namespace plix {

// Errors of record input and output and of format syntax, reported in the
// "run-time error F<number>: READ(CON)" or "WRITE(CON)" frame. Functions
// that can fail return one; none means success.
enum class ErrorCode : int {
  none = 0,
  // conversion of a field
  integer_overflow = 6100,
  integer_invalid = 6101,
  real_too_large = 6102,
  real_invalid = 6103,
  real_out_of_range = 6104,
  // an item against the edit descriptor it meets
  character_needs_a = 6205,
  real_needs_fedg = 6206,
  integer_needs_i = 6207,
  // integer field syntax
  second_hash = 6302,
  bad_radix = 6303,
  // the streams
  console_line_too_long = 6407,
  write_failed = 6421,
  device_full = 6422,
  read_failed = 6500,
  end_of_file = 6501,
  literal_on_input = 6509,
  // format syntax, reported when interpretation reaches the fault
  no_opening_paren = 6970,
  no_closing_paren = 6971,
  unknown_descriptor = 6972,
  missing_width = 6973,
  missing_point = 6974,
  missing_digits = 6975,
  zero_repeat = 6976,
  repeat_not_allowed = 6977,
  missing_position = 6978,
  bad_scale_factor = 6979,
  unterminated_literal = 6980,
  bad_hollerith = 6981,
  nested_too_deep = 6982,
  format_too_long = 6983,
  number_too_large = 6984,
  missing_exponent_width = 6985,
  no_data_edit = 6986,
  misplaced_comma = 6988,
};

// The second line of the report: "- <text>".
std::string_view error_text(ErrorCode code);

// Kinds of trapped floating-point fault, with the numbers of their
// "run-time error M<number>: MATH" reports.
enum class FpFault { none = 0, invalid = 6101, divide_by_zero = 6103, overflow = 6104 };

// "invalid", "divide by zero", "overflow".
std::string_view fp_fault_text(FpFault kind);

// Kinds of math-function argument error, with the numbers of their reports.
enum class MathError { domain = 6201, sing = 6202, overflow = 6203 };

// "DOMAIN", "SING", "OVERFLOW".
std::string_view math_error_text(MathError kind);

}  // namespace plix
