#include "textio/format.h"

#include <algorithm>
#include <cstring>

namespace plix {

namespace {

constexpr std::int32_t MAX_FORMAT_NUMBER = 2147483647;
// Positions and their sums saturate here, far beyond any record.
constexpr std::int64_t FAR_POSITION = std::int64_t{1} << 60;

std::int64_t saturated_product(std::int64_t count, std::int64_t amount) {
  if (count <= 0 || amount <= 0) return 0;
  return count > FAR_POSITION / amount ? FAR_POSITION : std::min(count * amount, FAR_POSITION);
}

char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Blanks are insignificant outside literals; a NUL ends the text.
struct Compiler {
  std::string_view s;
  FormatProgram& p;
  std::size_t i = 0;
  bool stopped = false;

  char peek() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size() || s[i] == '\0') return 0;
    return upper(s[i]);
  }
  char get() {
    char c = peek();
    if (c != 0) ++i;
    return c;
  }
  void fail(ErrorCode code) {
    Descriptor& x = p.code[p.count++];
    x = Descriptor{};
    x.op = Op::SyntaxError;
    x.text = static_cast<std::int32_t>(code);
    stopped = true;
  }
  // Reads an unsigned number; false when none stands here.
  bool number(std::int32_t& value) {
    if (!is_digit(peek())) return false;
    std::int64_t v = 0;
    while (is_digit(peek())) {
      v = v * 10 + (s[i++] - '0');
      if (v > MAX_FORMAT_NUMBER) {
        fail(ErrorCode::number_too_large);
        return false;
      }
    }
    value = static_cast<std::int32_t>(v);
    return true;
  }
  // Appends a descriptor; the last slot is kept for End or a syntax error.
  Descriptor* emit(Op op) {
    if (p.count >= MAX_DESCRIPTORS - 1) {
      fail(ErrorCode::format_too_long);
      return nullptr;
    }
    Descriptor& x = p.code[p.count++];
    x = Descriptor{};
    x.op = op;
    return &x;
  }
  bool literal(const char* text, std::int32_t length) {
    if (p.pool_used + length > MAX_LITERALS) {
      fail(ErrorCode::format_too_long);
      return false;
    }
    Descriptor* x = emit(Op::Literal);
    if (!x) return false;
    x->text = p.pool_used;
    x->length = length;
    for (std::int32_t k = 0; k < length; ++k) p.pool[p.pool_used++] = text[k];
    return true;
  }
  void quoted(char quote) {
    if (p.pool_used >= MAX_LITERALS) return fail(ErrorCode::format_too_long);
    int start = p.pool_used;
    for (;;) {
      if (i >= s.size() || s[i] == '\0') return fail(ErrorCode::unterminated_literal);
      char c = s[i++];
      if (c == quote) {
        if (i < s.size() && s[i] == quote) {
          ++i;  // a doubled quote stands for one
        } else {
          break;
        }
      }
      if (p.pool_used >= MAX_LITERALS) return fail(ErrorCode::format_too_long);
      p.pool[p.pool_used++] = c;
    }
    Descriptor* x = emit(Op::Literal);
    if (!x) return;
    x->text = start;
    x->length = p.pool_used - start;
  }
  void hollerith(std::int32_t n) {
    std::size_t end = i + static_cast<std::size_t>(n);
    if (end > s.size()) return fail(ErrorCode::bad_hollerith);
    for (std::size_t k = i; k < end; ++k)
      if (s[k] == '\0') return fail(ErrorCode::bad_hollerith);
    const char* text = s.data() + i;
    i = end;
    literal(text, n);
  }
  // Width and digits of a data edit; the letter is already read.
  void data_edit(Op op, std::int32_t repeat) {
    std::int32_t w = 0, d = 0, e = 0;
    bool has_width = false;
    if (op == Op::A) {
      if (is_digit(peek())) {
        if (!number(w)) return;
        if (w == 0) return fail(ErrorCode::missing_width);
        has_width = true;
      }
    } else {
      if (!is_digit(peek())) return fail(ErrorCode::missing_width);
      if (!number(w)) return;
      if (w == 0) return fail(ErrorCode::missing_width);
      has_width = true;
      if (op == Op::I) {
        if (peek() == '.') {
          get();
          if (!is_digit(peek())) return fail(ErrorCode::missing_digits);
          if (!number(d)) return;
        } else {
          d = 1;
        }
      } else if (op != Op::L) {
        if (peek() != '.') return fail(ErrorCode::missing_point);
        get();
        if (!is_digit(peek())) return fail(ErrorCode::missing_digits);
        if (!number(d)) return;
        if ((op == Op::E || op == Op::G) && peek() == 'E') {
          get();
          if (!is_digit(peek())) return fail(ErrorCode::missing_exponent_width);
          if (!number(e)) return;
        }
      }
    }
    Descriptor* x = emit(op);
    if (!x) return;
    x->repeat = repeat;
    x->w = w;
    x->d = d;
    x->e = e;
    x->has_width = has_width;
  }

  void run() {
    int open[MAX_NESTING];
    int depth = 0;
    int last_top_group = -1;
    bool item_before = false;  // an item since the last '(' or ','
    if (get() != '(') return fail(ErrorCode::no_opening_paren);
    while (!stopped) {
      char c = peek();
      if (c == 0) return fail(ErrorCode::no_closing_paren);
      if (c == ',') {
        // A comma separates items: one right after '(' or another comma is
        // an error; one before ')' is allowed.
        if (!item_before) return fail(ErrorCode::misplaced_comma);
        get();
        item_before = false;
        continue;
      }
      if (c == ')') {
        get();
        if (depth == 0) {
          emit(Op::End);  // the slot is always free
          break;
        }
        Descriptor* x = emit(Op::GroupClose);
        if (!x) return;
        x->link = open[--depth];
        p.code[x->link].link = p.count - 1;
        item_before = true;
        continue;
      }
      bool has_number = false, has_sign = false, negative = false;
      std::int32_t n = 0;
      if (c == '+' || c == '-') {
        get();
        has_sign = true;
        negative = c == '-';
        if (!is_digit(peek())) return fail(ErrorCode::bad_scale_factor);
      }
      if (is_digit(peek())) {
        if (!number(n)) return;
        has_number = true;
      }
      c = get();
      if (has_sign && c != 'P') return fail(ErrorCode::bad_scale_factor);
      switch (c) {
        case 'P': {
          if (!has_number) return fail(ErrorCode::bad_scale_factor);
          if (Descriptor* x = emit(Op::P)) x->w = negative ? -n : n;
          break;
        }
        case '(': {
          if (has_number && n == 0) return fail(ErrorCode::zero_repeat);
          if (depth >= MAX_NESTING) return fail(ErrorCode::nested_too_deep);
          Descriptor* x = emit(Op::GroupOpen);
          if (!x) return;
          x->repeat = has_number ? n : 1;
          if (depth == 0) last_top_group = p.count - 1;
          open[depth++] = p.count - 1;
          break;
        }
        case 'I':
        case 'F':
        case 'E':
        case 'D':
        case 'G':
        case 'A':
        case 'L': {
          if (has_number && n == 0) return fail(ErrorCode::zero_repeat);
          static constexpr struct {
            char letter;
            Op op;
          } DATA_EDITS[] = {{'I', Op::I}, {'F', Op::F}, {'E', Op::E}, {'D', Op::D},
                       {'G', Op::G}, {'A', Op::A}, {'L', Op::L}};
          for (const auto& k : DATA_EDITS)
            if (k.letter == c) data_edit(k.op, has_number ? n : 1);
          break;
        }
        case 'X': {
          if (has_number && n == 0) return fail(ErrorCode::missing_position);
          if (Descriptor* x = emit(Op::X)) x->w = has_number ? n : 1;
          break;
        }
        case 'T': {
          if (has_number) return fail(ErrorCode::repeat_not_allowed);
          Op op = Op::T;
          if (peek() == 'L') op = Op::TL;
          if (peek() == 'R') op = Op::TR;
          if (op != Op::T) get();
          std::int32_t column = 0;
          if (!is_digit(peek())) return fail(ErrorCode::missing_position);
          if (!number(column)) return;
          if (column == 0) return fail(ErrorCode::missing_position);
          if (Descriptor* x = emit(op)) x->w = column;
          break;
        }
        case '/': {
          if (has_number && n == 0) return fail(ErrorCode::zero_repeat);
          if (Descriptor* x = emit(Op::Slash)) x->repeat = has_number ? n : 1;
          break;
        }
        case ':':
          if (has_number) return fail(ErrorCode::repeat_not_allowed);
          emit(Op::Colon);
          break;
        case 'B': {
          if (has_number) return fail(ErrorCode::repeat_not_allowed);
          char m = get();
          if (m == 'N') {
            emit(Op::BN);
          } else if (m == 'Z') {
            emit(Op::BZ);
          } else {
            return fail(ErrorCode::unknown_descriptor);
          }
          break;
        }
        case 'S': {
          if (has_number) return fail(ErrorCode::repeat_not_allowed);
          Op op = Op::S;
          if (peek() == 'P') op = Op::SP;
          if (peek() == 'S') op = Op::SS;
          if (op != Op::S) get();
          emit(op);
          break;
        }
        case 'H':
          if (!has_number || n == 0) return fail(ErrorCode::bad_hollerith);
          hollerith(n);
          break;
        case '\'':
        case '"':
          if (has_number) return fail(ErrorCode::repeat_not_allowed);
          quoted(s[i - 1]);
          break;
        case 0:
          return fail(ErrorCode::no_closing_paren);
        default:
          return fail(ErrorCode::unknown_descriptor);
      }
      item_before = c != '(';
    }
    p.reversion = last_top_group >= 0 ? last_top_group : 0;
    p.reversion_has_data = false;
    for (int k = p.reversion; k < p.count; ++k)
      if (is_data_edit(p.code[k].op)) p.reversion_has_data = true;
  }

  // What the interpreter needs to know of the finished list.
  void summarise() {
    p.has_data = false;
    for (int k = 0; k < p.count; ++k)
      if (is_data_edit(p.code[k].op) || p.code[k].op == Op::SyntaxError) p.has_data = true;
    // The reach: no record position passes the largest T column plus every
    // forward move and width of one pass through the list.
    std::int64_t times[MAX_NESTING + 1];
    int depth = 0;
    times[0] = 1;
    std::int64_t furthest_t = 0, forward = 0;
    for (int k = 0; k < p.count; ++k) {
      Descriptor& x = p.code[k];
      std::int64_t moves = 0;
      if (is_data_edit(x.op))
        moves = saturated_product(x.repeat, x.op == Op::A && !x.has_width ? 1 : x.w);
      if (x.op == Op::X || x.op == Op::TR) moves = x.w;
      if (x.op == Op::T) furthest_t = std::max<std::int64_t>(furthest_t, x.w - 1);
      if (x.op == Op::GroupOpen) {
        times[depth + 1] = saturated_product(times[depth], x.repeat);
        ++depth;
        classify_group(k);
      }
      if (x.op == Op::GroupClose) --depth;
      forward = std::min(FAR_POSITION, forward + saturated_product(times[depth], moves));
    }
    p.reach = std::min(FAR_POSITION, furthest_t + forward);
  }

  // Marks a group that holds control edits only (position and mode edits,
  // ':' and empty literals): repeating it only moves the position.
  void classify_group(int open) {
    Descriptor& g = p.code[open];
    g.control_only = g.link > open;
    for (int k = open + 1; g.control_only && k < g.link; ++k) {
      const Descriptor& x = p.code[k];
      switch (x.op) {
        case Op::T:
          g.sets_column = true;
          break;
        case Op::Colon:
          g.has_colon = true;
          break;
        case Op::X:
        case Op::TL:
        case Op::TR:
        case Op::BN:
        case Op::BZ:
        case Op::P:
        case Op::S:
        case Op::SP:
        case Op::SS:
        case Op::GroupOpen:
        case Op::GroupClose:
          break;
        case Op::Literal:
          if (x.length != 0) g.control_only = false;
          break;
        default:
          g.control_only = false;
      }
    }
  }
};

DataEdit edit_of(const Descriptor& x, const FormatCursor& cursor) {
  DataEdit e;
  e.op = x.op;
  e.w = x.w;
  e.d = x.d;
  e.e = x.e;
  e.has_width = x.has_width;
  e.blank_zero = cursor.blank_zero;
  e.scale = cursor.scale;
  e.sign = cursor.sign;
  return e;
}

// Groups of control edits in closed form. Within a record of `end` columns
// every X, TR and TL maps a position p in [0, end] to clamp(p + a, 0, end),
// and a sequence of them to clamp(p + a, lo, hi): such a map is composed and
// repeated by arithmetic. A position past the end (after a T) is only moved
// down by TL until it reaches the record again. A T inside makes the
// group's effect one fixed position.
struct Shift {
  std::int64_t a = 0, lo = 0, hi = 0;  // p -> clamp(p + a, lo, hi)
};

std::int64_t clamp(std::int64_t v, std::int64_t lo, std::int64_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// g after f, on [0, end]; a shift beyond the end works as one of end.
Shift then(const Shift& f, const Shift& g, std::int64_t end) {
  return {clamp(f.a + g.a, -end, end), clamp(f.lo + g.a, g.lo, g.hi),
          clamp(f.hi + g.a, g.lo, g.hi)};
}

// f applied `times` (>= 1) times.
Shift repeated(const Shift& f, std::int64_t times, std::int64_t end) {
  if (f.a > 0) {
    return {std::min(saturated_product(times, f.a), end),
            std::min(f.lo + std::min(saturated_product(times - 1, f.a), end), f.hi), f.hi};
  }
  if (f.a < 0) {
    return {-std::min(saturated_product(times, -f.a), end), f.lo,
            std::max(f.hi - std::min(saturated_product(times - 1, -f.a), end), f.lo)};
  }
  return f;
}

// One pass of the group opening at `open`, for positions in [0, end].
Shift shift_of(const FormatProgram& program, int open, std::int64_t end) {
  Shift s{0, 0, end};
  for (int k = open + 1; k < program.code[open].link; ++k) {
    const Descriptor& x = program.code[k];
    std::int64_t n = std::min<std::int64_t>(x.w, end);
    if (x.op == Op::X || x.op == Op::TR) s = then(s, {n, 0, end}, end);
    if (x.op == Op::TL) s = then(s, {-n, 0, end}, end);
    if (x.op == Op::GroupOpen) {
      s = then(s, repeated(shift_of(program, k, end), x.repeat, end), end);
      k = x.link;
    }
  }
  return s;
}

// How far one pass of a group without T moves a position that stays past
// the end all the way (X and TR leave it, TL moves it down).
std::int64_t drop_of(const FormatProgram& program, int open) {
  std::int64_t drop = 0;
  for (int k = open + 1; k < program.code[open].link; ++k) {
    const Descriptor& x = program.code[k];
    if (x.op == Op::TL) drop = std::min(FAR_POSITION, drop + x.w);
    if (x.op == Op::GroupOpen) {
      drop = std::min(FAR_POSITION, drop + saturated_product(x.repeat, drop_of(program, k)));
      k = x.link;
    }
  }
  return drop;
}

std::int64_t run_group(const FormatProgram& program, int open, std::int64_t times, std::int64_t p,
                       const PositionRules& rules);

// One pass of a group's body, edit by edit; inner groups in closed form.
std::int64_t run_body(const FormatProgram& program, int open, std::int64_t p,
                      const PositionRules& rules) {
  for (int k = open + 1; k < program.code[open].link; ++k) {
    const Descriptor& x = program.code[k];
    switch (x.op) {
      case Op::X:
      case Op::TR:
        if (p < rules.end) p = std::min(p + x.w, rules.end);
        break;
      case Op::T:
        p = rules.t_to_start ? 0 : x.w - 1;
        break;
      case Op::TL:
        p = p > x.w ? p - x.w : 0;
        break;
      case Op::GroupOpen:
        p = run_group(program, k, x.repeat, p, rules);
        k = x.link;
        break;
      default:
        break;
    }
  }
  return p;
}

// The position after `times` passes of a group of control edits.
std::int64_t run_group(const FormatProgram& program, int open, std::int64_t times, std::int64_t p,
                       const PositionRules& rules) {
  // With a T inside, every pass ends at the same place.
  if (program.code[open].sets_column) return run_body(program, open, p, rules);
  if (p > rules.end) {
    std::int64_t drop = drop_of(program, open);
    if (drop == 0) return p;
    std::int64_t passes = std::min(times, (p - rules.end) / drop);
    p -= passes * drop;
    times -= passes;
    if (times > 0 && p > rules.end) {
      p = run_body(program, open, p, rules);  // the pass that reaches the record
      --times;
    }
    if (times == 0) return p;
  }
  const Shift s = repeated(shift_of(program, open, rules.end), times, rules.end);
  return clamp(p + s.a, s.lo, s.hi);
}

// The modes a group of control edits leaves: each its last setting inside,
// since every edit of the group is performed at least once.
void set_modes(const FormatProgram& program, int open, FormatCursor& c) {
  for (int k = open + 1; k < program.code[open].link; ++k) {
    const Descriptor& x = program.code[k];
    if (x.op == Op::BN) c.blank_zero = false;
    if (x.op == Op::BZ) c.blank_zero = true;
    if (x.op == Op::P) c.scale = x.w;
    if (x.op == Op::S) c.sign = SignMode::processor;
    if (x.op == Op::SP) c.sign = SignMode::plus;
    if (x.op == Op::SS) c.sign = SignMode::suppress;
  }
}

// Performs a group of control edits as a whole; false when the unit wants
// it edit by edit, or when finishing must stop at a ':' inside.
bool run_control_group(const FormatProgram& program, FormatCursor& c, FormatActions& actions,
                       bool finishing) {
  const Descriptor& g = program.code[c.pc];
  if (!g.control_only || (finishing && g.has_colon)) return false;
  // Empty literals do nothing on output; on input the first one is the
  // error, so it comes before the position when it stands first.
  int first_move = -1, first_literal = -1;
  for (int k = g.link - 1; k > c.pc; --k) {
    Op op = program.code[k].op;
    if (op == Op::X || op == Op::T || op == Op::TL || op == Op::TR) first_move = k;
    if (op == Op::Literal) first_literal = k;
  }
  const bool literal_first = first_literal >= 0 && (first_move < 0 || first_literal < first_move);
  if (literal_first) actions.literal(program.pool, 0);
  if (first_move >= 0) {
    std::int64_t p = 0;
    PositionRules rules;
    if (!actions.position_state(p, rules)) return false;
    if (first_literal >= 0 && !literal_first) actions.literal(program.pool, 0);
    actions.set_position(run_group(program, c.pc, g.repeat, p, rules));
  }
  set_modes(program, c.pc, c);
  c.pc = g.link;
  return true;
}

DataEdit advance(const FormatProgram& program, FormatCursor& c, FormatActions& actions,
                 bool finishing) {
  if (c.left > 0) {
    if (finishing) return DataEdit{};
    --c.left;
    return edit_of(program.code[c.last], c);
  }
  // No item can be transferred through a list without a data edit.
  if (!finishing && !program.has_data) actions.error(ErrorCode::no_data_edit);
  for (;;) {
    const Descriptor& x = program.code[c.pc];
    switch (x.op) {
      case Op::I:
      case Op::F:
      case Op::E:
      case Op::D:
      case Op::G:
      case Op::A:
      case Op::L:
        if (finishing) return DataEdit{};
        c.last = c.pc++;
        c.left = x.repeat - 1;
        return edit_of(x, c);
      case Op::X:
      case Op::T:
      case Op::TL:
      case Op::TR:
        actions.position(x.op, x.w);
        break;
      case Op::Slash:
        for (std::int32_t k = 0; k < x.repeat; ++k) actions.next_record();
        break;
      case Op::Colon:
        if (finishing) return DataEdit{};
        break;
      case Op::BN:
        c.blank_zero = false;
        break;
      case Op::BZ:
        c.blank_zero = true;
        break;
      case Op::P:
        c.scale = x.w;
        break;
      case Op::S:
        c.sign = SignMode::processor;
        break;
      case Op::SP:
        c.sign = SignMode::plus;
        break;
      case Op::SS:
        c.sign = SignMode::suppress;
        break;
      case Op::Literal:
        actions.literal(program.pool + x.text, x.length);
        break;
      case Op::GroupOpen:
        if (run_control_group(program, c, actions, finishing)) break;
        c.group_at[c.depth] = c.pc;
        c.group_left[c.depth] = x.repeat;
        ++c.depth;
        break;
      case Op::GroupClose:
        if (--c.group_left[c.depth - 1] > 0) {
          c.pc = c.group_at[c.depth - 1];
        } else {
          --c.depth;
        }
        break;
      case Op::End:
        if (finishing) return DataEdit{};
        if (!program.reversion_has_data) actions.error(ErrorCode::no_data_edit);
        actions.next_record();
        c.depth = 0;
        c.pc = program.reversion;
        continue;
      case Op::SyntaxError:
        actions.error(static_cast<ErrorCode>(x.text));
    }
    ++c.pc;
  }
}

}  // namespace

void compile_format(std::string_view text, FormatProgram& program) {
  program.count = 0;
  program.pool_used = 0;
  program.reversion = 0;
  program.reversion_has_data = false;
  Compiler compiler{text, program};
  compiler.run();
  compiler.summarise();
}

void start_format(FormatCursor& cursor) {
  cursor.pc = 0;
  cursor.last = -1;
  cursor.left = 0;
  cursor.depth = 0;
  cursor.blank_zero = false;
  cursor.scale = 0;
  cursor.sign = SignMode::processor;
}

DataEdit next_data_edit(const FormatProgram& program, FormatCursor& cursor,
                        FormatActions& actions) {
  return advance(program, cursor, actions, false);
}

void finish_format(const FormatProgram& program, FormatCursor& cursor, FormatActions& actions) {
  advance(program, cursor, actions, true);
}

void compile_format_once(std::string_view text, CompiledFormat& format) {
  if (static_cast<std::int32_t>(text.size()) == format.length &&
      (text.empty() || std::memcmp(text.data(), format.text, text.size()) == 0))
    return;
  compile_format(text, format.program);
  format.length = -1;
  if (!text.empty() && text.size() <= sizeof format.text) {
    std::memcpy(format.text, text.data(), text.size());
    format.length = static_cast<std::int32_t>(text.size());
  }
}

}  // namespace plix
