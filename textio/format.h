// The format notation: a compiler from format text to a descriptor list and
// an interpreter that hands out one data edit per item, performing the
// control edits met on the way through a small set of actions.
#pragma once

#include <cstdint>
#include <string_view>

#include "textio/errors.h"

namespace plix {

enum class Op : std::uint8_t {
  // data edits
  I,
  F,
  E,
  D,
  G,
  A,
  L,
  // control edits
  X,
  T,
  TL,
  TR,
  Slash,
  Colon,
  BN,
  BZ,
  P,
  S,
  SP,
  SS,
  Literal,
  // structure
  GroupOpen,
  GroupClose,
  End,
  SyntaxError,
};

inline bool is_data_edit(Op op) {
  return op <= Op::L;
}

struct Descriptor {
  Op op = Op::End;
  std::int32_t repeat = 1;  // data edits, '/', groups
  std::int32_t w = 0;       // width; column or count for X, T, TL, TR; scale for P
  std::int32_t d = 0;       // digits after the point; minimum digits m for I
  std::int32_t e = 0;       // exponent width of E and G (0 = not given)
  std::int32_t link = 0;    // group: index of the matching open/close
  std::int32_t text = 0;    // literal: offset in the pool; syntax error: its ErrorCode
  std::int32_t length = 0;  // literal length
  bool has_width = false;   // A with an explicit width
  // Groups: only position, mode, ':' and empty literal edits inside, so that
  // repeating the group only moves the position (and sets modes); whether a
  // T lies inside; whether a ':' lies inside.
  bool control_only = false;
  bool sets_column = false;
  bool has_colon = false;
};

constexpr int MAX_DESCRIPTORS = 256;
constexpr int MAX_LITERALS = 1024;
// Every group takes a descriptor, so groups nest as deep as the list allows.
constexpr int MAX_NESTING = MAX_DESCRIPTORS;

struct FormatProgram {
  Descriptor code[MAX_DESCRIPTORS];
  int count = 0;
  int reversion = 0;                // where the format restarts when it runs out
  bool reversion_has_data = false;  // a data edit lies between that place and the end
  bool has_data = false;            // a data edit (or a syntax error) lies in the list
  // The furthest column one record's part of the format can reach: the
  // largest T column plus every width and forward move of one pass.
  std::int64_t reach = 0;
  char pool[MAX_LITERALS];
  int pool_used = 0;
};

// Compiles `text` from its opening parenthesis. A syntax error is compiled
// as a SyntaxError descriptor at its place; everything before it works.
void compile_format(std::string_view text, FormatProgram& program);

// A compiled format with the text it was compiled from: a read or write with
// the same text as the last one reuses the program, which gives the same
// result as compiling it again.
struct CompiledFormat {
  FormatProgram program;
  char text[256];
  std::int32_t length = -1;  // -1: no text remembered
};
void compile_format_once(std::string_view text, CompiledFormat& format);

enum class SignMode : std::uint8_t { processor, plus, suppress };

// One data edit as the interpreter hands it out, with the modes in force.
struct DataEdit {
  Op op = Op::End;  // End: the format stopped (only when finishing)
  std::int32_t w = 0, d = 0, e = 0;
  bool has_width = false;
  bool blank_zero = false;
  std::int32_t scale = 0;
  SignMode sign = SignMode::processor;
};

// How a unit moves its position: X and TR stop at `end` (and stay where they
// are when already past it), TL stops at the first column, T goes to its
// column, or to the first one when `t_to_start`.
struct PositionRules {
  std::int64_t end = 0;
  bool t_to_start = false;
};

// What the interpreter asks of the record unit on its way to a data edit.
struct FormatActions {
  virtual void position(Op op, std::int32_t n) = 0;  // X, T, TL, TR
  virtual void next_record() = 0;                    // '/' and reversion
  virtual void literal(const char* text, std::int32_t length) = 0;
  [[noreturn]] virtual void error(ErrorCode code) = 0;
  // A unit that tells its position (0-based) and rules has repeated groups
  // of control edits run in closed form, whatever their repeat counts;
  // otherwise they are performed edit by edit.
  virtual bool position_state(std::int64_t& /*position*/, PositionRules& /*rules*/) {
    return false;
  }
  virtual void set_position(std::int64_t /*position*/) {}

 protected:
  ~FormatActions() = default;
};

struct FormatCursor {
  int pc = 0;             // next descriptor to interpret
  int last = -1;          // the data edit handed out last
  std::int32_t left = 0;  // further repeats of `last`
  int depth = 0;
  int group_at[MAX_NESTING];
  std::int32_t group_left[MAX_NESTING];
  bool blank_zero = false;
  std::int32_t scale = 0;
  SignMode sign = SignMode::processor;
};

// The cursor at the start of a read or write.
void start_format(FormatCursor& cursor);

// The next data edit for an item. Running past the final parenthesis ends
// the record and restarts the format at its reversion point.
DataEdit next_data_edit(const FormatProgram& program, FormatCursor& cursor, FormatActions& actions);

// After the last item: performs control edits up to the next data edit, a
// ':' or the final parenthesis.
void finish_format(const FormatProgram& program, FormatCursor& cursor, FormatActions& actions);

// Takes up to `wanted` further repeats of the data edit handed out last and
// returns how many were taken (the fast path of character runs).
inline std::int32_t take_repeats(FormatCursor& cursor, std::int32_t wanted) {
  std::int32_t n = cursor.left < wanted ? cursor.left : wanted;
  cursor.left -= n;
  return n;
}

}  // namespace plix
