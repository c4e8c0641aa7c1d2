// The record units of a run: the state of standard input and output.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "textio/format.h"
#include "textio/textio.h"

namespace plix {

// Columns of one input record read in place in the stream buffer; of a
// longer line the columns a read can reach are kept aside and the rest is
// passed over.
constexpr std::int32_t RECORD_WINDOW = 65536;
// Bytes asked of the input stream per read.
constexpr std::int32_t INPUT_BLOCK = 65536;
// Characters of an output record held before a piece is written out.
constexpr std::int32_t OUTPUT_RECORD = 4096;
// Bytes of standard output held before they are written.
constexpr std::int32_t OUTPUT_BLOCK = 65536;
// Widest output field edited in one piece; wider fields get leading blanks.
constexpr std::int32_t MAX_FIELD = 1024;
// Longest typed console line (the line and its CR LF fill 132 bytes).
constexpr std::int32_t CONSOLE_LINE = 130;

struct InputUnit {
  // Stream bytes not yet consumed lie in buffer[head, tail).
  char buffer[RECORD_WINDOW + INPUT_BLOCK];
  std::int32_t head = 0, tail = 0;
  bool end_of_stream = false;
  // The current record: bytes record[0, length) before its first CR or LF.
  bool loaded = false;
  const char* record = nullptr;
  std::int32_t length = 0;
  std::int32_t next = 0;  // buffer index of the byte after its line end
  std::int32_t position = 0;
  std::int64_t records_read = 0;  // records consumed, for the messages (past 2^31 on long streams)
  // The read in progress.
  CompiledFormat format;
  FormatCursor cursor;
  char field[RECORD_WINDOW + 4];  // characters of one numeric field
  // A line longer than the window: its bytes as far as the format reaches,
  // and room for a numeric field wider than `field`. Both grow only when a
  // format reaches that far into such a line.
  std::vector<char> long_record;
  std::vector<char> wide_field;
};

struct OutputUnit {
  char record[OUTPUT_RECORD];
  std::int32_t length = 0;    // characters put into the current piece
  std::int64_t position = 0;  // where the next character goes in this piece (X may pass
                              // the buffer by far; blanks appear only if text follows)
  bool first_piece_written = false;
  bool empty = true;  // no character put into the record yet
  bool pending_line_end = false;
  char block[OUTPUT_BLOCK];
  std::int32_t block_used = 0;
  bool failed = false;  // a write to standard output failed: write no more
  CompiledFormat format;
  FormatCursor cursor;
  char field[MAX_FIELD];
};

struct TextIO {
  TextIO(ByteSource& in, ByteSink& out, ByteSink& err)
      : in(in),
        out(out),
        err(err),
        console(in.console && out.console),
        input(std::make_unique<InputUnit>()),
        output(std::make_unique<OutputUnit>()) {}
  ByteSource& in;
  ByteSink& out;
  ByteSink& err;
  bool console;  // one record unit serves both directions
  std::unique_ptr<InputUnit> input;
  std::unique_ptr<OutputUnit> output;
  ReadPlace place;            // what the reads take, for the messages
  RecordTap* tap = nullptr;   // sees each record loaded (the stream check)
};

// The message of a failed read: the error's text and where it happened.
std::size_t read_error_message(const TextIO& io, ErrorCode code, char* text, std::size_t size);

// Shared by the input and output sides.
enum class Direction { read, write };
[[noreturn]] void run_time_error(TextIO& io, Direction direction, ErrorCode code);
// Writes bytes to standard output through the block buffer; a failure ends
// the run with its report.
void put_output(TextIO& io, const char* bytes, std::int32_t size);
void flush_output(TextIO& io);
// Writes the owed line end (CR LF) and clears it.
void write_owed_line_end(TextIO& io);

}  // namespace plix
