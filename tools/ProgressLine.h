//===- ProgressLine.h - A job's progress on one line of the console ------===//
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "core/JobProgress.h"

namespace lexset {

// Shows how a job goes on one line of standard error, rewritten in place,
// once the job has run for a second; silent when told to be, which the
// caller does when standard error is not a console, or is the console the
// result goes to.
class ProgressLine final : public JobProgress {
 public:
  explicit ProgressLine(bool shown);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Update(const JobProgressReport& report) override;
  // Removes the line, if one is shown, before a message takes its place.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;

  void Show(const std::string& text);

  bool shown_;
  Clock::time_point start_;
  Clock::time_point last_;
  JobProgressReport last_report_;  // the last one shown
  std::size_t width_ = 0;  // columns of the line on the screen
};

}  // namespace lexset
