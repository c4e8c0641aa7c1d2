// Standard output: records through carriage control, and every end of the
// run with its report.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "textio/editing.h"
#include "textio/units.h"

namespace plix {

namespace {

ErrorCode error_of_write_failure(int error) {
  return (error == ENOSPC || error == EDQUOT) ? ErrorCode::device_full : ErrorCode::write_failed;
}

// Writes the held output bytes; returns 0 or the errno of the failure.
// After a failure nothing more is written to standard output.
int try_flush(TextIO& io) {
  OutputUnit& u = *io.output;
  std::int32_t used = u.block_used;
  u.block_used = 0;
  if (u.failed || used == 0) return 0;
  int error = io.out.write(u.block, static_cast<std::size_t>(used));
  if (error != 0) u.failed = true;
  return error;
}

// Room for a report: the frame and a message of a few hundred characters.
constexpr std::size_t REPORT_SIZE = 768;

std::size_t frame(char* text, std::size_t size, char letter, int number, std::string_view where,
                  std::string_view message, std::string_view message2 = {}) {
  int n =
      std::snprintf(text, size, "\r\nrun-time error %c%04d: %.*s\r\n- %.*s%.*s\r\n", letter, number,
                    static_cast<int>(where.size()), where.data(), static_cast<int>(message.size()),
                    message.data(), static_cast<int>(message2.size()), message2.data());
  return n < 0 ? 0 : (static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1);
}

// Every end of the run but the normal stop: output held so far goes out
// first (a failure there is the earlier fault and is the one reported), then
// the report on standard error, then the owed line end; status 1.
[[noreturn]] void end_with_report(TextIO& io, const char* report, std::size_t size) {
  char text[REPORT_SIZE];
  if (int error = try_flush(io); error != 0) {
    const ErrorCode code = error_of_write_failure(error);
    size = frame(text, sizeof text, 'F', static_cast<int>(code), "WRITE(CON)", error_text(code));
    report = text;
  }
  io.err.write(report, size);
  write_owed_line_end(io);
  try_flush(io);
  throw RunEnd{1};
}

struct OutputActions final : FormatActions {
  explicit OutputActions(TextIO& io) : io(io) {}
  void position(Op op, std::int32_t n) override;
  void next_record() override;
  void literal(const char* text, std::int32_t length) override;
  [[noreturn]] void error(ErrorCode code) override { run_time_error(io, Direction::write, code); }
  // X and TR have no record end to stop at; T goes to the first column once
  // a piece of the record is written (see position()).
  bool position_state(std::int64_t& position, PositionRules& rules) override {
    position = io.output->position;
    rules.end = std::int64_t{1} << 60;
    rules.t_to_start = io.output->first_piece_written;
    return true;
  }
  void set_position(std::int64_t position) override { io.output->position = position; }
  TextIO& io;
};

// The first character of a record decides how its line starts.
void write_carriage_control(TextIO& io, char control) {
  OutputUnit& u = *io.output;
  switch (control) {
    case '+':
      put_output(io, "\r", 1);
      break;
    case '0':
      put_output(io, "\r\n\r\n", u.pending_line_end ? 4 : 2);
      break;
    case '1':
      put_output(io, "\r\n\f\r \r", 6);
      break;
    default:
      if (u.pending_line_end) put_output(io, "\r\n", 2);
  }
  u.pending_line_end = false;
}

void write_piece(TextIO& io) {
  OutputUnit& u = *io.output;
  if (!u.first_piece_written) {
    write_carriage_control(io, u.record[0]);
    if (u.length > 1) put_output(io, u.record + 1, u.length - 1);
    u.first_piece_written = true;
  } else {
    put_output(io, u.record, u.length);
  }
  u.length = 0;
}

void put_character(TextIO& io, char c) {
  OutputUnit& u = *io.output;
  while (u.position >= OUTPUT_RECORD) {
    std::memset(u.record + u.length, ' ', static_cast<std::size_t>(OUTPUT_RECORD - u.length));
    u.length = OUTPUT_RECORD;
    write_piece(io);
    u.position -= OUTPUT_RECORD;
  }
  if (u.position > u.length)
    std::memset(u.record + u.length, ' ', static_cast<std::size_t>(u.position - u.length));
  u.record[u.position++] = c;
  if (u.position > u.length) u.length = static_cast<std::int32_t>(u.position);
  u.empty = false;
}

void put_characters(TextIO& io, const char* text, std::int32_t length) {
  for (std::int32_t k = 0; k < length; ++k) put_character(io, text[k]);
}

void end_record(TextIO& io) {
  OutputUnit& u = *io.output;
  if (u.empty) {
    u.position = 0;
    put_character(io, ' ');
  }
  write_piece(io);
  u.pending_line_end = true;
  u.first_piece_written = false;
  u.empty = true;
  u.position = 0;
  u.length = 0;
}

void OutputActions::position(Op op, std::int32_t n) {
  OutputUnit& u = *io.output;
  switch (op) {
    case Op::X:
    case Op::TR:
      u.position += n;
      break;
    case Op::T:
      // Columns in pieces already written cannot be reached again.
      u.position = n - 1;
      if (u.first_piece_written) u.position = 0;
      break;
    case Op::TL:
      u.position = u.position > n ? u.position - n : 0;
      break;
    default:
      break;
  }
}

void OutputActions::next_record() {
  end_record(io);
}

void OutputActions::literal(const char* text, std::int32_t length) {
  put_characters(io, text, length);
}

DataEdit next_output_edit(TextIO& io) {
  OutputActions actions(io);
  return next_data_edit(io.output->format.program, io.output->cursor, actions);
}

// Puts a field of width w; fields wider than MAX_FIELD get leading blanks.
template <typename Edit>
void put_field(TextIO& io, std::int32_t w, Edit edit) {
  OutputUnit& u = *io.output;
  for (; w > MAX_FIELD; --w) put_character(io, ' ');
  edit(w, u.field);
  put_characters(io, u.field, w);
}

}  // namespace

void put_output(TextIO& io, const char* bytes, std::int32_t size) {
  OutputUnit& u = *io.output;
  while (size > 0) {
    std::int32_t room = OUTPUT_BLOCK - u.block_used;
    std::int32_t n = size < room ? size : room;
    std::memcpy(u.block + u.block_used, bytes, static_cast<std::size_t>(n));
    u.block_used += n;
    bytes += n;
    size -= n;
    if (u.block_used == OUTPUT_BLOCK) flush_output(io);
  }
}

void flush_output(TextIO& io) {
  if (int error = try_flush(io); error != 0)
    run_time_error(io, Direction::write, error_of_write_failure(error));
}

void report_write_failure(ByteSink& err, int error) {
  char text[REPORT_SIZE];
  const ErrorCode code = error_of_write_failure(error);
  const std::size_t size =
      frame(text, sizeof text, 'F', static_cast<int>(code), "WRITE(CON)", error_text(code), "");
  err.write(text, size);
}

void write_owed_line_end(TextIO& io) {
  OutputUnit& u = *io.output;
  if (u.pending_line_end) {
    u.pending_line_end = false;
    put_output(io, "\r\n", 2);
  }
}

void run_time_error(TextIO& io, Direction direction, ErrorCode code) {
  char text[REPORT_SIZE];
  std::size_t size;
  if (direction == Direction::read) {
    char message[REPORT_SIZE - 48];
    const std::size_t n = read_error_message(io, code, message, sizeof message);
    size = frame(text, sizeof text, 'F', static_cast<int>(code), "READ(CON)",
                 std::string_view(message, n));
  } else {
    size = frame(text, sizeof text, 'F', static_cast<int>(code), "WRITE(CON)", error_text(code));
  }
  end_with_report(io, text, size);
}

void begin_write(TextIO& io, std::string_view format) {
  OutputUnit& u = *io.output;
  compile_format_once(format, u.format);
  start_format(u.cursor);
}

void write_integer(TextIO& io, std::int64_t value) {
  DataEdit e = next_output_edit(io);
  if (e.op != Op::I) run_time_error(io, Direction::write, ErrorCode::integer_needs_i);
  put_field(io, e.w, [&](std::int32_t w, char* out) {
    edit_integer(value, w, e.d, e.sign == SignMode::plus, out);
  });
}

void write_real(TextIO& io, float value) {
  DataEdit e = next_output_edit(io);
  bool plus = e.sign == SignMode::plus;
  switch (e.op) {
    case Op::F:
      return put_field(io, e.w, [&](std::int32_t w, char* out) {
        edit_fixed(value, w, e.d, e.scale, plus, out);
      });
    case Op::E:
    case Op::D:
      return put_field(io, e.w, [&](std::int32_t w, char* out) {
        edit_exponent(value, w, e.d, e.e, e.scale, plus, e.op == Op::E ? 'E' : 'D', out);
      });
    case Op::G:
      return put_field(io, e.w, [&](std::int32_t w, char* out) {
        edit_general(value, w, e.d, e.e, e.scale, plus, out);
      });
    default:
      run_time_error(io, Direction::write, ErrorCode::real_needs_fedg);
  }
}

void write_character(TextIO& io, char value) {
  DataEdit e = next_output_edit(io);
  if (e.op != Op::A) run_time_error(io, Direction::write, ErrorCode::character_needs_a);
  for (std::int32_t k = 1; k < e.w; ++k) put_character(io, ' ');
  put_character(io, value);
}

void end_write(TextIO& io) {
  OutputActions actions(io);
  finish_format(io.output->format.program, io.output->cursor, actions);
  end_record(io);
  // Someone watching a terminal sees every line as soon as it is written.
  if (io.console || io.out.console) flush_output(io);
}

void stop_run(TextIO& io) {
  stop_run(io, "Stop - Program terminated.");
}

void stop_run(TextIO& io, std::string_view message) {
  write_owed_line_end(io);
  put_output(io, message.data(), static_cast<std::int32_t>(message.size()));
  put_output(io, "\r\n", 2);
  flush_output(io);
  throw RunEnd{0};
}

void floating_point_error(TextIO& io, FpFault kind) {
  const std::string_view text = fp_fault_text(kind);
  int number = kind == FpFault::none ? static_cast<int>(FpFault::invalid) : static_cast<int>(kind);
  char report[REPORT_SIZE];
  std::size_t size =
      frame(report, sizeof report, 'M', number, "MATH", "floating-point error: ", text);
  end_with_report(io, report, size);
}

void math_function_error(TextIO& io, std::string_view function, MathError kind,
                         std::string_view detail) {
  const std::string_view text = math_error_text(kind);
  char message[REPORT_SIZE - 48];
  int n = std::snprintf(message, sizeof message, "%.*s: %.*s error%s%.*s",
                        static_cast<int>(function.size() > 60 ? 60 : function.size()),
                        function.data(), static_cast<int>(text.size()), text.data(),
                        detail.empty() ? "" : ": ",
                        static_cast<int>(detail.size() > 600 ? 600 : detail.size()), detail.data());
  if (n < 0) n = 0;
  if (static_cast<std::size_t>(n) >= sizeof message) n = sizeof message - 1;
  char report[REPORT_SIZE];
  std::size_t size = frame(report, sizeof report, 'M', static_cast<int>(kind), "MATH",
                           std::string_view(message, static_cast<std::size_t>(n)));
  end_with_report(io, report, size);
}

void fatal_error(TextIO& io, std::string_view message) {
  char report[512];
  int n =
      std::snprintf(report, sizeof report, "plix62c: %.*s\n",
                    static_cast<int>(message.size() > 480 ? 480 : message.size()), message.data());
  end_with_report(io, report, static_cast<std::size_t>(n));
}

void out_of_memory(TextIO& io, std::string_view what, std::size_t bytes) {
  char message[160];
  const int w = static_cast<int>(what.size() > 100 ? 100 : what.size());
  const int n = bytes > 0 ? std::snprintf(message, sizeof message,
                                          "out of memory: cannot allocate %.*s (%zu bytes)", w,
                                          what.data(), bytes)
                          : std::snprintf(message, sizeof message,
                                          "out of memory: cannot allocate %.*s", w, what.data());
  fatal_error(io, std::string_view(message, n < 0 ? 0 : static_cast<std::size_t>(n)));
}

double checked_log10(TextIO& io, double x, std::string_view detail) {
  if (x == 0.0) math_function_error(io, "log10", MathError::sing, detail);
  if (!(x > 0.0)) math_function_error(io, "log10", MathError::domain, detail);
  return std::log10(x);
}

TextIOHandle open_text_io(ByteSource& in, ByteSink& out, ByteSink& err) {
  try {
    return TextIOHandle(new TextIO(in, out, err));
  } catch (const std::bad_alloc&) {
    // Nothing has been read or written yet.
    char message[128];
    const int n =
        std::snprintf(message, sizeof message,
                      "plix62c: out of memory: cannot allocate the record units (%zu bytes)\n",
                      sizeof(TextIO) + sizeof(InputUnit) + sizeof(OutputUnit));
    err.write(message, static_cast<std::size_t>(n));
    return nullptr;
  }
}

void TextIOClose::operator()(TextIO* io) const { delete io; }

ByteSink& error_stream(TextIO& io) { return io.err; }

}  // namespace plix
