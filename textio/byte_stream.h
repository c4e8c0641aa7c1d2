// Byte streams under the record units: standard input, output and error as
// raw bytes, or memory buffers when tests and fuzzers drive a run in-process.
#pragma once

#include <cstddef>
#include <string>

namespace plix {

// A source of raw bytes. read() returns the number of bytes delivered (it
// may deliver fewer than asked, as a pipe does), 0 at the end of the stream,
// or -1 when the stream cannot be read.
struct ByteSource {
  virtual ~ByteSource() = default;
  virtual long read(char* buffer, std::size_t size) = 0;
  bool console = false;  // an interactive terminal
};

// A sink of raw bytes. write() writes all bytes and returns 0, or returns
// the errno value of the failure.
struct ByteSink {
  virtual ~ByteSink() = default;
  virtual int write(const char* bytes, std::size_t size) = 0;
  bool console = false;  // an interactive terminal
};

// File descriptors of the process.
struct FdSource final : ByteSource {
  explicit FdSource(int fd) : fd(fd) {}
  long read(char* buffer, std::size_t size) override;
  int fd;
};

struct FdSink final : ByteSink {
  explicit FdSink(int fd) : fd(fd) {}
  int write(const char* bytes, std::size_t size) override;
  int fd;
};

// Memory streams. A StringSource hands out at most `chunk` bytes per read, so
// tests can imitate a pipe that delivers a line in several pieces.
struct StringSource final : ByteSource {
  explicit StringSource(std::string data, std::size_t chunk = 1 << 16)
      : data(std::move(data)), chunk(chunk ? chunk : 1) {}
  long read(char* buffer, std::size_t size) override;
  std::string data;
  std::size_t chunk;
  std::size_t offset = 0;
};

// A sink that keeps nothing (runs that write no report).
struct DiscardSink final : ByteSink {
  int write(const char*, std::size_t) override { return 0; }
};

struct StringSink final : ByteSink {
  int write(const char* bytes, std::size_t size) override {
    if (fail_errno != 0) return fail_errno;
    data.append(bytes, size);
    return 0;
  }
  std::string data;
  int fail_errno = 0;  // when set, every write fails with this errno
};

}  // namespace plix
