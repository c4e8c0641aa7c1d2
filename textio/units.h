// The record units of a run: the state of standard input and output.
#pragma once

#include "textio/textio.h"

namespace plix {

struct TextIO {
  TextIO(ByteSource& in, ByteSink& out, ByteSink& err) : in(in), out(out), err(err) {}
  ByteSource& in;
  ByteSink& out;
  ByteSink& err;
};

}  // namespace plix
