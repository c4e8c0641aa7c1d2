#include "textio/byte_stream.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace plix {

namespace {

// A descriptor left non-blocking by whoever opened it answers EAGAIN when it
// has nothing to give or no room to take: wait until it has, then go on.
// False when even the wait fails.
bool wait_for(int fd, short events) {
  pollfd p{fd, events, 0};
  for (;;) {
    if (::poll(&p, 1, -1) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

bool would_block(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

long FdSource::read(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (!would_block(errno) || !wait_for(fd, POLLIN)) return -1;
  }
}

int FdSink::write(const char* bytes, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (would_block(error) && wait_for(fd, POLLOUT)) continue;
      return error;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

long StringSource::read(char* buffer, std::size_t size) {
  std::size_t n = std::min({size, chunk, data.size() - offset});
  std::memcpy(buffer, data.data() + offset, n);
  offset += n;
  return static_cast<long>(n);
}

}  // namespace plix
