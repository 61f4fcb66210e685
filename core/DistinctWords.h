//===- DistinctWords.h - The distinct words of a source, within a limit --===//
//
// Words are gathered in a WordSet. When it reaches the memory limit (or an
// allocation fails), its words are sorted and written out as a run, and the
// set starts again empty. At the end the runs and what is still in memory
// are merged, repeats dropped. A source whose distinct words fit in memory
// never touches a run.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/JobProgress.h"
#include "core/LineWriter.h"
#include "core/RunStorage.h"
#include "core/WordSet.h"

namespace lexset {

// Figures of a job's use of run files, for tests and benchmarks.
struct SpillStats {
  std::size_t runs_written = 0;       // runs spilled from memory and made by merging
  std::size_t runs_from_buckets = 0;  // of them, spilled while appending to buckets
  std::size_t merge_passes = 0;       // merges before the last one
  std::uint64_t bytes_written = 0;    // to run files, in all
  std::uint64_t peak_run_bytes = 0;   // in run files at one time
};

class DistinctWords {
 public:
  // At most this many runs are open at once while merging.
  static constexpr std::size_t kMaxMergeWidth = 16;

  // Without `storage`, running out of memory ends the job. `progress`, if
  // not null, hears of runs and merges.
  DistinctWords(std::size_t memory_limit, RunStorage* storage, ProgressTracker* progress = nullptr,
                std::size_t give_up_hashing_from = WordSet::kGiveUpHashingFrom);

  // Adds words. Returns false if a run could not be written (run_error()
  // says why). Throws std::bad_alloc if memory runs out with nothing to
  // spill.
  bool Add(const std::string_view* words, std::size_t count);

  enum class Written { kDone, kOutputFailed, kRunFailed };
  // Writes every distinct word in ascending order to `out`. Throws
  // std::bad_alloc if memory runs out.
  Written WriteSorted(LineWriter& out);

  const std::string& run_error() const { return run_error_; }
  const SpillStats& stats() const { return stats_; }

 private:
  struct Run {
    std::unique_ptr<RunFile> file;
    std::uint64_t bytes;
  };

  // Writes the set's words as a run and empties the set.
  bool Spill();
  // Writes the set's words, sorted, to `out`.
  bool WriteSet(LineWriter& out) const;
  // Merges the `width` smallest runs into one.
  bool MergeSmallestRuns(std::size_t width);
  bool CreateRun(Run* run);
  void AddRunBytes(std::uint64_t bytes);
  void RemoveRunBytes(std::uint64_t bytes);
  std::size_t ReadBufferSize() const;
  std::size_t WriteBufferSize() const;

  WordSet set_;
  std::size_t memory_limit_;
  RunStorage* storage_;
  ProgressTracker* progress_;
  std::vector<Run> runs_;
  std::uint64_t run_bytes_ = 0;
  std::string run_error_;
  SpillStats stats_;
};

}  // namespace lexset
