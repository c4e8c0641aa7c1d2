#include "run/results.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "report/bootstrap.h"
#include "report/names.h"
#include "report/results.h"
#include "report/tree.h"
#include "report/tree_output.h"
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

// How a language is named in messages: its header name, code and record.
std::string language_in_message(const RunState& run, int slot) {
  std::string text = "'";
  text += header_name(run.origins, slot);
  text += "' (code ";
  text += language_code(run.origins, slot);
  text += ", record ";
  text += std::to_string(run.origins.header_record[slot]);
  text += ")";
  return text;
}

// The tree dated at depths first..last, with the intervals of --bootstrap.
// A pair without a similarity ends the run, unless the tree serves only the
// table's parent ages: then there is no tree.
std::unique_ptr<ClassificationTree> dated_tree(RunState& run, const RunOptions& options, int first,
                                               int last, bool required) {
  auto tree = std::make_unique<ClassificationTree>();
  build_tree(run.origins, run.scan.language_count, *tree);
  // --bootstrap: the replicates in the same pass, the run's own level
  // from the report's.
  ReplicateSums node_sums;
  TreeReplicates replicates{run.replicates.weights(), &run.replicates.level, &node_sums};
  const bool resample = options.bootstrap > 0;
  const TreeFault fault =
      tally_tree(run.store, run.branches, run.tally, run.params.LEVEL, run.selection.meaning_count,
                 &error_stream(run.io), *tree, first, last, resample ? &replicates : nullptr);
  if (fault.pair.kind != FpFault::none && !required) return nullptr;
  if (fault.pair.kind != FpFault::none) {
    fatal_error(run.io, "the tree needs the similarity of " +
                            language_in_message(run, fault.pair.first) + " and " +
                            language_in_message(run, fault.pair.second) +
                            ", which part at level " + std::to_string(fault.level) + ", but it has no value (" +
                            std::string(fp_fault_text(fault.pair.kind)) +
                            ": the two share no meaning, or no two of their different meanings "
                            "differ); a higher WORDS leaves out languages with so few words");
  }
  if (resample) summarize_replicates(run.params, node_sums, options.bootstrap, *tree);
  return tree;
}

// The dated tree written as Newick, as a picture and as the TREES block of
// the NEXUS file.
void write_tree_files(RunState& run, ResultFiles& files, const ClassificationTree& tree) {
  if (files.tree.is_open()) {
    write_tree_newick(files.tree, run.params, tree, files.names);
    close_result_file(run.io, files.tree);
  }
  if (files.svg.is_open()) {
    write_tree_svg(files.svg, run.params, tree, files.names);
    close_result_file(run.io, files.svg);
  }
  if (files.nexus.is_open()) {
    write_tree_nexus(files.nexus, run.params, tree, files.names);
    close_result_file(run.io, files.nexus);
  }
}

}  // namespace

void open_result_files(TextIO& io, const RunOptions& options, ResultFiles& files) {
  open_one(io, files.table, options.table);
  open_one(io, files.pairs, options.pairs);
  open_one(io, files.matrix, options.matrix);
  if (!options.matrix.empty()) open_one(io, files.matrix_names, options.matrix + ".names");
  open_one(io, files.nexus, options.nexus);
  if (!options.nexus.empty()) open_one(io, files.nexus_names, options.nexus + ".names");
  open_one(io, files.tree, options.tree);
  if (!options.tree.empty()) open_one(io, files.tree_names, options.tree + ".names");
  open_one(io, files.svg, options.svg);
}

void close_result_file(TextIO& io, ResultFile& file) {
  if (!file.is_open()) return;
  if (const int error = file.close(); error != 0) fatal_error(io, cannot_write(file, error));
}

std::unique_ptr<PairSink> pair_list_sink(RunState& run, ResultFiles& files) {
  if (!files.pairs.is_open()) return nullptr;
  return pair_list_writer(files.pairs, run.origins, run.store, run.branches,
                          run.scan.language_count, run.params.LEVEL);
}

void write_result_files(RunState& run, const RunOptions& options, ResultFiles& files) {
  close_result_file(run.io, files.pairs);
  if (options.wants_names()) {
    const auto count = static_cast<std::size_t>(run.scan.language_count);
    if (!make_language_names(run.origins, run.scan.language_count, files.names))
      table_out_of_memory(run.io, files.names.name.what(), "languages", count + 1,
                          files.names.name.bytes_for(count));
    for (ResultFile* key : {&files.matrix_names, &files.nexus_names, &files.tree_names}) {
      if (!key->is_open()) continue;
      write_names_key(*key, run.origins, files.names);
      close_result_file(run.io, *key);
    }
  }
  if (files.matrix.is_open() || files.nexus.is_open()) {
    write_distance_files(run.io, run.store, run.origins, files.names, run.scan.language_count,
                         run.selection.meaning_count, files.matrix.is_open() ? &files.matrix : nullptr,
                         files.nexus.is_open() ? &files.nexus : nullptr);
    close_result_file(run.io, files.matrix);
  }
  // The tree after the matrix, whose message names a pair without a
  // similarity first; the table needs only the run's depth and its parent's,
  // the tree files and the intervals every depth.
  std::unique_ptr<ClassificationTree> tree;
  if (options.needs_tree()) {
    tree = dated_tree(run, options, 0, INT32_MAX, true);
  } else if (files.table.is_open() && run.params.LEVEL > 0) {
    tree = dated_tree(run, options, run.params.LEVEL - 1, run.params.LEVEL, false);
  }
  if (files.table.is_open()) {
    write_node_table(files.table, run.params, run.branches, run.tally, run.store,
                     run.scan.language_count, run.selection.meaning_count, tree.get());
    close_result_file(run.io, files.table);
  }
  if (tree && (options.wants_tree() || files.nexus.is_open())) write_tree_files(run, files, *tree);
}

namespace {

// The message of a commit that failed at `file`; puts back every file
// already in place and names them.
int undo_commit(const std::vector<ResultFile*>& list, const std::string& what, ByteSink& err) {
  std::string text = "plix62c: " + what;
  std::string restored, lost;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    ResultFile& f = **it;
    if (!f.committed()) continue;
    const bool had_old = !f.old_path().empty();
    const std::string old = f.old_path();
    if (const int error = f.restore(); error != 0) {
      lost += "; " + f.path() + " could not be put back (" + std::strerror(error) + ")";
      if (had_old) lost += ": the old file is " + old;
      continue;
    }
    restored += (restored.empty() ? "" : ", ") + f.path();
  }
  for (ResultFile* f : list) f->drop_old();
  if (restored.empty() && lost.empty()) text += "; no result file was changed";
  if (!restored.empty()) text += "; the files already in place were put back as they were: " + restored;
  text += lost + "\n";
  err.write(text.data(), text.size());
  return 1;
}

int put_in_place(const std::vector<ResultFile*>& list, ByteSink& err) {
  for (ResultFile* f : list)
    if (const int error = f->keep_old(); error != 0)
      return undo_commit(list, "cannot put the finished " + f->path() + " in place: " + std::strerror(error),
                         err);
  for (ResultFile* f : list)
    if (const int error = f->commit(); error != 0)
      return undo_commit(list, "cannot put the finished " + f->path() + " in place: " + std::strerror(error),
                         err);
  for (ResultFile* f : list)
    if (const int error = f->sync_folder(); error != 0)
      return undo_commit(list, "cannot flush the folder of " + f->path() + " to the disk: " +
                                   std::strerror(error), err);
  for (ResultFile* f : list) f->drop_old();
  return 0;
}

}  // namespace

int commit_result_files(ResultFiles& files, ByteSink& err) {
  std::vector<ResultFile*> list;
  for (ResultFile* file : files.all)
    if (!file->path().empty()) list.push_back(file);
  if (list.empty()) return 0;
  // A signal now is handled once every file is in place or put back.
  begin_commit();
  const int status = put_in_place(list, err);
  end_commit();
  return status;
}

}  // namespace plix
