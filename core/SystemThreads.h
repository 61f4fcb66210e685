//===- SystemThreads.h - Threads, locks and signals of the system --------===//
//
// The few threading primitives the job's workers need, implemented per
// platform: MinGW's win32 thread model has no std::thread or std::mutex, and
// the Windows programs need no DLL for them.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <memory>

namespace lexset {

// The processors the system gives this process, at least 1.
unsigned ProcessorCount();

class SystemMutex {
 public:
  SystemMutex();
  ~SystemMutex();
  SystemMutex(const SystemMutex&) = delete;
  SystemMutex& operator=(const SystemMutex&) = delete;
  void Lock();
  void Unlock();

 private:
  friend class SystemSignal;
  struct State;
  std::unique_ptr<State> state_;
};

// Holds a mutex for its lifetime.
class MutexHolder {
 public:
  explicit MutexHolder(SystemMutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexHolder() { mutex_.Unlock(); }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;

 private:
  SystemMutex& mutex_;
};

// A condition variable: Wait releases the mutex, held by the caller, until
// woken (or spuriously), and takes it again.
class SystemSignal {
 public:
  SystemSignal();
  ~SystemSignal();
  SystemSignal(const SystemSignal&) = delete;
  SystemSignal& operator=(const SystemSignal&) = delete;
  void Wait(SystemMutex& mutex);
  void WakeOne();
  void WakeAll();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A thread running `body(argument)` from its start until it is joined.
class SystemThread {
 public:
  using Body = void (*)(void* argument);
  // Throws std::bad_alloc (or std::system_error) if the thread cannot start.
  SystemThread(Body body, void* argument);
  // Waits for the thread to end.
  ~SystemThread();
  SystemThread(const SystemThread&) = delete;
  SystemThread& operator=(const SystemThread&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace lexset
