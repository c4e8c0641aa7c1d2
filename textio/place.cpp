// Where the reads stand: the record numbers and descriptions that the
// messages of failed reads and of rejected input carry.
#include <cstdarg>
#include <cstdio>

#include "textio/units.h"

namespace plix {

namespace {

// Appends printf-style text at text[used], never past size - 1.
__attribute__((format(printf, 4, 5))) void append(char* text, std::size_t size, std::size_t& used,
                                                  const char* format, ...) {
  if (used + 1 >= size) return;
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text + used, size - used, format, args);
  va_end(args);
  if (n > 0) used = used + static_cast<std::size_t>(n) < size ? used + static_cast<std::size_t>(n) : size - 1;
}

// "meaning record 3 of language abc (header record 12)", without the number
// of the record itself.
void append_what(const ReadPlace& p, char* text, std::size_t size, std::size_t& used) {
  append(text, size, used, "%s", p.record);
  if (p.index != 0) append(text, size, used, " %d", static_cast<int>(p.index));
  if (p.header == 0) return;
  if (!p.has_code) {
    append(text, size, used, " of the header in record %lld", static_cast<long long>(p.header));
  } else {
    append(text, size, used, " of language %.3s (header record %lld)", p.code,
           static_cast<long long>(p.header));
  }
}

}  // namespace

void set_read_place(TextIO& io, const ReadPlace& place) { io.place = place; }

const ReadPlace& read_place(const TextIO& io) { return io.place; }

std::int64_t records_read(const TextIO& io) { return io.input->records_read; }

void set_record_tap(TextIO& io, RecordTap* tap) { io.tap = tap; }

std::string last_record_place(const TextIO& io) {
  char text[256];
  std::size_t used = 0;
  append(text, sizeof text, used, "record %lld", static_cast<long long>(io.input->records_read));
  if (io.place.record != nullptr) {
    append(text, sizeof text, used, ", ");
    append_what(io.place, text, sizeof text, used);
  }
  return std::string(text, used);
}

std::size_t read_error_message(const TextIO& io, ErrorCode code, char* text, std::size_t size) {
  const ReadPlace& p = io.place;
  const std::int64_t done = io.input->records_read;
  const std::string_view error = error_text(code);
  std::size_t used = 0;
  append(text, size, used, "%.*s", static_cast<int>(error.size()), error.data());
  // Reads outside the run's phases (the record units alone) say no more.
  if (p.record == nullptr) return used;
  if (code == ErrorCode::end_of_file) {
    // Nothing of the record was there: say what should have come.
    const char* missing = p.missing != nullptr ? p.missing : p.record;
    const bool header_only = p.header != 0 && !p.has_code;
    append(text, size, used, ": %s", missing);
    if (header_only) append(text, size, used, " of the header in record %lld", static_cast<long long>(p.header));
    append(text, size, used, " is missing");
    if (done == 0) {
      append(text, size, used, ": the input is empty");
    } else {
      append(text, size, used, " after record %lld", static_cast<long long>(done));
    }
    if (p.header != 0 && !header_only) {
      append(text, size, used, ", in language %.3s (header record %lld)", p.code,
             static_cast<long long>(p.header));
    }
    return used;
  }
  append(text, size, used, " in record %lld, ", static_cast<long long>(done + 1));
  append_what(p, text, size, used);
  return used;
}

}  // namespace plix
