// Result files put in place all or none: a late failure puts back what was
// already replaced, and a signal at any moment of a run leaves no temporary
// and no changed file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/files.h"
#include "run/results.h"
#include "tests/programs.h"
#include "textio/byte_stream.h"

namespace plix {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("plix_commit_" + name + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

fs::path temporary_of(const fs::path& dir, const std::string& name) {
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n.rfind(name + ".", 0) == 0 && n.size() > 4 && n.substr(n.size() - 4) == ".tmp") return e.path();
  }
  return {};
}

TEST(ResultCommit, AllFilesOrNoneAndOldFilesPutBack) {
  enum Fault { none, temporary_gone, folder_in_the_way };
  for (const Fault fault : {none, temporary_gone, folder_in_the_way}) {
    const fs::path dir = scratch("all");
    std::ofstream(dir / "t.tsv") << "old table\n";
    std::ofstream(dir / "m.phy") << "old matrix\n";
    auto files = std::make_unique<ResultFiles>();
    struct {
      ResultFile& file;
      const char* name;
    } made[] = {{files->table, "t.tsv"}, {files->pairs, "p.tsv"}, {files->matrix, "m.phy"},
                {files->svg, "s.svg"}};
    for (auto& m : made) {
      ASSERT_EQ(m.file.open((dir / m.name).string()), 0);
      m.file.write(std::string("new ") + m.name);
      ASSERT_EQ(m.file.close(), 0);
    }
    // The last file fails after the others were renamed, or before any is.
    if (fault == temporary_gone) fs::remove(temporary_of(dir, "s.svg"));
    if (fault == folder_in_the_way) fs::create_directory(dir / "s.svg");
    StringSink err;
    const int status = commit_result_files(*files, err);
    const std::string d = dir.string() + "/";
    if (fault == none) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(err.data, "");
      EXPECT_EQ(entries(dir), (std::vector<std::string>{"m.phy", "p.tsv", "s.svg", "t.tsv"}));
      EXPECT_EQ(slurp(dir / "t.tsv"), "new t.tsv");
      EXPECT_EQ(slurp(dir / "s.svg"), "new s.svg");
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(err.data,
                fault == temporary_gone
                    ? "plix62c: cannot put the finished " + d + "s.svg in place: No such file or directory; "
                      "the files already in place were put back as they were: " + d + "m.phy, " + d + "p.tsv, " +
                      d + "t.tsv\n"
                    : "plix62c: cannot put the finished " + d + "s.svg in place: Is a directory; "
                      "no result file was changed\n");
      std::vector<std::string> left = {"m.phy", "t.tsv"};
      if (fault == folder_in_the_way) left.push_back("s.svg");
      std::sort(left.begin(), left.end());
      files.reset();  // the temporaries not renamed go with their files
      EXPECT_EQ(entries(dir), left);
      EXPECT_EQ(slurp(dir / "t.tsv"), "old table\n");
      EXPECT_EQ(slurp(dir / "m.phy"), "old matrix\n");
    }
    fs::remove_all(dir);
  }
}

// --- signals, sent to the program at moments where it is known to wait ---

// 400 languages in two branches of one node, four meanings each: 40000
// cross-branch pairs: a pair list and a matrix of over 1 MB each, more
// than the file buffer and a pipe hold.
std::string many_languages() {
  std::string text = "     1     2  1000     1    92    72\n(I3)\n  1\n  2\n  3\n  4\n  0\n"
                     "p\na\nt\ni\nk\nu\n\nWORD LISTS\n";
  const char* syllables[] = {"pa", "ti", "ku", "ap", "it", "uk"};
  for (int l = 0; l < 400; ++l) {
    const char code[4] = {static_cast<char>('a' + l / 26 % 26), static_cast<char>('a' + l % 26),
                          static_cast<char>('a' + l / 676), 0};
    text.append("L").append(std::to_string(l)).append("|F,G").append(std::to_string(l % 2)).append("@\n");
    text.append(26, ' ').append("1000").append(9, ' ').append(code).append("\n");
    for (int m = 1; m <= 4; ++m)
      text.append(std::to_string(m)).append("\t").append(syllables[(l + m) % 6]).append(syllables[(l * 7 + m) % 6]).append("\n");
  }
  return text + "\n";
}

struct Child {
  pid_t pid = -1;
  int input = -1;  // write end of its standard input
};

Child spawn(const std::vector<std::string>& args) {
  int in[2];
  if (pipe(in) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const std::vector<std::string> words =
      program_argv(args.front(), std::vector<std::string>(args.begin() + 1, args.end()));
  std::vector<char*> argv;
  for (const std::string& a : words) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Child c;
  if (posix_spawnp(&c.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  c.input = in[1];
  return c;
}

// Waits up to a minute for `ready`; false when it never came.
template <class F>
bool wait_for(F ready) {
  for (int i = 0; i < 6000; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(ResultSignals, LeaveNoTemporaryAndNoChangedFile) {
  signal(SIGPIPE, SIG_IGN);
  const std::string input = many_languages();
  // Reading: the input stops after the parameter record. Counting: the pair
  // list goes to a pipe that is not read. Writing: the matrix does, after
  // the table was written.
  enum Moment { reading, counting, writing };
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    for (const Moment moment : {reading, counting, writing}) {
      const fs::path dir = scratch("signal");
      const std::string d = dir.string() + "/";
      const std::string old = "old " + std::to_string(sig) + "\n";
      for (const char* name : {"t.tsv", "tree.nwk", "p.tsv", "m.phy"}) std::ofstream(dir / name) << old;
      ASSERT_EQ(mkfifo((d + "fifo").c_str(), 0600), 0);
      const int fifo = open((d + "fifo").c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(fifo, 0);
      std::vector<std::string> args = {PLIX62C_BINARY, "--table", d + "t.tsv", "--tree", d + "tree.nwk",
                                       "--pairs", d + (moment == counting ? "fifo" : "p.tsv"),
                                       "--matrix", d + (moment == writing ? "fifo" : "m.phy")};
      const Child child = spawn(args);
      ASSERT_GT(child.pid, 0);
      const std::string sent = moment == reading ? input.substr(0, 37) : input;
      EXPECT_EQ(write(child.input, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
      if (moment == reading) {
        EXPECT_TRUE(wait_for([&] { return !temporary_of(dir, "t.tsv").empty(); }));
      } else {
        close(child.input);
        pollfd p = {fifo, POLLIN, 0};
        EXPECT_EQ(poll(&p, 1, 60000), 1);  // the program fills the pipe and waits
      }
      kill(child.pid, sig);
      int status = 0;
      ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
      if (moment == reading) close(child.input);
      close(fifo);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << " " << moment << " " << status;
      EXPECT_EQ(entries(dir), (std::vector<std::string>{"fifo", "m.phy", "p.tsv", "t.tsv", "tree.nwk"}))
          << sig << " " << moment;
      for (const char* name : {"t.tsv", "tree.nwk", "p.tsv", "m.phy"}) EXPECT_EQ(slurp(dir / name), old) << name;
      fs::remove_all(dir);
    }
  }
}

}  // namespace
}  // namespace plix
