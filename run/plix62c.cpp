// Entry point: binds the process's standard streams and runs the program.
#include <signal.h>
#include <unistd.h>

#include "run/check.h"
#include "run/run.h"
#include "run/options.h"
#include "textio/result_file.h"

namespace {

bool is_terminal(int fd) { return isatty(fd) == 1; }

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe must come back as a failed write, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  plix::remove_temporaries_on_signals();
  plix::FdSource in(0);
  plix::FdSink out(1);
  plix::FdSink err(2);
  plix::RunOptions options;
  if (int status = plix::parse_options(argc, argv, options, out, err); status >= 0) return status;
  if (int status = plix::refuse_shared_files(options, 0, 1, err); status >= 0) return status;
  in.console = is_terminal(0);
  out.console = is_terminal(1);
  err.console = is_terminal(2);
  if (int status = plix::run_diagnostic_mode(options, in, out, err); status >= 0) return status;
  return plix::run_program(in, out, err, options);
}
