#include "textio/editing.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "textio/format.h"

namespace plix {

namespace {

bool is_exponent_letter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return 99;
}

// Significant digits kept for the decimal-to-binary conversion; with a
// sticky digit for anything dropped this rounds exactly as the full string.
constexpr int MAX_MANTISSA = 800;

// The 17 significant digits of |x| (nonzero, finite) and n with
// |x| = 0.D1D2...D17 * 10^n.
int decimal_digits(double x, char digits[17]) {
  char text[40];
  std::snprintf(text, sizeof text, "%.16e", std::fabs(x));
  digits[0] = text[0];
  std::memcpy(digits + 1, text + 2, 16);
  return std::atoi(text + 19) + 1;
}

// Keeps `count` significant digits (at most 7), rounding on the first digit
// dropped. A count of 0 keeps the single digit 1 one place higher when the
// first digit is 5 or more. Returns the digits kept; 0 means the value is 0.
int round_digits(char digits[17], int count, std::int64_t& n) {
  if (count <= 0) {
    if (count == 0 && digits[0] >= '5') {
      digits[0] = '1';
      ++n;
      return 1;
    }
    return 0;
  }
  int kept = count < 7 ? count : 7;
  if (digits[kept] >= '5') {
    int i = kept - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0) {
      digits[0] = '1';
      ++n;
    } else {
      ++digits[i];
    }
  }
  for (int i = 0; i < kept; ++i)
    if (digits[i] != '0') return kept;
  return 0;
}

void fill(char* out, std::int32_t w, char c) {
  std::memset(out, c, static_cast<std::size_t>(w));
}

}  // namespace

ErrorCode collect_numeric_field(const char* rec, std::int32_t len, std::int32_t& pos,
                                std::int32_t w, bool blank_zero, bool real, char* field, std::int32_t& n) {
  n = 0;
  bool after_exponent_letter = false;
  for (std::int32_t k = 0; k < w && pos < len; ++k) {
    char c = rec[pos++];
    if (c == ' ' || c == '\t') {
      if (blank_zero && n > 0 && !after_exponent_letter) field[n++] = '0';
      continue;
    }
    if (c == ',') break;
    if (c == 26) return ErrorCode::end_of_file;
    if (n == 0) {
      if (!real && c == '0') continue;
      if (real && (c == '+' || c == '-')) {
        field[n++] = c;
        field[n++] = '0';
        continue;
      }
      if (real && c == '.') field[n++] = '0';
    }
    field[n++] = c;
    after_exponent_letter = real && is_exponent_letter(c);
  }
  return ErrorCode::none;
}

ErrorCode parse_integer_field(const char* f, std::int32_t n, std::int32_t& value) {
  std::int32_t i = 0;
  bool negative = false;
  if (n > 0 && (f[0] == '+' || f[0] == '-')) {
    negative = f[0] == '-';
    i = 1;
  }
  const std::int32_t start = i;
  std::int64_t magnitude = 0;
  int base = 10;
  bool radix = false;
  for (; i < n; ++i) {
    if (f[i] == '#') {
      if (radix) return ErrorCode::second_hash;
      radix = true;
      base = i == start ? 16 : static_cast<int>(magnitude);
      if (base < 2 || base > 36) return ErrorCode::bad_radix;
      magnitude = 0;
      continue;
    }
    int v = digit_value(f[i]);
    if (v >= base) return ErrorCode::integer_invalid;
    magnitude = magnitude * base + v;
    if (magnitude > 2147483648LL) {
      // Digits that a '#' follows are a radix, however many there are.
      if (!radix) {
        std::int32_t k = i + 1;
        while (k < n && f[k] >= '0' && f[k] <= '9') ++k;
        if (k < n && f[k] == '#') return ErrorCode::bad_radix;
      }
      return ErrorCode::integer_overflow;
    }
  }
  if (magnitude == 2147483648LL && !negative) return ErrorCode::integer_overflow;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return ErrorCode::none;
}

ErrorCode parse_real_field(const char* f, std::int32_t n, std::int32_t d, std::int32_t scale,
                           float& value) {
  if (n == 0) {
    value = 0.0f;
    return ErrorCode::none;
  }
  char text[MAX_MANTISSA + 40];
  int t = 0;
  std::int32_t i = 0;
  if (f[0] == '+' || f[0] == '-') {
    if (f[0] == '-') text[t++] = '-';
    i = 1;
  }
  // All digits form the integer M; value = M * 10^exponent.
  int kept = 0;
  bool any_digit = false, point = false, sticky = false;
  std::int64_t exponent = 0, fraction_digits = 0;
  for (; i < n; ++i) {
    char c = f[i];
    if (c == '.') {
      if (point) return ErrorCode::real_invalid;
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    any_digit = true;
    if (point) ++fraction_digits;
    if (kept == 0 && c == '0') continue;
    if (kept < MAX_MANTISSA) {
      text[t++] = c;
      ++kept;
    } else {
      ++exponent;
      if (c != '0') sticky = true;
    }
  }
  if (!any_digit) return ErrorCode::real_invalid;
  bool has_exponent = false;
  if (i < n) {
    char c = f[i];
    if (is_exponent_letter(c))
      ++i;
    else if (c != '+' && c != '-')
      return ErrorCode::real_invalid;
    bool exponent_negative = false;
    if (i < n && (f[i] == '+' || f[i] == '-')) exponent_negative = f[i++] == '-';
    if (i >= n) return ErrorCode::real_invalid;
    std::int64_t e = 0;
    for (; i < n; ++i) {
      if (f[i] < '0' || f[i] > '9') return ErrorCode::real_invalid;
      if (e < 1000000000) e = e * 10 + (f[i] - '0');
    }
    exponent += exponent_negative ? -e : e;
    has_exponent = true;
  }
  exponent -= point ? fraction_digits : d;
  if (!has_exponent) exponent -= scale;
  if (kept == 0) {
    value = t > 0 ? -0.0f : 0.0f;
    return ErrorCode::none;
  }
  if (sticky) {
    text[t++] = '1';
    --exponent;
  }
  if (exponent > 100000) exponent = 100000;
  if (exponent < -100000) exponent = -100000;
  t += std::snprintf(text + t, sizeof text - static_cast<std::size_t>(t), "e%lld",
                     static_cast<long long>(exponent));
  errno = 0;
  double v = std::strtod(text, nullptr);
  if (errno == ERANGE && std::isinf(v)) return ErrorCode::real_too_large;
  if (std::fabs(v) > 3.402823466e38) return ErrorCode::real_out_of_range;
  value = static_cast<float>(v);
  return ErrorCode::none;
}

void edit_integer(std::int64_t value, std::int32_t w, std::int32_t m, bool plus, char* out) {
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char digits[20];
  int count = 0;
  while (magnitude > 0) {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  std::int64_t shown = count > m ? count : m;
  std::int64_t length = shown + ((value < 0 || plus) ? 1 : 0);
  if (length > w) return fill(out, w, '*');
  fill(out, w, ' ');
  char* p = out + (w - length);
  if (value < 0)
    *p++ = '-';
  else if (plus)
    *p++ = '+';
  for (std::int64_t k = count; k < shown; ++k) *p++ = '0';
  while (count > 0) *p++ = digits[--count];
}

void edit_fixed(float value, std::int32_t w, std::int32_t d, std::int32_t scale, bool plus,
                char* out) {
  if (!std::isfinite(value)) return fill(out, w, '*');
  double x = value;
  char digits[17];
  std::int64_t n = 0;
  int kept = 0;
  if (x != 0.0) {
    n = decimal_digits(x, digits) + static_cast<std::int64_t>(scale);
    std::int64_t wanted = n + d;
    if (wanted >= 0) kept = round_digits(digits, wanted > 7 ? 7 : static_cast<int>(wanted), n);
  }
  bool negative = kept > 0 && std::signbit(x);
  auto digit = [&](std::int64_t p) { return (p >= 1 && p <= kept) ? digits[p - 1] : '0'; };
  std::int64_t integer_digits = (kept > 0 && n > 0) ? n : 0;
  bool lone_zero = integer_digits == 0 && d == 0;
  std::int64_t length = ((negative || plus) ? 1 : 0) + integer_digits + (lone_zero ? 1 : 0) + 1 + d;
  if (length > w) return fill(out, w, '*');
  fill(out, w, ' ');
  char* p = out + (w - length);
  if (negative)
    *p++ = '-';
  else if (plus)
    *p++ = '+';
  for (std::int64_t k = 1; k <= integer_digits; ++k) *p++ = digit(k);
  if (lone_zero) *p++ = '0';
  *p++ = '.';
  for (std::int64_t j = 1; j <= d; ++j) *p++ = digit(n + j);
}

void edit_exponent(float value, std::int32_t w, std::int32_t d, std::int32_t e, std::int32_t scale,
                   bool plus, char letter, char* out) {
  if (!std::isfinite(value)) return fill(out, w, '*');
  // Significant digits: d + 1 with k > 0 digits before the point, d + k for k <= 0.
  std::int64_t significant =
      scale > 0 ? static_cast<std::int64_t>(d) + 1 : static_cast<std::int64_t>(d) + scale;
  if (significant <= 0 || (scale > 0 && scale > significant)) return fill(out, w, '*');
  double x = value;
  char digits[17];
  std::int64_t n = 0;
  int kept = 0;
  if (x != 0.0) {
    n = decimal_digits(x, digits);
    kept = round_digits(digits, significant > 7 ? 7 : static_cast<int>(significant), n);
  }
  bool negative = kept > 0 && std::signbit(x);
  std::int64_t shown_exponent = kept > 0 ? n - scale : 0;
  std::int64_t magnitude = shown_exponent < 0 ? -shown_exponent : shown_exponent;
  int exponent_digits = e > 0 ? e : (magnitude <= 99 ? 2 : 3);
  bool with_letter = e > 0 || magnitude <= 99;
  std::int64_t limit = 1;
  for (int k = 0; k < exponent_digits && limit <= magnitude; ++k) limit *= 10;
  if (magnitude >= limit) return fill(out, w, '*');
  auto digit = [&](std::int64_t p) { return (p >= 1 && p <= kept) ? digits[p - 1] : '0'; };
  std::int64_t before = scale > 0 ? scale : 0;
  std::int64_t after = scale > 0 ? d - scale + 1 : d;
  std::int64_t length = ((negative || plus) ? 1 : 0) + before + 1 + after + (with_letter ? 1 : 0) +
                        1 + exponent_digits;
  bool leading_zero = before == 0 && length < w;
  if (leading_zero) ++length;
  if (length > w) return fill(out, w, '*');
  fill(out, w, ' ');
  char* p = out + (w - length);
  if (negative)
    *p++ = '-';
  else if (plus)
    *p++ = '+';
  std::int64_t position = 1;
  for (std::int64_t k = 0; k < before; ++k) *p++ = digit(position++);
  if (leading_zero) *p++ = '0';
  *p++ = '.';
  for (std::int64_t k = 0; k < after; ++k) {
    if (scale < 0 && k < -scale)
      *p++ = '0';
    else
      *p++ = digit(position++);
  }
  if (with_letter) *p++ = letter;
  *p++ = shown_exponent < 0 ? '-' : '+';
  for (int k = exponent_digits - 1; k >= 0; --k) {
    std::int64_t v = magnitude;
    for (int j = 0; j < k; ++j) v /= 10;
    *p++ = static_cast<char>('0' + v % 10);
  }
}

void edit_general(float value, std::int32_t w, std::int32_t d, std::int32_t e, std::int32_t scale,
                  bool plus, char* out) {
  std::int64_t trailing = e > 0 ? std::int64_t{e} + 2 : 4;
  if (std::isfinite(value) && w > trailing && d > 0) {
    std::int64_t n = 1;
    bool fixed = value == 0.0f;
    if (!fixed) {
      char digits[17];
      n = decimal_digits(value, digits);
      fixed = round_digits(digits, d > 7 ? 7 : d, n) > 0 && n >= 0 && n <= d;
    }
    if (fixed) {
      edit_fixed(value, static_cast<std::int32_t>(w - trailing), static_cast<std::int32_t>(d - n),
                 0, plus, out);
      fill(out + (w - trailing), trailing, ' ');
      return;
    }
  }
  edit_exponent(value, w, d, e, scale, plus, 'E', out);
}

}  // namespace plix
