#include "report/platform.h"

#include <pthread.h>

#include <new>

namespace plix {

struct WorkerThread::State {
  pthread_t id;
  std::function<void()> body;
  bool running = false;
};

namespace {

void* run_body(void* state) {
  static_cast<std::function<void()>*>(state)->operator()();
  return nullptr;
}

}  // namespace

WorkerThread::WorkerThread() noexcept = default;
WorkerThread::WorkerThread(WorkerThread&&) noexcept = default;

WorkerThread::~WorkerThread() { join(); }

bool WorkerThread::start(std::function<void()> body, std::size_t stack_bytes) {
  join();
  state_.reset(new (std::nothrow) State{});
  if (!state_) return false;
  state_->body = std::move(body);
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  bool started = pthread_attr_setstacksize(&attr, stack_bytes) == 0 &&
                 pthread_create(&state_->id, &attr, run_body, &state_->body) == 0;
  pthread_attr_destroy(&attr);
  state_->running = started;
  return started;
}

void WorkerThread::join() {
  if (!state_ || !state_->running) return;
  pthread_join(state_->id, nullptr);
  state_->running = false;
}

}  // namespace plix
