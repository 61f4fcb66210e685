//===- ThreadsWin32.cpp - Threads, locks and signals on Windows ----------===//
#include <windows.h>

#include <new>

#include "core/SystemThreads.h"

namespace lexset {

unsigned ProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  unsigned count = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    for (; process != 0; process &= process - 1) ++count;
  }
  if (count == 0) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    count = info.dwNumberOfProcessors;
  }
  return count > 1 ? count : 1u;
}

// Slim reader/writer locks and condition variables need no cleaning up.
struct SystemMutex::State {
  SRWLOCK lock = SRWLOCK_INIT;
};
SystemMutex::SystemMutex() : state_(new State) {}
SystemMutex::~SystemMutex() = default;
void SystemMutex::Lock() { AcquireSRWLockExclusive(&state_->lock); }
void SystemMutex::Unlock() { ReleaseSRWLockExclusive(&state_->lock); }

struct SystemSignal::State {
  CONDITION_VARIABLE signal = CONDITION_VARIABLE_INIT;
};
SystemSignal::SystemSignal() : state_(new State) {}
SystemSignal::~SystemSignal() = default;
void SystemSignal::Wait(SystemMutex& mutex) {
  SleepConditionVariableSRW(&state_->signal, &mutex.state_->lock, INFINITE, 0);
}
void SystemSignal::WakeOne() { WakeConditionVariable(&state_->signal); }
void SystemSignal::WakeAll() { WakeAllConditionVariable(&state_->signal); }

struct SystemThread::State {
  // A thread's start routine has the system's calling convention.
  static DWORD WINAPI Start(void* p) {
    auto* state = static_cast<State*>(p);
    state->body(state->argument);
    return 0;
  }
  HANDLE thread = nullptr;
  Body body = nullptr;
  void* argument = nullptr;
};

SystemThread::SystemThread(Body body, void* argument) : state_(new State) {
  state_->body = body;
  state_->argument = argument;
  state_->thread = CreateThread(nullptr, 0, &State::Start, state_.get(), 0, nullptr);
  if (state_->thread == nullptr) throw std::bad_alloc();
}
SystemThread::~SystemThread() {
  WaitForSingleObject(state_->thread, INFINITE);
  CloseHandle(state_->thread);
}

}  // namespace lexset
