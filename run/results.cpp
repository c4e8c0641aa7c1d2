#include "run/results.h"

#include <cstring>
#include <string>

#include "report/names.h"
#include "run/run_state.h"
#include "textio/textio.h"

namespace plix {

namespace {

std::string cannot_write(const ResultFile& file, int error) {
  return "cannot write " + file.path() + ": " + std::strerror(error);
}

void open_one(TextIO& io, ResultFile& file, const std::string& path) {
  if (path.empty()) return;
  if (const int error = file.open(path); error != 0) fatal_error(io, cannot_write(file, error));
}

}  // namespace

void open_result_files(TextIO& io, const RunOptions& options, ResultFiles& files) {
  if (!options.matrix.empty()) open_one(io, files.matrix_names, options.matrix + ".names");
  if (!options.nexus.empty()) open_one(io, files.nexus_names, options.nexus + ".names");
}

void close_result_file(TextIO& io, ResultFile& file) {
  if (!file.is_open()) return;
  if (const int error = file.close(); error != 0) fatal_error(io, cannot_write(file, error));
}

void write_result_files(RunState& run, const RunOptions& options, ResultFiles& files) {
  if (options.wants_names()) {
    make_language_names(run.origins, run.scan.language_count, files.names);
    for (ResultFile* key : {&files.matrix_names, &files.nexus_names}) {
      if (!key->is_open()) continue;
      write_names_key(*key, run.origins, files.names);
      close_result_file(run.io, *key);
    }
  }
}

int commit_result_files(ResultFiles& files, ByteSink& err) {
  for (ResultFile* file : files.all) {
    if (file->path().empty()) continue;
    if (const int error = file->commit(); error != 0) {
      const std::string text = "plix62c: cannot rename the finished " + file->path() + " into place: " +
                               std::strerror(error) + "\n";
      err.write(text.data(), text.size());
      return 1;
    }
  }
  return 0;
}

}  // namespace plix
