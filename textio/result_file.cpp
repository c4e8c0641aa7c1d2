#include "textio/result_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace plix {

namespace {

// The temporary files the signal handler removes: pointers to the names of
// open temporaries, read by the handler without a lock.
constexpr int TEMPORARY_SLOTS = 64;
std::atomic<const char*> temporaries[TEMPORARY_SLOTS];

int register_temporary(const char* name) {
  for (int i = 0; i < TEMPORARY_SLOTS; ++i) {
    const char* expected = nullptr;
    if (temporaries[i].compare_exchange_strong(expected, name)) return i;
  }
  return -1;
}

void unregister_temporary(int& slot) {
  if (slot >= 0) temporaries[slot].store(nullptr);
  slot = -1;
}

// IDLE, ENDING (a handler removes the temporaries and ends the process),
// or COMMITTING with a held signal's number in the bits above.
constexpr int IDLE = 0, COMMITTING = 1, ENDING = 2;
std::atomic<int> signal_state{IDLE};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<const char*>::is_always_lock_free);

[[noreturn]] void end_by_signal(int sig) {
  for (std::atomic<const char*>& slot : temporaries)
    if (const char* name = slot.load()) ::unlink(name);
  ::signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(sig);
  ::_exit(128 + sig);
}

void on_signal(int sig) {
  int state = signal_state.load();
  for (;;) {
    if (state == IDLE) {
      if (signal_state.compare_exchange_weak(state, ENDING)) end_by_signal(sig);
    } else if (state == ENDING) {
      for (;;) ::pause();  // another thread ends the process
    } else if ((state >> 8) != 0 || signal_state.compare_exchange_weak(state, COMMITTING | sig << 8)) {
      return;  // held until the files are in place
    }
  }
}

}  // namespace

void remove_temporaries_on_signals() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, sig);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) ::sigaction(sig, &action, nullptr);
  }
}

void begin_commit() {
  int state = IDLE;
  while (!signal_state.compare_exchange_weak(state, COMMITTING)) {
    if (state == ENDING) {
      for (;;) ::pause();
    }
    state = IDLE;
  }
}

void end_commit() {
  const int state = signal_state.exchange(IDLE);
  if (state >> 8 != 0) {
    int idle = IDLE;
    if (signal_state.compare_exchange_strong(idle, ENDING)) end_by_signal(state >> 8);
  }
}

ResultFile::~ResultFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
  unregister_temporary(slot_);
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
      // Listed before it is made, so that no signal finds it unlisted.
      slot_ = register_temporary(temporary_.c_str());
      fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0) {
        const int error = errno;
        unregister_temporary(slot_);
        if (error != EEXIST || attempt == 100) {
          error_ = error;
          temporary_.clear();
          return error_;
        }
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
  // A file renamed into place before its data reach the disk can be found
  // empty under its new name after a power cut.
  if (!temporary_.empty() && error_ == 0 && ::fsync(fd_) != 0) error_ = errno;
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  closed_ = true;
  return error_;
}

int ResultFile::keep_old() {
  if (temporary_.empty() || committed_ || !old_.empty()) return 0;
  struct stat st;
  if (::lstat(path_.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  for (int attempt = 0;; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%ld-%d.old", static_cast<long>(::getpid()), attempt);
    old_ = path_ + suffix;
    if (::link(path_.c_str(), old_.c_str()) == 0) return 0;
    const int error = errno;
    if (error == EEXIST && attempt < 100) continue;
    if (error == EPERM || error == EOPNOTSUPP || error == EMLINK) {
      // A file system without hard links: the old file is moved aside by
      // commit() instead, just before the new one takes its name.
      old_moved_ = true;
      return 0;
    }
    old_.clear();
    return error;
  }
}

int ResultFile::commit() {
  if (!closed_ || error_ != 0) return error_ != 0 ? error_ : EBADF;
  if (temporary_.empty() || committed_) return 0;
  if (old_moved_ && ::rename(path_.c_str(), old_.c_str()) != 0) return errno;
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    if (old_moved_) ::rename(old_.c_str(), path_.c_str());
    return error;
  }
  committed_ = true;
  unregister_temporary(slot_);
  return 0;
}

int ResultFile::restore() {
  if (!committed_) return 0;
  if ((old_.empty() ? ::unlink(path_.c_str()) : ::rename(old_.c_str(), path_.c_str())) != 0) return errno;
  old_.clear();
  old_moved_ = false;
  temporary_.clear();
  committed_ = false;
  return 0;
}

void ResultFile::drop_old() {
  // A file moved aside is moved only by commit().
  if (!old_.empty() && (!old_moved_ || committed_)) ::unlink(old_.c_str());
  old_.clear();
  old_moved_ = false;
}

int ResultFile::sync_folder() const {
  if (temporary_.empty()) return 0;
  const std::size_t slash = path_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  // Some file systems cannot flush a folder; their renames are as durable
  // as they get.
  return error == EINVAL || error == EROFS ? 0 : error;
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
