// The stream check (--check) and the calibration of S0 and R (--calibrate):
// runs that read the input as a run does and write, instead of the report,
// findings about the stream or the fitted retention parameters.
#pragma once

#include <string>

#include "run/options.h"
#include "textio/byte_stream.h"

namespace plix {

// Reads the stream and writes one finding per line on `out`, then a short
// summary. Returns 0 without findings, 1 with some or when `out` cannot be
// written (reported on `err` as every failed write), 2 when the stream
// cannot be read to its end-of-data record (the error report is then on
// `err`).
int check_program(ByteSource& in, ByteSink& out, ByteSink& err);

// Runs the stream as a run does, then fits S0 and R to the known ages of
// `ages` (the text of the ages file) and writes the table on `out`. With
// --tree or --svg in `options` the tree is written too, dated with the
// fitted S0 and R, its nodes of known age marked; the files are put in
// place after the table, and none is left on any error.
// Returns 0, or 1 after an error of the run or when nothing can be fitted.
int calibrate_program(ByteSource& in, ByteSink& out, ByteSink& err, const std::string& ages,
                      const RunOptions* options = nullptr);

// The diagnostic mode of the command line: --check, or --calibrate FILE.
// Returns the exit status, or -1 when neither is given (a plain run).
// A missing or unreadable FILE is reported on `err`, status 1.
int run_diagnostic_mode(const RunOptions& options, ByteSource& in, ByteSink& out, ByteSink& err);

}  // namespace plix
