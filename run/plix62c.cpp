// Entry point: binds the process's standard streams and runs the program.
#include <signal.h>
#include <unistd.h>

#include "run/check.h"
#include "run/run.h"
#include "run/usage.h"

namespace {

bool is_terminal(int fd) { return isatty(fd) == 1; }

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe must come back as a failed write, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  plix::FdSource in(0);
  plix::FdSink out(1);
  plix::FdSink err(2);
  if (int status = plix::answer_arguments(argc, argv, out, err); status >= 0) return status;
  in.console = is_terminal(0);
  out.console = is_terminal(1);
  err.console = is_terminal(2);
  if (int status = plix::run_diagnostic_mode(argc, argv, in, out, err); status >= 0) return status;
  return plix::run_program(in, out, err);
}
