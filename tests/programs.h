// The programs of the build as the tests start them: through the
// cross-compiling emulator when the build has one, so that a cross build's
// suite runs its own programs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef PLIX_EMULATOR
#define PLIX_EMULATOR ""
#endif

namespace plix {

// The emulator and its arguments, one word each; empty for a native build.
inline std::vector<std::string> emulator_words() {
  std::vector<std::string> words;
  std::istringstream in(PLIX_EMULATOR);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

inline bool under_emulator() { return !emulator_words().empty(); }

// Resource limits set on a started program bind the emulator that runs it,
// which needs more than the program: such tests say so and skip.
#define PLIX_SKIP_LIMITS_UNDER_EMULATOR()                                                    \
  if (::plix::under_emulator())                                                              \
  GTEST_SKIP() << "under the emulator " PLIX_EMULATOR ", a resource limit binds the emulator, " \
                  "not the program"

// `binary` as the first words of a shell command, each quoted.
inline std::string program_command(const std::string& binary) {
  std::string command;
  for (const std::string& w : emulator_words()) command += "'" + w + "' ";
  return command + "'" + binary + "'";
}

// The argument vector that starts `binary` with `args` (for exec and spawn).
inline std::vector<std::string> program_argv(const std::string& binary,
                                             const std::vector<std::string>& args = {}) {
  std::vector<std::string> argv = emulator_words();
  argv.push_back(binary);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

// Replaces this process with `binary` and `args`; returns only when that fails.
inline void exec_program(const std::string& binary, const std::vector<std::string>& args = {}) {
  const std::vector<std::string> words = program_argv(binary, args);
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
}

// Exit status, standard output and standard error of a shell command.
struct ShellResult {
  int status = -1;
  std::string out, err;
};

inline ShellResult run_shell(const std::string& command, const std::string& err_file) {
  ShellResult r;
  FILE* pipe = popen((command + " 2>'" + err_file + "'").c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err_file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  r.err = text.str();
  std::remove(err_file.c_str());
  return r;
}

}  // namespace plix
