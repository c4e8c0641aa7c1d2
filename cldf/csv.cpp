#include "cldf/csv.h"

#include <csv.h>
#include <utf8proc.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <cstdio>
#include <filesystem>

#include "cldf/error.h"

namespace plix::cldf {

namespace fs = std::filesystem;

namespace {

struct Collector {
  std::vector<std::string> fields;
  const CsvRow* row = nullptr;
  long record_line = 0;  // line on which the record in progress began
  bool between_records = true;
  // An exception of the row handler must not unwind through the C library:
  // it is kept here, later records are passed over, and it is rethrown.
  std::exception_ptr failure;
};

void on_field(void* data, std::size_t size, void* context) {
  auto* c = static_cast<Collector*>(context);
  if (c->failure) return;
  try {
    c->fields.emplace_back(static_cast<const char*>(data), size);
  } catch (...) {
    c->failure = std::current_exception();
  }
}

void on_record(int, void* context) {
  auto* c = static_cast<Collector*>(context);
  if (!c->failure) {
    try {
      (*c->row)(c->fields, c->record_line);
    } catch (...) {
      c->failure = std::current_exception();
    }
  }
  c->fields.clear();
  c->between_records = true;
}

// Blanks and TABs are data: no trimming of unquoted fields.
int no_space(unsigned char) { return 0; }

struct Parser {
  csv_parser p;
  Parser() {
    if (csv_init(&p, CSV_STRICT | CSV_STRICT_FINI) != 0) throw std::bad_alloc();
    csv_set_space_func(&p, no_space);
  }
  ~Parser() { csv_free(&p); }
};

}  // namespace

std::string_view strip_bom(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text;
}

long invalid_utf8_line(std::string_view text) {
  long line = 1;
  const auto* s = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      if (s[i] == '\n' || (s[i] == '\r' && (i + 1 >= n || s[i + 1] != '\n'))) ++line;
      ++i;
      continue;
    }
    utf8proc_int32_t cp;
    utf8proc_ssize_t len = utf8proc_iterate(s + i, static_cast<utf8proc_ssize_t>(n - i), &cp);
    if (len < 0) return line;
    i += static_cast<std::size_t>(len);
  }
  return 0;
}

std::size_t line_end(std::string_view text, std::size_t at) {
  std::size_t end = text.find_first_of("\r\n", at);
  if (end == std::string_view::npos) return text.size();
  return end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
}

std::string read_file(const std::string& path) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (fs::is_directory(st)) throw InputError(path, 0, "is a directory, not a file");
  if (fs::exists(st) && !fs::is_regular_file(st)) throw InputError(path, 0, "cannot be read: not a regular file");
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw InputError(path, 0, std::string("cannot be read: ") + std::strerror(errno));
  std::string text;
  try {
    if (std::fseek(f, 0, SEEK_END) == 0) {
      long size = std::ftell(f);
      if (size > 0) text.reserve(static_cast<std::size_t>(size));
      std::rewind(f);
    }
    char buf[1 << 16];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  } catch (const std::bad_alloc&) {
    std::fclose(f);
    throw InputError(path, 0, "out of memory reading the file");
  }
  bool failed = std::ferror(f) != 0;
  int err = errno;
  std::fclose(f);
  if (failed) throw InputError(path, 0, std::string("cannot be read: ") + std::strerror(err));
  return text;
}

void parse_csv(std::string_view text, const std::string& file, char delimiter, const CsvRow& row) {
  text = strip_bom(text);
  if (long bad = invalid_utf8_line(text)) throw InputError(file, bad, "invalid UTF-8");
  Parser parser;
  csv_set_delim(&parser.p, static_cast<unsigned char>(delimiter));
  Collector c;
  c.row = &row;
  // Fed one line at a time (CR, LF and CR LF each end one), so that every
  // record knows the line it starts on and a parse error the line it lies on.
  long line = 0;
  std::size_t at = 0;
  auto rethrow = [&](long where) {
    try {
      std::rethrow_exception(c.failure);
    } catch (const std::bad_alloc&) {
      throw InputError(file, where, "out of memory reading this record");
    }
  };
  while (at < text.size()) {
    std::size_t end = line_end(text, at);
    std::string_view piece = text.substr(at, end - at);
    ++line;
    at = end;
    if (c.between_records) {
      // A blank line between records holds no record.
      if (piece == "\n" || piece == "\r\n" || piece == "\r") continue;
      c.record_line = line;
      c.between_records = false;
    }
    std::size_t taken = csv_parse(&parser.p, piece.data(), piece.size(), on_field, on_record, &c);
    if (c.failure) rethrow(c.record_line);
    if (taken != piece.size()) {
      if (csv_error(&parser.p) == CSV_ENOMEM) throw InputError(file, line, "out of memory reading this record");
      throw InputError(file, line, "malformed CSV: a quote that neither opens nor closes a field");
    }
  }
  int status = csv_fini(&parser.p, on_field, on_record, &c);
  if (c.failure) rethrow(c.record_line);
  if (status != 0)
    throw InputError(file, c.record_line,
                     "malformed CSV: quoted field not closed before the end of the file");
}

}  // namespace plix::cldf
