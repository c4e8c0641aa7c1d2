// The checks of the fuzz targets, shared with the regression test that
// replays every kept input. Each driver returns an empty string when the
// input was handled soundly, or what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "tests/whole_run.h"
#include "textio/format.h"
#include "textio/units.h"

namespace plix::fuzz {

// Standard output that fills up after `limit` bytes: a format that writes
// without end stops on the full device instead of eating memory.
struct BoundedSink final : ByteSink {
  explicit BoundedSink(std::size_t limit = 1u << 20) : limit(limit) {}
  int write(const char* bytes, std::size_t size) override {
    if (data.size() + size > limit) return 28;  // ENOSPC
    data.append(bytes, size);
    return 0;
  }
  std::size_t limit;
  std::string data;
};

inline bool starts_with(const std::string& s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// A failed run says why on standard error: a run-time error frame, or one
// "plix62c: ..." line for a limit of the tables or a rejected parameter.
inline bool is_error_report(const std::string& err) {
  if (starts_with(err, "plix62c: ")) return err.back() == '\n';
  if (!starts_with(err, "\r\nrun-time error ")) return false;
  return err.size() > 20 && err.compare(err.size() - 2, 2, "\r\n") == 0;
}

// A whole run with the input as standard input, delivered in pieces of odd
// sizes as a pipe may deliver them. Status 0 ends with the stop line and
// writes nothing on standard error; status 1 comes with an error report.
inline std::string check_run(const std::uint8_t* data, std::size_t size) {
  const std::size_t chunk = size == 0 ? 1 : 1 + data[0] % 200;
  const RunResult r = run_whole(std::string(reinterpret_cast<const char*>(data), size), chunk);
  const int status = r.status;
  if (status == 0) {
    static constexpr std::string_view kStop = "Stop - Program terminated.\r\n";
    if (r.out.size() < kStop.size() ||
        r.out.compare(r.out.size() - kStop.size(), kStop.size(), kStop) != 0)
      return "status 0 without the stop line";
    if (!r.err.empty()) return "status 0 with output on standard error";
    return {};
  }
  if (status != 1) return "exit status " + std::to_string(status);
  if (!is_error_report(r.err)) return "status 1 without an error report: [" + r.err + "]";
  return {};
}

// The compiled list ends with End or a syntax error, groups nest properly,
// literals lie in the pool.
inline std::string check_program(const FormatProgram& p) {
  if (p.count < 1 || p.count > MAX_DESCRIPTORS) return "descriptor count out of range";
  const Op last = p.code[p.count - 1].op;
  if (last != Op::End && last != Op::SyntaxError) return "list does not end with End";
  int depth = 0;
  for (int k = 0; k < p.count; ++k) {
    const Descriptor& x = p.code[k];
    if (x.op == Op::GroupOpen) {
      if (++depth > MAX_NESTING) return "groups nested too deeply";
      // A missing close (link 0) only where a syntax error stopped the list.
      if (x.link != 0 && (x.link <= k || x.link >= p.count || p.code[x.link].link != k))
        return "group open and close do not match";
    } else if (x.op == Op::GroupClose) {
      if (--depth < 0) return "group close without open";
      if (x.link < 0 || x.link >= k || p.code[x.link].op != Op::GroupOpen)
        return "group close does not point at its open";
    } else if (x.op == Op::Literal) {
      if (x.text < 0 || x.length < 0 || x.text + x.length > p.pool_used)
        return "literal outside the pool";
    } else if (x.op == Op::SyntaxError) {
      if (x.text < 6970 || x.text > 6992) return "syntax error number out of range";
      if (k != p.count - 1) return "descriptors after a syntax error";
    }
    if ((is_data_edit(x.op) || x.op == Op::GroupOpen || x.op == Op::Slash) && x.repeat < 1)
      return "repeat count below 1";
  }
  if (last == Op::End && depth != 0) return "unclosed group in a complete list";
  if (p.pool_used < 0 || p.pool_used > MAX_LITERALS) return "pool overflow";
  if (p.reversion < 0 || p.reversion >= p.count) return "reversion point out of range";
  return {};
}

inline std::string_view next_line(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return line;
}

// The format compiler and interpreter alone. Input layout, line by line:
//   1. a format text (at most 256 bytes are used);
//   2. the item list, one letter per item: I integer, F real, A character
//      (other bytes are passed over; at most 64 items);
//   3. the rest: the records the read takes its fields from.
// The format is compiled and checked, then used for one read of the items
// and for one write of the values read. Each ends normally or with a
// run-time error report.
inline std::string check_format(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view format = next_line(rest);
  if (format.size() > 256) format = format.substr(0, 256);
  const std::string_view letters = next_line(rest);

  char kinds[64];
  int items = 0;
  for (char c : letters)
    if ((c == 'I' || c == 'F' || c == 'A') && items < 64) kinds[items++] = c;

  auto program = std::make_unique<FormatProgram>();
  compile_format(format, *program);
  if (std::string fault = check_program(*program); !fault.empty()) return fault;

  std::int32_t integers[64] = {};
  float reals[64] = {};
  char characters[64] = {};

  {
    StringSource in{std::string(rest), 1 + size % 97};
    BoundedSink out, err;
    TextIO io(in, out, err);
    try {
      begin_read(io, format);
      for (int k = 0; k < items; ++k) {
        if (kinds[k] == 'I') read_integer(io, integers[k]);
        if (kinds[k] == 'F') read_real(io, reals[k]);
        if (kinds[k] == 'A') read_character(io, characters[k]);
      }
      end_read(io);
    } catch (const RunEnd& end) {
      if (end.status != 1) return "read ended with status " + std::to_string(end.status);
      if (!starts_with(err.data, "\r\nrun-time error F")) return "read failed without a report";
    }
  }

  {
    StringSource in{std::string()};
    BoundedSink out, err;
    TextIO io(in, out, err);
    try {
      begin_write(io, format);
      for (int k = 0; k < items; ++k) {
        if (kinds[k] == 'I') write_integer(io, integers[k]);
        if (kinds[k] == 'F') write_real(io, reals[k]);
        if (kinds[k] == 'A') write_character(io, characters[k]);
      }
      end_write(io);
      stop_run(io);
    } catch (const RunEnd& end) {
      if (end.status == 1) {
        if (!starts_with(err.data, "\r\nrun-time error F")) return "write failed without a report";
      } else if (end.status != 0 || !err.data.empty()) {
        return "write ended with status " + std::to_string(end.status);
      }
    }
  }
  return {};
}

}  // namespace plix::fuzz
