//===- JobProgress.h - Where a long job stands ----------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>

namespace lexset {

struct JobProgressReport {
  enum class Stage {
    kReading,   // the sources
    kSpilling,  // words that fill the memory limit go to a run file
    kMerging,   // runs are merged, in a pass before the last or into the result
    kWriting,   // the words in memory are sorted and written to the result
  };
  Stage stage = Stage::kReading;
  std::uint64_t bytes_read = 0;   // of all sources, as stored
  std::uint64_t total_bytes = 0;  // of all sources; 0 when not known (a pipe)
  std::size_t runs_written = 0;   // spilled from memory or made by merging
  std::size_t runs_merging = 0;   // runs in the merge under way
};

// Told how a job goes: after every block read from a source, and whenever
// the job moves to another stage. Called on the job's own thread, so it
// must be quick; it decides itself how often to show anything.
class JobProgress {
 public:
  virtual ~JobProgress() = default;
  virtual void Update(const JobProgressReport& report) = 0;
};

// The report of a job as it goes, passed on to a JobProgress if there is
// one; costs a test and nothing else if there is none.
class ProgressTracker {
 public:
  using Stage = JobProgressReport::Stage;

  explicit ProgressTracker(JobProgress* progress, std::uint64_t total_bytes = 0) : progress_(progress) {
    report_.total_bytes = total_bytes;
  }

  bool active() const { return progress_ != nullptr; }
  void Read(std::uint64_t bytes) {
    report_.bytes_read += bytes;
    Tell();
  }
  void Enter(Stage stage, std::size_t runs_merging = 0) {
    report_.stage = stage;
    report_.runs_merging = runs_merging;
    Tell();
  }
  // A run has been written; the job goes back to `stage`.
  void RunWritten(Stage stage) {
    ++report_.runs_written;
    Enter(stage);
  }

 private:
  void Tell() {
    if (progress_ != nullptr) progress_->Update(report_);
  }

  JobProgress* progress_;
  JobProgressReport report_;
};

}  // namespace lexset
