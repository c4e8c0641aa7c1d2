#include "textio/format.h"

#include <cstring>

namespace plix {

namespace {

constexpr std::int32_t MAX_FORMAT_NUMBER = 99999999;
// Control edits interpreted without reaching a data edit before the format
// is taken to loop (nested repeat counts of position edits only).
constexpr long MAX_FORMAT_STEPS = 1L << 22;

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
    if (get() != '(') return fail(ErrorCode::no_opening_paren);
    while (!stopped) {
      char c = peek();
      if (c == 0) return fail(ErrorCode::no_closing_paren);
      if (c == ',') {
        get();
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
    }
    p.reversion = last_top_group >= 0 ? last_top_group : 0;
    p.reversion_has_data = false;
    for (int k = p.reversion; k < p.count; ++k)
      if (is_data_edit(p.code[k].op)) p.reversion_has_data = true;
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

DataEdit advance(const FormatProgram& program, FormatCursor& c, FormatActions& actions,
                 bool finishing) {
  if (c.left > 0) {
    if (finishing) return DataEdit{};
    --c.left;
    return edit_of(program.code[c.last], c);
  }
  for (long steps = 0;; ++steps) {
    if (steps > MAX_FORMAT_STEPS) actions.error(ErrorCode::endless_format);
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
