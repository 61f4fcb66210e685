//===- JobProgress.h - Where a long job stands ----------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>

namespace lexset {

// The stages come in this order: reading, with a spill whenever the words
// fill the memory limit, and a merge pass whenever too many run files are
// open; then, if there are run files, sorting what is left in memory and
// the merge passes the last merge needs, if any; and writing the result.
struct JobProgressReport {
  enum class Stage {
    kReading,   // the sources
    kSpilling,  // words that fill the memory limit go to a run file
    kSorting,   // the words still in memory are sorted, to be merged with the runs
    kMerging,   // a merge pass: runs_merging runs become one, before the last merge
    kWriting,   // the result is written: the words in memory, merged with runs_merging runs
  };
  Stage stage = Stage::kReading;
  std::uint64_t bytes_read = 0;   // of all sources, as stored
  std::uint64_t total_bytes = 0;  // of all sources; 0 when not known (a pipe)
  std::size_t runs_written = 0;   // spilled from memory or made by merging
  std::size_t runs_merging = 0;   // runs in the merge under way (kMerging, kWriting)
  std::size_t merge_pass = 0;     // the merge pass under way or last made, from 1
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
  // Bytes of the sources read so far, where they are counted, and in all;
  // 0 where not known.
  std::uint64_t bytes_read() const { return report_.bytes_read; }
  std::uint64_t total_bytes() const { return report_.total_bytes; }
  void Read(std::uint64_t bytes) {
    report_.bytes_read += bytes;
    Tell();
  }
  // Each kMerging begins a merge pass.
  void Enter(Stage stage, std::size_t runs_merging = 0) {
    report_.stage = stage;
    report_.runs_merging = runs_merging;
    if (stage == Stage::kMerging) ++report_.merge_pass;
    Tell();
  }
  // A run has been written; the job goes on in `stage`: back to reading
  // after a spill, or in the merge pass that wrote it.
  void RunWritten(Stage stage) {
    ++report_.runs_written;
    if (stage != report_.stage) report_.runs_merging = 0;
    report_.stage = stage;
    Tell();
  }

 private:
  void Tell() {
    if (progress_ != nullptr) progress_->Update(report_);
  }

  JobProgress* progress_;
  JobProgressReport report_;
};

}  // namespace lexset
