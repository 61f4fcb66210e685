//===- Workers.cpp - Helper threads that take tasks off the job's thread -===//
#include "core/Workers.h"

#include <utility>

namespace lexset {

Workers::Workers(unsigned threads) {
  for (unsigned i = 1; i < threads; ++i) helpers_.push_back(std::make_unique<SystemThread>(&HelperLoop, this));
}

Workers::~Workers() {
  {
    MutexHolder hold(mutex_);
    ending_ = true;
  }
  queued_.WakeAll();
  helpers_.clear();
}

void Workers::HelperLoop(void* argument) {
  auto& workers = *static_cast<Workers*>(argument);
  for (;;) {
    Task task;
    {
      MutexHolder hold(workers.mutex_);
      while (workers.queue_.empty() && !workers.ending_) workers.queued_.Wait(workers.mutex_);
      if (workers.queue_.empty()) return;
      task = std::move(workers.queue_.front());
      workers.queue_.pop_front();
    }
    workers.RunTask(task);
  }
}

void Workers::RunTask(Task& task) {
  std::exception_ptr error;
  try {
    task.run();
  } catch (...) {
    error = std::current_exception();
  }
  task.run = nullptr;  // what the task holds goes before its group hears it ended
  {
    MutexHolder hold(mutex_);
    if (error && !task.group->error_) task.group->error_ = error;
    --task.group->pending_;
  }
  done_.WakeAll();
}

void TaskGroup::Run(std::function<void()> task) {
  if (workers_ == nullptr || workers_->helpers_.empty()) {
    if (!error_) {
      try {
        task();
      } catch (...) {
        error_ = std::current_exception();
      }
    }
    return;
  }
  {
    MutexHolder hold(workers_->mutex_);
    ++pending_;
    workers_->queue_.push_back(Workers::Task{this, std::move(task)});
  }
  workers_->queued_.WakeOne();
}

void TaskGroup::Wait() {
  if (workers_ != nullptr && !workers_->helpers_.empty()) {
    Workers& workers = *workers_;
    for (;;) {
      Workers::Task task;
      {
        MutexHolder hold(workers.mutex_);
        if (pending_ == 0) break;
        if (workers.queue_.empty()) {
          workers.done_.Wait(workers.mutex_);
          continue;
        }
        task = std::move(workers.queue_.front());
        workers.queue_.pop_front();
      }
      workers.RunTask(task);
    }
  }
  if (error_) {
    std::exception_ptr error = std::exchange(error_, nullptr);
    std::rethrow_exception(error);
  }
}

TaskGroup::~TaskGroup() {
  try {
    Wait();
  } catch (...) {
  }
}

}  // namespace lexset
