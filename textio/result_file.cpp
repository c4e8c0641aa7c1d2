#include "textio/result_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace plix {

ResultFile::~ResultFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
}

int ResultFile::open(std::string path) {
  path_ = std::move(path);
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) return error_ = EISDIR;
    // A device or a pipe (/dev/stdout, a named pipe) is written in place:
    // renaming onto it would replace the node itself.
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) return error_ = errno;
  } else {
    for (int attempt = 0; fd_ < 0; ++attempt) {
      char suffix[48];
      std::snprintf(suffix, sizeof suffix, ".%ld-%d.tmp", static_cast<long>(::getpid()), attempt);
      temporary_ = path_;
      temporary_ += suffix;
      fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && (errno != EEXIST || attempt == 100)) {
        error_ = errno;
        temporary_.clear();
        return error_;
      }
    }
  }
  buffer_.reset(new char[BUFFER_BYTES]);
  capacity_ = BUFFER_BYTES;
  return 0;
}

void ResultFile::put(const char* bytes, std::size_t size) {
  while (size > 0 && error_ == 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0) {
      if (errno != EINTR) error_ = errno;
      continue;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

void ResultFile::flush() {
  if (fd_ >= 0) put(buffer_.get(), used_);
  used_ = 0;
}

void ResultFile::write_through(const char* bytes, std::size_t size) {
  flush();
  if (size >= capacity_) {
    if (fd_ >= 0) put(bytes, size);
  } else {
    std::memcpy(buffer_.get(), bytes, size);
    used_ = size;
  }
}

int ResultFile::close() {
  if (fd_ < 0) return error_;
  flush();
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  closed_ = true;
  return error_;
}

int ResultFile::commit() {
  if (!closed_ || error_ != 0) return error_ != 0 ? error_ : EBADF;
  if (temporary_.empty() || committed_) return 0;
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) return errno;
  committed_ = true;
  return 0;
}

std::size_t format_unsigned(char* out, unsigned long long value) {
  char digits[20];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  return n;
}

namespace {

using u128 = unsigned __int128;

u128 power_of_ten(int k) {
  u128 p = 1;
  while (k-- > 0) p *= 10;
  return p;
}

constexpr std::uint64_t POWERS_OF_TEN[] = {1,          10,          100,          1000,
                                           10000,      100000,      1000000,      10000000,
                                           100000000,  1000000000,  10000000000,  100000000000};

// floor(m * 2^e2 * 10^k) and whether the rest is below, at or above one
// half (-1, 0, 1); false when the product leaves 128 bits.
bool scaled(std::uint32_t m, int e2, int k, std::uint64_t& q, int& rest) {
  if (k >= 0 && k <= 11 && e2 < 0 && e2 > -64) {
    // The usual case, in 64 bits: m * 10^k < 2^24 * 10^11 < 2^61.
    const std::uint64_t num = m * POWERS_OF_TEN[k];
    const int sh = -e2;
    q = num >> sh;
    const std::uint64_t r = num - (q << sh), half = std::uint64_t(1) << (sh - 1);
    rest = r < half ? -1 : r == half ? 0 : 1;
    return true;
  }
  if (k >= 0) {
    if (k > 31) return false;
    const u128 num = static_cast<u128>(m) * power_of_ten(k);
    if (e2 >= 0) {
      if (e2 > 60) return false;
      const u128 v = num << e2;
      if (v >> 64) return false;
      q = static_cast<std::uint64_t>(v);
      rest = -1;
      return true;
    }
    const int sh = -e2;
    if (sh >= 127) return false;
    const u128 v = num >> sh;
    if (v >> 64) return false;
    q = static_cast<std::uint64_t>(v);
    const u128 r = num - (v << sh), half = static_cast<u128>(1) << (sh - 1);
    rest = r < half ? -1 : r == half ? 0 : 1;
    return true;
  }
  if (-k > 38 || e2 < 0 || e2 > 100) return false;
  const u128 num = static_cast<u128>(m) << e2, den = power_of_ten(-k);
  const u128 v = num / den;
  if (v >> 64) return false;
  q = static_cast<std::uint64_t>(v);
  const u128 r2 = 2 * (num - v * den);
  rest = r2 < den ? -1 : r2 == den ? 0 : 1;
  return true;
}

}  // namespace

std::size_t format_significant(char* out, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  std::size_t n = 0;
  const std::uint32_t exponent = (bits >> 23) & 0xff;
  std::uint32_t m = bits & 0x7fffff;
  if (exponent == 0xff || (exponent == 0 && m == 0)) {
    return static_cast<std::size_t>(std::snprintf(out, SIGNIFICANT_TEXT, "%.9g", value));
  }
  if (bits >> 31) out[n++] = '-';
  int e2 = -149;
  if (exponent != 0) {
    m |= 1u << 23;
    e2 = static_cast<int>(exponent) - 150;
  }
  // The decimal exponent E with 10^E <= |value| < 10^(E+1): a first guess
  // from the binary exponent (|value| >= 2^(bit length of m - 1 + e2)),
  // corrected by the exact digits.
  const int top = 31 - __builtin_clz(m) + e2;
  int e10 = (top * 78913) >> 18;  // floor(top * log10(2)) for |top| < 2^12
  std::uint64_t q = 0;
  int rest = 0;
  for (int tries = 0;; ++tries) {
    if (tries == 4 || !scaled(m, e2, 8 - e10, q, rest)) {
      return static_cast<std::size_t>(std::snprintf(out, SIGNIFICANT_TEXT, "%.9g", value));
    }
    if (q < 100000000u) {
      --e10;
    } else if (q >= 1000000000u) {
      ++e10;
    } else {
      break;
    }
  }
  // Round half to even on the exact rest, as printf does.
  if (rest > 0 || (rest == 0 && (q & 1))) ++q;
  if (q == 1000000000u) {
    q = 100000000u;
    ++e10;
  }
  char d[9];
  for (int i = 8; i >= 0; --i) {
    d[i] = static_cast<char>('0' + q % 10);
    q /= 10;
  }
  int last = 8;  // last digit kept: trailing zeros are dropped
  if (e10 >= -4 && e10 < 9) {
    if (e10 >= 0) {
      while (last > e10 && d[last] == '0') --last;
      for (int i = 0; i <= e10; ++i) out[n++] = d[i];
      if (last > e10) {
        out[n++] = '.';
        for (int i = e10 + 1; i <= last; ++i) out[n++] = d[i];
      }
    } else {
      while (d[last] == '0') --last;
      out[n++] = '0';
      out[n++] = '.';
      for (int i = 0; i < -e10 - 1; ++i) out[n++] = '0';
      for (int i = 0; i <= last; ++i) out[n++] = d[i];
    }
    return n;
  }
  while (last > 0 && d[last] == '0') --last;
  out[n++] = d[0];
  if (last > 0) {
    out[n++] = '.';
    for (int i = 1; i <= last; ++i) out[n++] = d[i];
  }
  out[n++] = 'e';
  out[n++] = e10 < 0 ? '-' : '+';
  const int a = e10 < 0 ? -e10 : e10;
  if (a < 10) out[n++] = '0';
  n += format_unsigned(out + n, static_cast<unsigned>(a));
  return n;
}

}  // namespace plix
