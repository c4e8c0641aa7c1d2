#include "run/usage.h"

#include <cstring>

#include "distance/engine.h"
#include "textio/textio.h"

#ifndef PLIX_VERSION
#define PLIX_VERSION "unknown"
#endif

namespace plix {

std::string_view usage_text() {
  return "Usage: plix62c < INPUT > REPORT\n"
         "       plix62c OPTION... < INPUT > REPORT\n"
         "       plix62c --check < INPUT\n"
         "       plix62c --calibrate AGES [--tree FILE] [--svg FILE] < INPUT\n"
         "       plix62c --help | --version\n"
         "\n"
         "Dates language groups by lexicostatistics: reads one input stream on\n"
         "standard input and writes one report on standard output.\n"
         "\n"
         "The input stream holds, in this order:\n"
         "  1. the parameter record: SYNONYMS, WORDS, DATE, LEVEL, S0, R\n"
         "  2. the format record and the selected meaning numbers, ended by 0\n"
         "  3. the sound inventory, one symbol per record, ended by a blank record\n"
         "  4. one record that is passed over\n"
         "  5. the word-list database, ended by a record with a blank first column\n"
         "\n"
         "The report lists every dated classification node: its branches with\n"
         "their numbers of languages, the number of cross-branch language pairs,\n"
         "their mean similarity and an age in years before present.\n"
         "The input format is described in the manual page plix62c(1) and in the\n"
         "README, section \"Preparing a database\".\n"
         "\n"
         "Options:\n"
         "  --help         print this usage text and exit\n"
         "  --version      print the program name, version and kernel path and exit\n"
         "  --table FILE   write the report's node blocks as a table (TSV) to FILE\n"
         "  --pairs FILE   write every compared language pair and its similarity (TSV)\n"
         "  --matrix FILE  write the distances between all languages (PHYLIP) and FILE.names\n"
         "  --nexus FILE   write the same distances and the dated tree (NEXUS) and FILE.names\n"
         "  --tree FILE    write the dated classification tree (Newick) and FILE.names\n"
         "  --svg FILE     draw the same tree on a time axis (SVG)\n"
         "  --check        list what in the input would spoil a report, one finding a line\n"
         "  --calibrate AGES  fit S0 and R to the known ages of nodes of any depth in AGES;\n"
         "                 with --tree or --svg, the tree dated by the fit, known ages marked\n"
         "  --bootstrap N  resample the meanings N times for intervals on the ages\n"
         "  --seed S       seed of the resampling (default 1)\n"
         "A file name may also follow '=' (--table=FILE); one that begins with '-'\n"
         "is given so (--table=-name) or with its folder (--table ./-name), since\n"
         "an argument that begins with '-' is never taken as a file name.\n"
         "Result files appear only when the run succeeds. Other arguments that do\n"
         "not begin with '-' are ignored.\n"
         "\n"
         "Environment:\n"
         "  PLIX62C_KERNEL  the kernel path to run: portable, avx2, avx512 or\n"
         "                  avx512-bitalg; unset, the processor's best\n"
         "\n"
         "Exit status:\n"
         "  0  the report was written; with --check, there were no findings; with\n"
         "     --calibrate, the table was written\n"
         "  1  a run-time error (bad input, a failed write, a floating-point fault)\n"
         "     or a table limit; the message is on standard error; with --check,\n"
         "     findings were listed, or they could not be written; with --calibrate,\n"
         "     nothing could be fitted\n"
         "  2  a command line that cannot be run (an unknown option, an option\n"
         "     without its file name, two results in one file) or a PLIX62C_KERNEL\n"
         "     this processor cannot run; with --check: the input cannot be read to\n"
         "     its end\n"
         "\n"
         "A run stopped by SIGINT, SIGTERM or SIGHUP removes its unfinished result\n"
         "files and ends by that signal (status 128 + its number in the shell).\n";
}

std::string version_text() {
  const KernelChoice choice = run_kernel_choice();
  return std::string("plix62c " PLIX_VERSION "\nkernel path: ") + engine_isa_name(choice.isa) +
         (choice.from_variable ? " (chosen by PLIX62C_KERNEL)\n" : " (the processor's best)\n");
}

int answer_arguments(int argc, const char* const* argv, ByteSink& out, ByteSink& err) {
  for (int i = 1; i < argc; ++i) {
    std::string text;
    if (std::strcmp(argv[i], "--help") == 0) {
      text = usage_text();
    } else if (std::strcmp(argv[i], "--version") == 0) {
      text = version_text();
    } else {
      continue;
    }
    if (int error = out.write(text.data(), text.size()); error != 0) {
      report_write_failure(err, error);
      return 1;
    }
    return 0;
  }
  return -1;
}

}  // namespace plix
