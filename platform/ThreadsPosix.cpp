//===- ThreadsPosix.cpp - Threads, locks and signals on POSIX systems ----===//
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/SystemThreads.h"

namespace lexset {

unsigned ProcessorCount() {
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 1 ? static_cast<unsigned>(online) : 1u;
}

struct SystemMutex::State {
  std::mutex mutex;
};
SystemMutex::SystemMutex() : state_(new State) {}
SystemMutex::~SystemMutex() = default;
void SystemMutex::Lock() { state_->mutex.lock(); }
void SystemMutex::Unlock() { state_->mutex.unlock(); }

struct SystemSignal::State {
  std::condition_variable_any signal;
};
SystemSignal::SystemSignal() : state_(new State) {}
SystemSignal::~SystemSignal() = default;
void SystemSignal::Wait(SystemMutex& mutex) { state_->signal.wait(mutex.state_->mutex); }
void SystemSignal::WakeOne() { state_->signal.notify_one(); }
void SystemSignal::WakeAll() { state_->signal.notify_all(); }

struct SystemThread::State {
  std::thread thread;
};
SystemThread::SystemThread(Body body, void* argument) : state_(new State) {
  state_->thread = std::thread(body, argument);
}
SystemThread::~SystemThread() { state_->thread.join(); }

}  // namespace lexset
