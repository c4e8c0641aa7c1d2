// Console mode: standard input and output both terminals share one record
// unit. Shown with the units directly and with the program on a
// pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/textio_harness.h"
#include "tests/programs.h"

namespace plix {
namespace {

TEST(ConsoleUnits, OwedLineEndIsWrittenBeforeARead) {
  StringSource in("typed\n");
  StringSink out, err;
  in.console = out.console = true;
  TextIO io(in, out, err);
  char c[5];
  try {
    begin_write(io, "(' prompt')");
    end_write(io);
    EXPECT_EQ(out.data, "prompt");
    begin_read(io, "(5A1)");
    EXPECT_EQ(out.data, "prompt\r\n");
    read_characters(io, c, 5);
    end_read(io);
    begin_write(io, "(' next')");
    end_write(io);
    stop_run(io);
  } catch (const RunEnd& end) {
    EXPECT_EQ(end.status, 0);
  }
  EXPECT_EQ(std::string(c, 5), "typed");
  // The same bytes as with separate units.
  EXPECT_EQ(out.data, "prompt\r\nnext\r\nStop - Program terminated.\r\n");
}

TEST(ConsoleUnits, TypedLinesOfMoreThan130CharactersAreAnError) {
  for (int length : {130, 131}) {
    StringSource in(std::string(static_cast<std::size_t>(length), 'x') + "\r\n");
    StringSink out, err;
    in.console = out.console = true;
    TextIO io(in, out, err);
    char c;
    int status = -1;
    try {
      begin_read(io, "(A1)");
      read_character(io, c);
      end_read(io);
    } catch (const RunEnd& end) {
      status = end.status;
    }
    EXPECT_EQ(status, length == 131 ? 1 : -1);
    EXPECT_EQ(err.data, length == 131
                            ? testing::read_report(6407, "console line longer than 130 characters")
                            : "");
  }
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the program with a pseudo-terminal as standard input and output,
// types `typed` on it, and collects what it writes until it exits.
Outcome run_on_terminal(const std::string& typed) {
  Outcome result;
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return result;
  const char* slave_name = ptsname(master);
  int err_pipe[2];
  if (slave_name == nullptr || pipe(err_pipe) != 0) return result;
  std::string slave_path = slave_name;
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int slave = open(slave_path.c_str(), O_RDWR);
    if (slave < 0) _exit(120);
    termios t;
    tcgetattr(slave, &t);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ISIG);  // Ctrl-Z is a byte, not a signal
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);        // output bytes as written
    tcsetattr(slave, TCSANOW, &t);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(err_pipe[1], 2);
    close(slave);
    close(master);
    close(err_pipe[0]);
    close(err_pipe[1]);
    exec_program(PLIX62C_BINARY);
    _exit(121);
  }
  close(err_pipe[1]);
  // Wait until the terminal is set up before typing.
  for (int i = 0; i < 200; ++i) {
    termios t;
    if (tcgetattr(master, &t) == 0 && !(t.c_lflag & ECHO)) break;
    usleep(10000);
  }
  usleep(50000);
  if (write(master, typed.data(), typed.size()) < 0) ADD_FAILURE() << "typing failed";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool err_open = true, master_open = true;
  char buffer[4096];
  while ((err_open || master_open) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2] = {{master, POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    if (poll(fds, 2, 100) <= 0) {
      int status;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        pid = -1;
        master_open = false;  // a slave closed by the exit reads as EIO or nothing
      }
      continue;
    }
    if (master_open && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0)
        result.out.append(buffer, static_cast<std::size_t>(n));
      else
        master_open = false;
    }
    if (err_open && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      ssize_t n = read(err_pipe[0], buffer, sizeof buffer);
      if (n > 0)
        result.err.append(buffer, static_cast<std::size_t>(n));
      else
        err_open = false;
    }
  }
  // Both streams closed: the program is exiting; reap it, or stop it.
  while (pid > 0) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      pid = -1;
    } else if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      pid = -1;
      ADD_FAILURE() << "the program did not end";
    } else {
      usleep(5000);
    }
  }
  close(master);
  close(err_pipe[0]);
  return result;
}

TEST(ConsoleTerminal, LongTypedLineIsError6407) {
  Outcome o = run_on_terminal(std::string(131, '7') + "\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, testing::read_report(6407, "console line longer than 130 characters in record 1, "
                                              "the parameter record"));
  EXPECT_EQ(o.out, "");
}

TEST(ConsoleTerminal, CtrlZThenEnterIsEndOfFile) {
  Outcome o = run_on_terminal("\x1a\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, testing::read_report(6501, "end of file encountered: the parameter record is "
                                              "missing: the input is empty"));
}

}  // namespace
}  // namespace plix
