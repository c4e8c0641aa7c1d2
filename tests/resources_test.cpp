// Scarce resources: too little memory, no threads, non-blocking pipes and CPU
// quotas end in the report or in a clear message, never in an abort.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "distance/processors.h"
#include "run/run.h"
#include "run/run_state.h"
#include "tests/programs.h"

namespace plix {
namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string file_text(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// Runs the program (with `option`, if any) in a child that `setup` prepares
// (limits, descriptor flags) and whose standard input, a pipe, `feed` writes
// from here.
template <typename Setup, typename Feed>
Outcome run_child(Setup setup, Feed feed, const char* option = nullptr) {
  char out_path[] = "/tmp/plix-res-XXXXXX", err_path[] = "/tmp/plix-res-XXXXXX";
  const int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
  int in[2];
  if (out_fd < 0 || err_fd < 0 || pipe(in) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0), dup2(out_fd, 1), dup2(err_fd, 2), close(in[0]), close(in[1]);
    if (setup()) {
      std::vector<std::string> args;
      if (option != nullptr) args.push_back(option);
      exec_program(PLIX62C_BINARY, args);
    }
    _exit(123);
  }
  close(in[0]);
  const auto sigpipe = signal(SIGPIPE, SIG_IGN);  // a child that gave up shows in its status
  feed(pid, in[1]);
  close(in[1]);
  signal(SIGPIPE, sigpipe);
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome o{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), file_text(out_path),
            file_text(err_path)};
  close(out_fd), close(err_fd), unlink(out_path), unlink(err_path);
  return o;
}

const std::string kSmall = file_text(std::string(PLIX_SOURCE_DIR) + "/examples/small.txt");
auto writes(const std::string& input) {
  return [&input](pid_t, int fd) { (void)!write(fd, input.data(), input.size()); };
}
Outcome in_process(const std::string& input) {
  StringSource in(input);
  StringSink out, err;
  const int status = run_program(in, out, err);
  return {status, out.data, err.data};
}

// AddressSanitizer reserves terabytes of shadow address space at start: a
// program built with it cannot run under a limit on its address space.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// A database of `count` languages, each its own family, two meanings each.
std::string many_languages(int count) {
  std::string db = "     1     1  1000     1    92    72\n(I3)\n  1\n  2\n  0\np\na\n\nTITLE\n";
  for (int k = 0; k < count; ++k) {
    const char code[4] = {static_cast<char>('a' + k / 676 % 26), static_cast<char>('a' + k / 26 % 26),
                          static_cast<char>('a' + k % 26), 0};
    db += "L|F" + std::to_string(k) + ",G@\n" + std::string(26, ' ') + "1000" + std::string(9, ' ') +
          code + "\n1\tpa\n2\tap\n";
  }
  return db + "\n";
}

TEST(ScarceResources, TooLittleMemoryIsAMessageAfterTheLinesWritten) {
  if (kAddressSanitizer) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
  PLIX_SKIP_LIMITS_UNDER_EMULATOR();
  // 40 MB of address space does not hold the tables of 20,000 languages
  // (8 KB of word codes each): a run, the stream check and a run with a
  // result file end with the message naming the table that could not grow,
  // after the header lines, and leave no result file.
  const std::string db = many_languages(20000);
  const std::string table = "/tmp/plix-res-table-" + std::to_string(getpid());
  const std::string table_option = "--table=" + table;
  const rlimit small{40u << 20, 40u << 20};
  Outcome o;
  for (const char* option : {static_cast<const char*>(nullptr), "--check", table_option.c_str()}) {
    o = run_child([&] { return setrlimit(RLIMIT_AS, &small) == 0; }, writes(db), option);
    // The stream check ends a stream it cannot read to its end with 2.
    const bool check = option != nullptr && std::string(option) == "--check";
    EXPECT_EQ(o.status, check ? 2 : 1);
    if (!check) {
      EXPECT_EQ(o.out, "1 SYNONYMS,  1 WORDS, DATE > 1000, LEVEL  1\r\nS0 = 92%, R = .72\r\n");
    }
    EXPECT_TRUE(std::regex_match(o.err, std::regex("plix62c: out of memory: cannot allocate the [a-z ]+ "
                                                   "for [0-9]+ (languages|branches|slots) \\([0-9]+ bytes\\)\n")))
        << o.err;
  }
  struct stat st;
  EXPECT_NE(stat(table.c_str(), &st), 0);
  // Asleep in its first read, its tables made, the program is limited to
  // what it has plus 6 MB: no room for a work area of the pair engine, and
  // the header lines are written by then. That needs Linux's /proc and
  // prlimit.
#if defined(__linux__) && !defined(PLIX_POSIX_FALLBACK)
  if (access("/proc/self/statm", R_OK) != 0) GTEST_SKIP() << "no /proc: the limit on a sleeping child is not tested";
  o = run_child(
      [] { return true; },
      [](pid_t child, int fd) {
        const std::string proc = "/proc/" + std::to_string(child);
        for (int k = 0; k < 500 && file_text(proc + "/stat").find(") S ") == std::string::npos; ++k)
          usleep(10000);
        long pages = 0;
        std::ifstream(proc + "/statm") >> pages;
        const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (6u << 20);
        const rlimit r{limit, limit};
        EXPECT_EQ(prlimit(child, RLIMIT_AS, &r, nullptr), 0);
        writes(kSmall)(child, fd);
      });
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "1 SYNONYMS,  2 WORDS, DATE > 1000, LEVEL  1\r\nS0 = 92%, R = .72\r\n");
  EXPECT_EQ(o.err.rfind("plix62c: out of memory: cannot allocate the work area of the pair "
                        "engine (",
                        0),
            0u)
      << o.err;
#else
  GTEST_SKIP() << "no prlimit on this system: the limit on a sleeping child is not tested";
#endif
}

TEST(ScarceResources, WorkerThreadsThatCannotStartAreDoneWithout) {
  // One process allowed: no worker starts, the calling thread does every
  // batch. Two: one worker starts, the next is refused. (The limit does not
  // bind root, so the child becomes another user. The leak checker's own
  // thread would be refused too: it is left out.)
  PLIX_SKIP_LIMITS_UNDER_EMULATOR();
  const std::string input = file_text(std::string(PLIX_SOURCE_DIR) + "/examples/generated.txt");
  const Outcome want = in_process(input);
  for (rlim_t processes : {1, 2}) {
    const rlimit r{processes, processes};
    const Outcome o = run_child(
        [&] {
          setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
          return (geteuid() != 0 || setuid(65534) == 0) && setrlimit(RLIMIT_NPROC, &r) == 0;
        },
        writes(input));
    EXPECT_EQ(o.status, 0) << processes << ": " << o.err;
    EXPECT_TRUE(o.out == want.out && want.status == 0) << processes;
  }
  // The all-pairs pass of --matrix likewise, against a run without limits.
  const std::string matrix = "/tmp/plix-res-matrix-" + std::to_string(getpid());
  const std::string option = "--matrix=" + matrix;
  const Outcome free_run = run_child([] { return true; }, writes(input), option.c_str());
  const std::string want_matrix = file_text(matrix);
  ASSERT_EQ(free_run.status, 0) << free_run.err;
  ASSERT_FALSE(want_matrix.empty());
  unlink(matrix.c_str()), unlink((matrix + ".names").c_str());
  const rlimit one{1, 1};
  const Outcome o = run_child(
      [&] {
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        return (geteuid() != 0 || setuid(65534) == 0) && setrlimit(RLIMIT_NPROC, &one) == 0;
      },
      writes(input), option.c_str());
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(file_text(matrix), want_matrix);
  unlink(matrix.c_str()), unlink((matrix + ".names").c_str());
}

TEST(ScarceResources, NonBlockingPipesAreWaitedFor) {
  // 150 nodes with labels of 370 characters: a report of more than a pipe
  // holds, for a slow reader, from the input of a slow writer.
  std::string input = kSmall.substr(0, kSmall.find("WORD LISTS\n") + 11);
  for (int f = 0; f < 300; ++f)
    input += "L|F" + std::to_string(f / 2) + "," + std::string(370, "ab"[f % 2]) + "@\n" +
             std::string(26, ' ') + "1000         l" + "ab"[f % 2] + "\n1\tpat\n2\tkim" +
             "au"[f % 2] + "\n3\tnuk" + "au"[f % 2] + "\n";
  input += "\n";
  const Outcome want = in_process(input);
  ASSERT_GT(want.out.size(), 100000u);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  std::string got;
  // The flag belongs to the open pipe ends, as when a parent sets it.
  const Outcome o = run_child(
      [&] {
        return dup2(out[1], 1) == 1 && fcntl(0, F_SETFL, O_NONBLOCK) == 0 &&
               fcntl(1, F_SETFL, O_NONBLOCK) == 0;
      },
      [&](pid_t, int fd) {
        close(out[1]);
        for (std::size_t at = 0; at < input.size(); at += 4096, usleep(1000))
          if (write(fd, input.data() + at, std::min<std::size_t>(4096, input.size() - at)) < 0)
            break;
        char buffer[8192];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0; usleep(1000))
          got.append(buffer, n);
        close(out[0]);
      });
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(got == want.out) << got.size() << " bytes of " << want.out.size();
}

TEST(ScarceResources, CpuQuotaOfTheGroupOrAnAncestorBinds) {
  EXPECT_EQ(cpu_max_limit("150000 100000\n"), 2);  // rounded up
  EXPECT_EQ(cpu_max_limit("max 100000\n"), 0);
  EXPECT_EQ(cfs_quota_limit("-1\n", "100000\n"), 0);
  char root[] = "/tmp/plix-cgroup-XXXXXX";
  ASSERT_NE(mkdtemp(root), nullptr);
  const std::string r = root;
  for (const char* dir : {"/a", "/a/b", "/cpu", "/cpu/c"}) mkdir((r + dir).c_str(), 0700);
  std::ofstream(r + "/a/cpu.max") << "300000 100000\n";
  std::ofstream(r + "/a/b/cpu.max") << "max 100000\n";
  std::ofstream(r + "/cpu/c/cpu.cfs_quota_us") << "250000\n";
  std::ofstream(r + "/cpu/c/cpu.cfs_period_us") << "100000\n";
  EXPECT_EQ(cgroup_cpu_limit("0::/a/b\n", r), 3);  // the parent's quota
  EXPECT_EQ(cgroup_cpu_limit("4:memory:/x\n3:cpu,cpuacct:/c\n", r), 3);
  EXPECT_EQ(std::system(("rm -rf " + r).c_str()), 0);
}

}  // namespace
}  // namespace plix
