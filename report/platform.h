// Worker threads with a stack size of their own: a thread started without
// one takes the user's stack limit as its size on some systems, and a small
// limit must not matter to the engine.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace plix {

class WorkerThread {
 public:
  WorkerThread() noexcept;
  WorkerThread(WorkerThread&&) noexcept;
  WorkerThread& operator=(WorkerThread&&) = delete;
  ~WorkerThread();  // joins a thread not joined yet

  // Starts `body` on a new thread of `stack_bytes` of stack; false when the
  // system refuses the thread (or memory for it), and nothing runs.
  bool start(std::function<void()> body, std::size_t stack_bytes);
  void join();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace plix
