// Formatted record input and output on the run's streams, the normal stop and
// the run-time error reports. Every read is begin_read, one call per item,
// end_read; every write is begin_write, one call per item, end_write.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "textio/byte_stream.h"
#include "textio/errors.h"

namespace plix {

// Thrown by stop_run and every error report once the run's last bytes are
// written; the run function catches it and returns the status.
struct RunEnd {
  int status;
};

struct TextIO;  // the record units of one run (textio/units.h)

// Makes the record units of a run over its three streams, once per run.
// Without the memory for them, says so on `err` and returns null.
struct TextIOClose {
  void operator()(TextIO* io) const;
};
using TextIOHandle = std::unique_ptr<TextIO, TextIOClose>;
TextIOHandle open_text_io(ByteSource& in, ByteSink& out, ByteSink& err);

// Standard error of the run, for the progress line.
ByteSink& error_stream(TextIO& io);

// --- input (standard input) ---
// The format text is compiled anew by every read. Without a length the text
// ends at its first NUL.
void begin_read(TextIO& io, std::string_view format);
void read_integer(TextIO& io, std::int32_t& value);
void read_real(TextIO& io, float& value);
void read_character(TextIO& io, char& value);
// Same as `count` calls of read_character, done in one step.
void read_characters(TextIO& io, char* values, int count);
void end_read(TextIO& io);

// --- output (standard output) ---
void begin_write(TextIO& io, std::string_view format);
void write_integer(TextIO& io, std::int64_t value);
void write_real(TextIO& io, float value);
void write_character(TextIO& io, char value);
void end_write(TextIO& io);

// --- ends of the run ---
// Normal end: owed line end, the stop line (or the message), status 0.
[[noreturn]] void stop_run(TextIO& io);
[[noreturn]] void stop_run(TextIO& io, std::string_view message);
// Floating-point fault report ("run-time error M6101: MATH" frame), status 1.
[[noreturn]] void floating_point_error(TextIO& io, FpFault kind);
// Math-function argument error report (M62xx), e.g. ("log10", MathError::sing).
[[noreturn]] void math_function_error(TextIO& io, std::string_view function, MathError kind,
                                      std::string_view detail = {});
// A limit of the program's tables or a rejected parameter: one clear line
// "plix62c: <message>" on standard error, status 1.
[[noreturn]] void fatal_error(TextIO& io, std::string_view message);

// Memory that could not be had: the output held so far goes out, then
// "plix62c: out of memory: cannot allocate <what> (<bytes> bytes)" on
// standard error (without the count when `bytes` is 0), status 1.
[[noreturn]] void out_of_memory(TextIO& io, std::string_view what, std::size_t bytes);

// The report of a failed write to standard output made outside a run (the
// answer to --help or --version): the frame of every other failed write,
// with the number of the errno value `error` (6422 for a full device), on
// `err`.
void report_write_failure(ByteSink& err, int error);

// log10(x); an argument of 0 ends the run with "log10: SING error" (M6202),
// a negative one with "log10: DOMAIN error" (M6201); `detail`, when given,
// follows the text and says where the argument came from.
double checked_log10(TextIO& io, double x, std::string_view detail = {});

// --- where the reads stand, for the messages of the errors met there ---
// The reading phases say what the next records of standard input are. A
// failed read names the number of the record and this description; an end
// of file names what was missing after the last record read.
struct ReadPlace {
  const char* record = nullptr;   // "the parameter record", "meaning record"; null: unnamed
  std::int32_t index = 0;         // written after `record` when not 0 ("meaning record 3")
  const char* missing = nullptr;  // what an end of file lacks; null: `record`
  std::int64_t header = 0;        // header record of the language read, 0: none
  bool has_code = false;          // whether its figure record, with the code, has been read
  char code[3] = {' ', ' ', ' '}; // its language code
};
void set_read_place(TextIO& io, const ReadPlace& place);
const ReadPlace& read_place(const TextIO& io);
// Records of standard input consumed so far.
std::int64_t records_read(const TextIO& io);
// "record 7, meaning record 5": the record read last, as the place describes it.
std::string last_record_place(const TextIO& io);

// Sees every input record as it is loaded, before its fields are read; the
// stream check looks at the raw columns through it. A run sets none.
struct RecordTap {
  virtual ~RecordTap() = default;
  virtual void record(std::int64_t number, const char* bytes, std::int32_t length) = 0;
};
void set_record_tap(TextIO& io, RecordTap* tap);

// Joins one-character items into one text, blanks included, no trimming.
std::string_view characters_to_text(const char* characters, int count);

}  // namespace plix
