//===- Workers.h - Helper threads that take tasks off the job's thread ---===//
//
// A job may be given threads besides its own. Tasks are queued in groups;
// a group's tasks run on the helpers, and the thread that waits for a group
// runs queued tasks itself meanwhile, so that no thread idles while work
// is queued. With no helpers, a task runs at once on the caller's thread:
// the job then runs exactly as it would without workers.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "core/SystemThreads.h"

namespace lexset {

class TaskGroup;

class Workers {
 public:
  // `threads` in all, the caller's included: threads - 1 helpers.
  explicit Workers(unsigned threads);
  // Waits for the helpers to finish their tasks and end.
  ~Workers();
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  unsigned threads() const { return static_cast<unsigned>(helpers_.size()) + 1; }

 private:
  friend class TaskGroup;
  struct Task {
    TaskGroup* group;
    std::function<void()> run;
  };
  static void HelperLoop(void* workers);
  // Runs `task`, noting in its group what it threw, and that it is done.
  // Called without the lock.
  void RunTask(Task& task);

  SystemMutex mutex_;
  SystemSignal queued_;  // a task was queued, or the helpers should end
  SystemSignal done_;    // a task ended
  std::deque<Task> queue_;
  bool ending_ = false;
  std::vector<std::unique_ptr<SystemThread>> helpers_;
};

// Tasks that are waited for together.
class TaskGroup {
 public:
  // Without workers, or with no helpers, tasks run at once on Run's caller.
  explicit TaskGroup(Workers* workers) : workers_(workers) {}
  // Waits for the group's tasks; what they threw is lost.
  ~TaskGroup();
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;

  void Run(std::function<void()> task);
  // Waits until every task run so far has ended, running queued tasks
  // meanwhile; then rethrows the first exception a task threw, if any.
  void Wait();

 private:
  friend class Workers;
  Workers* workers_;
  std::size_t pending_ = 0;  // under the workers' lock
  std::exception_ptr error_;
};

}  // namespace lexset
