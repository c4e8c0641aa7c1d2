// Result files named on the command line: written under a temporary name
// beside the final one and renamed into place only when the run succeeds,
// so that a failed run never leaves a partial file behind. Also the number
// text these files use.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace plix {

class ResultFile {
 public:
  ResultFile() = default;
  ~ResultFile();  // removes the temporary file unless it was renamed
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  // Creates the temporary file beside `path`; returns 0 or the errno value.
  int open(std::string path);
  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // Buffered writes. The first failure is kept (see error()); later writes
  // are dropped.
  void write(const char* bytes, std::size_t size) {
    if (size <= capacity_ - used_) {
      std::memcpy(buffer_.get() + used_, bytes, size);
      used_ += size;
    } else {
      write_through(bytes, size);
    }
  }
  void write(std::string_view text) { write(text.data(), text.size()); }
  // Room for `size` (at most BUFFER_BYTES) bytes at the end of the buffer;
  // wrote(n) then keeps the first n of them.
  char* reserve(std::size_t size) {
    if (size > capacity_ - used_) flush();
    return buffer_.get() + used_;
  }
  void wrote(std::size_t size) { used_ += size; }

  // Writes out the buffer, flushes a temporary file to the disk and closes
  // the file; returns error().
  int close();

  // Putting a closed file in place, in steps, so that a run can put all of
  // its files in place or none (run/results.cpp); each returns 0 or errno.
  // Keeps the file that `path` names now as a second link beside it (a
  // folder there fails at once: the rename would).
  int keep_old();
  // Renames the temporary file to its path.
  int commit();
  // After commit(): puts the old file back, or removes the new one where
  // there was none.
  int restore();
  // Removes the link to the old file (after every file is in place).
  void drop_old();
  // Flushes the entries of the file's folder to the disk.
  int sync_folder() const;
  // Where the old file is kept while it cannot be put back (empty: none).
  const std::string& old_path() const { return old_; }
  bool committed() const { return committed_; }
  // The errno value of the first failed write or close, 0 when none.
  int error() const { return error_; }

  static constexpr std::size_t BUFFER_BYTES = 1 << 20;

 private:
  void flush();
  void write_through(const char* bytes, std::size_t size);
  void put(const char* bytes, std::size_t size);

  std::string path_, temporary_, old_;
  int fd_ = -1;
  int error_ = 0;
  bool closed_ = false;
  bool committed_ = false;
  bool old_moved_ = false;  // the old file is kept by renaming it (no links here)
  int slot_ = -1;           // of the temporary in the list the signal handler removes
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0, used_ = 0;
};

// SIGINT, SIGTERM and SIGHUP (unless ignored, as under nohup) remove the
// temporary files of every open ResultFile and end the process by the
// signal, as its default action would. Called once, by the program.
void remove_temporaries_on_signals();

// While the files are put in place, a signal is held and handled after the
// last step; end_commit then ends the process by it, the results being in
// place. The commit itself takes no lock: a handler that already began
// makes begin_commit wait for the end of the process.
void begin_commit();
void end_commit();

// Longest text of format_significant.
constexpr std::size_t SIGNIFICANT_TEXT = 16;

// `value` rounded to 9 significant digits, written as printf's "%.9g" does
// (fixed or exponent form, trailing zeros dropped); returns its length.
// Nine digits give every single-precision value back exactly.
std::size_t format_significant(char* out, float value);

// Decimal digits of a non-negative integer; returns the length (at most 20).
std::size_t format_unsigned(char* out, unsigned long long value);

}  // namespace plix
