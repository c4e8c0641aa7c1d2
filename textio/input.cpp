// Standard input: records read through a format, one record per read.
#include <algorithm>
#include <cstring>

#include "textio/editing.h"
#include "textio/units.h"

namespace plix {

namespace {

constexpr std::int32_t INPUT_CAPACITY = RECORD_WINDOW + INPUT_BLOCK;
constexpr char CTRL_Z = 26;

[[noreturn]] void read_error(TextIO& io, ErrorCode code) {
  run_time_error(io, Direction::read, code);
}

// Reads more of the stream behind buffer[tail]; false at its end.
bool refill(TextIO& io) {
  InputUnit& u = *io.input;
  if (u.end_of_stream) return false;
  if (INPUT_CAPACITY - u.tail < INPUT_BLOCK) {
    std::int32_t kept = u.tail - u.head;
    std::memmove(u.buffer, u.buffer + u.head, static_cast<std::size_t>(kept));
    u.head = 0;
    u.tail = kept;
  }
  long n = io.in.read(u.buffer + u.tail, static_cast<std::size_t>(INPUT_CAPACITY - u.tail));
  if (n < 0) read_error(io, ErrorCode::read_failed);
  if (n == 0) {
    u.end_of_stream = true;
    return false;
  }
  u.tail += static_cast<std::int32_t>(n);
  return true;
}

// A line whose last byte before its line end (LF or CR LF) is Ctrl-Z ends
// the input.
bool ends_input(const char* line, std::int32_t length) {
  if (length > 0 && line[length - 1] == '\r') --length;
  return length > 0 && line[length - 1] == CTRL_Z;
}

// The most bytes of a line kept for a read: positions stay 32-bit.
constexpr std::int64_t MAX_KEPT = 0x7FFFFF00;

// The last two bytes of a line seen so far, for the Ctrl-Z rule.
void remember_last_bytes(const char* bytes, std::int32_t n, char end[2]) {
  if (n >= 2) {
    end[0] = bytes[n - 2];
    end[1] = bytes[n - 1];
  } else if (n == 1) {
    end[0] = end[1];
    end[1] = bytes[0];
  }
}

// A line longer than the window: its bytes as far as the format can reach
// are kept aside, the rest is passed over up to the line end, and the line's
// true last bytes decide the Ctrl-Z rule as on any other line.
void load_long_record(TextIO& io) {
  InputUnit& u = *io.input;
  if (io.in.console) read_error(io, ErrorCode::console_line_too_long);
  const std::int64_t keep = std::min(u.format.program.reach, MAX_KEPT);
  u.long_record.clear();
  char end[2] = {0, 0};
  for (;;) {
    const char* from = u.buffer + u.head;
    const std::int32_t available = u.tail - u.head;
    const void* lf = std::memchr(from, '\n', static_cast<std::size_t>(available));
    const std::int32_t n =
        lf ? static_cast<std::int32_t>(static_cast<const char*>(lf) - from) : available;
    const std::int64_t room = keep - static_cast<std::int64_t>(u.long_record.size());
    if (room > 0)
      u.long_record.insert(u.long_record.end(), from, from + std::min<std::int64_t>(n, room));
    remember_last_bytes(from, n, end);
    if (lf) {
      u.head += n + 1;
      break;
    }
    u.head = u.tail;
    if (!refill(io)) break;  // a final line without a line end
  }
  if (ends_input(end, 2)) read_error(io, ErrorCode::end_of_file);
  u.next = u.head;
  const std::int32_t kept = static_cast<std::int32_t>(u.long_record.size());
  const char* start = kept > 0 ? u.long_record.data() : u.buffer;
  const void* cr = std::memchr(start, '\r', static_cast<std::size_t>(kept));
  u.record = start;
  u.length = cr ? static_cast<std::int32_t>(static_cast<const char*>(cr) - start) : kept;
  u.position = 0;
  u.loaded = true;
}

// Makes the next line of the stream the current record. Only a final line
// without a line end at the true end of the stream is completed by the
// stream's end; how the stream's reads fall never matters.
void load_record(TextIO& io) {
  InputUnit& u = *io.input;
  std::int32_t line = 0;
  for (;;) {
    std::int32_t available = u.tail - u.head;
    std::int32_t look = available < RECORD_WINDOW + 1 ? available : RECORD_WINDOW + 1;
    const void* lf = std::memchr(u.buffer + u.head, '\n', static_cast<std::size_t>(look));
    if (lf != nullptr) {
      line = static_cast<std::int32_t>(static_cast<const char*>(lf) - (u.buffer + u.head));
      u.next = u.head + line + 1;
      break;
    }
    if (available > RECORD_WINDOW) return load_long_record(io);
    if (!refill(io)) {
      if (available == 0) read_error(io, ErrorCode::end_of_file);
      line = available;
      u.next = u.tail;
      break;
    }
  }
  const char* start = u.buffer + u.head;
  if (io.in.console) {
    std::int32_t typed = line > 0 && start[line - 1] == '\r' ? line - 1 : line;
    if (typed > CONSOLE_LINE) read_error(io, ErrorCode::console_line_too_long);
  }
  if (ends_input(start, line)) read_error(io, ErrorCode::end_of_file);
  const void* cr = std::memchr(start, '\r', static_cast<std::size_t>(line));
  u.record = start;
  u.length = cr ? static_cast<std::int32_t>(static_cast<const char*>(cr) - start) : line;
  u.position = 0;
  u.loaded = true;
  if (io.tap != nullptr) io.tap->record(u.records_read + 1, u.record, u.length);
}

void ensure_record(TextIO& io) {
  if (!io.input->loaded) load_record(io);
}

void finish_record(TextIO& io) {
  InputUnit& u = *io.input;
  if (!u.loaded) return;
  u.loaded = false;
  u.head = u.next;
  ++u.records_read;
}

struct InputActions final : FormatActions {
  explicit InputActions(TextIO& io) : io(io) {}
  void position(Op op, std::int32_t n) override {
    ensure_record(io);
    InputUnit& u = *io.input;
    switch (op) {
      case Op::X:
      case Op::TR:
        // Never past the end of the record; a T may already have gone past it.
        if (u.position < u.length)
          u.position = u.length - u.position > n ? u.position + n : u.length;
        break;
      case Op::T:
        // The column itself, also beyond the data (a following TL counts from it).
        u.position = n - 1;
        break;
      case Op::TL:
        u.position = u.position > n ? u.position - n : 0;
        break;
      default:
        break;
    }
  }
  void next_record() override {
    ensure_record(io);
    finish_record(io);
  }
  void literal(const char*, std::int32_t) override { read_error(io, ErrorCode::literal_on_input); }
  [[noreturn]] void error(ErrorCode code) override { read_error(io, code); }
  bool position_state(std::int64_t& position, PositionRules& rules) override {
    ensure_record(io);
    position = io.input->position;
    rules.end = io.input->length;
    rules.t_to_start = false;
    return true;
  }
  void set_position(std::int64_t position) override {
    io.input->position = static_cast<std::int32_t>(position);
  }
  TextIO& io;
};

// Room for a numeric field of width w at the current position.
char* field_buffer(InputUnit& u, std::int32_t w) {
  const std::int64_t left = u.length > u.position ? u.length - u.position : 0;
  const std::int64_t need = std::min<std::int64_t>(w, left) + 2;
  if (need <= static_cast<std::int64_t>(sizeof u.field)) return u.field;
  if (static_cast<std::int64_t>(u.wide_field.size()) < need)
    u.wide_field.resize(static_cast<std::size_t>(need));
  return u.wide_field.data();
}

DataEdit next_input_edit(TextIO& io) {
  InputActions actions(io);
  return next_data_edit(io.input->format.program, io.input->cursor, actions);
}

}  // namespace

void begin_read(TextIO& io, std::string_view format) {
  InputUnit& u = *io.input;
  if (io.console) {
    write_owed_line_end(io);
    flush_output(io);
  }
  compile_format_once(format, u.format);
  start_format(u.cursor);
}

void read_integer(TextIO& io, std::int32_t& value) {
  DataEdit e = next_input_edit(io);
  if (e.op != Op::I) read_error(io, ErrorCode::integer_needs_i);
  ensure_record(io);
  InputUnit& u = *io.input;
  std::int32_t n = 0;
  char* field = field_buffer(u, e.w);
  if (ErrorCode error = collect_numeric_field(u.record, u.length, u.position, e.w, e.blank_zero,
                                              false, field, n);
      error != ErrorCode::none)
    read_error(io, error);
  if (ErrorCode error = parse_integer_field(field, n, value); error != ErrorCode::none)
    read_error(io, error);
}

void read_real(TextIO& io, float& value) {
  DataEdit e = next_input_edit(io);
  if (e.op != Op::F && e.op != Op::E && e.op != Op::D && e.op != Op::G)
    read_error(io, ErrorCode::real_needs_fedg);
  ensure_record(io);
  InputUnit& u = *io.input;
  std::int32_t n = 0;
  char* field = field_buffer(u, e.w);
  if (ErrorCode error = collect_numeric_field(u.record, u.length, u.position, e.w, e.blank_zero,
                                              true, field, n);
      error != ErrorCode::none)
    read_error(io, error);
  if (ErrorCode error = parse_real_field(field, n, e.d, e.scale, value);
      error != ErrorCode::none)
    read_error(io, error);
}

void read_character(TextIO& io, char& value) {
  read_characters(io, &value, 1);
}

void read_characters(TextIO& io, char* values, int count) {
  InputUnit& u = *io.input;
  for (int i = 0; i < count;) {
    DataEdit e = next_input_edit(io);
    if (e.op != Op::A) read_error(io, ErrorCode::character_needs_a);
    ensure_record(io);
    if (e.w > 1) {
      // Aw for one character: the first w - 1 columns are passed over.
      std::int32_t skip = e.w - 1;
      if (u.position < u.length)
        u.position = u.length - u.position > skip ? u.position + skip : u.length;
      values[i++] = u.position < u.length ? u.record[u.position++] : ' ';
      continue;
    }
    // A run of A1 edits is one copy, padded with blanks at the record end.
    std::int32_t run = 1 + take_repeats(u.cursor, count - i - 1);
    std::int32_t available = u.length > u.position ? u.length - u.position : 0;
    std::int32_t copied = run < available ? run : available;
    if (copied > 0)
      std::memcpy(values + i, u.record + u.position, static_cast<std::size_t>(copied));
    std::memset(values + i + copied, ' ', static_cast<std::size_t>(run - copied));
    u.position += copied;
    i += run;
  }
}

void end_read(TextIO& io) {
  InputActions actions(io);
  finish_format(io.input->format.program, io.input->cursor, actions);
  ensure_record(io);
  finish_record(io);
}

std::string_view characters_to_text(const char* characters, int count) {
  return {characters, static_cast<std::size_t>(count < 0 ? 0 : count)};
}

}  // namespace plix
