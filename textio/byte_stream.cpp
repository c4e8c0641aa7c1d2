#include "textio/byte_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace plix {

long FdSource::read(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

int FdSink::write(const char* bytes, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
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
