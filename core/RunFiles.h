//===- RunFiles.h - A job's run files, few open at a time ----------------===//
//
// The runs a job has written, each a file of words in ascending order, one
// per line: words that did not fit the memory limit, and stretches of
// words that came in order. They wait for the last merge, which takes them
// all at once where it can: a byte rewritten by an earlier merge is a byte
// read and written twice more. As many are open at a time as the storage
// allows (a system lets a program hold only so many files open) and as the
// limit leaves room for a read buffer each: when there would be more, the
// smallest quarter of them are merged into one as they come, so that the
// bytes read and written again are as few as they can be.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/JobProgress.h"
#include "core/LineWriter.h"
#include "core/RunReader.h"
#include "core/RunStorage.h"
#include "core/Workers.h"
#include "core/WordMerge.h"

namespace lexset {

// Figures of a job's use of run files, for tests and benchmarks.
struct SpillStats {
  std::size_t runs_written = 0;       // runs spilled from memory, stretches and runs made by merging
  std::size_t runs_from_buckets = 0;  // of them, spilled while appending to buckets
  std::size_t merge_passes = 0;       // merges before the last one
  std::uint64_t bytes_written = 0;    // to run files, in all
  std::uint64_t peak_run_bytes = 0;   // in run files at one time
  std::uint64_t bytes_compared = 0;   // by merges, between words of different inputs
  std::size_t stretches = 0;          // stretches in order written out as they came
  std::size_t runs_taken_back = 0;    // read back into the set, once stretches were many
  std::size_t split_chunks = 0;       // chunks of a last merge split between threads
};

// A sink that counts what passes through it into a file.
class CountingSink final : public ByteSink {
 public:
  explicit CountingSink(ByteSink& file) : file_(file) {}
  bool Write(const char* data, std::size_t size) override {
    bytes += size;
    return file_.Write(data, size);
  }
  std::uint64_t bytes = 0;

 private:
  ByteSink& file_;
};

class RunFiles {
 public:
  // Runs merged at once before the last merge, at least.
  static constexpr std::size_t kEarlyMergeWidth = 16;
  // Bytes of read buffer each run of a merge has at least.
  static constexpr std::size_t kLeastReadBuffer = 4096;

  // Buffers take a small share of `memory_limit`. `progress`, if not null,
  // hears of runs and merges.
  RunFiles(RunStorage& storage, std::size_t memory_limit, SpillStats& stats, ProgressTracker* progress);
  ~RunFiles();

  // A new run file to write, or null (error() says why).
  std::unique_ptr<RunFile> Create();
  // Keeps a run of `bytes`, written to the end, to be read from its start;
  // merges runs when too many are open. False if a file failed.
  bool Keep(std::unique_ptr<RunFile> file, std::uint64_t bytes);
  // Writes a run with write(LineWriter&) and keeps it. False if the run
  // could not be written.
  template <class Write>
  bool WriteRun(Write&& write) {
    std::unique_ptr<RunFile> file = Create();
    if (file == nullptr) return false;
    CountingSink sink(*file);
    LineWriter writer(sink, WriteBufferSize());
    if (!write(writer) || !writer.Flush()) {
      error_ = file->error();
      return false;
    }
    return Keep(std::move(file), sink.bytes);
  }

  // Merges the smallest runs until they and `others` inputs more make one
  // merge at most.
  bool MakeRoomFor(std::size_t others);
  // Merges every run and `more` inputs into `out`.
  MergeResult MergeInto(const std::vector<MergeInput*>& more, LineWriter& out);
  // Whether every run can be read at any offset.
  bool CanReadAt() const;
  // Merges every run and the files `more`, which can be read at any offset,
  // into `out` as MergeInto does, in ranges of words side by side on the
  // workers' threads (core/SplitMerge.h), unless that would take too much
  // memory. The error of a file that failed is kept, `more`'s too.
  MergeResult MergeSplitInto(const std::vector<RunFile*>& more, Workers& workers, LineWriter& out);

  // Hands every run kept over, each to be read from its start.
  std::vector<std::unique_ptr<RunFile>> TakeAll();

  bool empty() const { return runs_.empty(); }
  // Bytes in the runs kept.
  std::uint64_t bytes() const { return bytes_; }
  // Bytes in the largest run kept.
  std::uint64_t largest() const;
  std::size_t size() const { return runs_.size(); }
  // How many runs may be open at once.
  std::size_t max_open() const { return max_open_; }
  // A read buffer of one of `inputs` read side by side.
  std::size_t ReadBufferSize(std::size_t inputs) const;
  std::size_t WriteBufferSize() const;

  const std::string& error() const { return error_; }
  void set_error(const std::string& error) { error_ = error; }

 private:
  struct Run {
    std::unique_ptr<RunFile> file;
    std::uint64_t bytes;
  };

  // Merges the `width` smallest runs into one.
  bool MergeSmallest(std::size_t width);
  // Merges `inputs`, `width` runs first, into `out`; keeps the error of a
  // run that failed.
  MergeResult Merge(std::size_t width, const std::vector<MergeInput*>& more, LineWriter& out);

  RunStorage& storage_;
  std::size_t memory_limit_;
  SpillStats& stats_;
  ProgressTracker* progress_;
  std::size_t max_open_;
  std::vector<Run> runs_;
  std::uint64_t bytes_ = 0;  // in the runs kept
  std::string error_;
};

}  // namespace lexset
