//===- SplitMerge.h - The last merge, in ranges of words side by side ----===//
//
// Where the job has helper threads and every input of the last merge is a
// file that can be read at any offset, the merge is cut into chunks of
// about equal bytes by words, splitters: chunk c holds the words of every
// run from splitter c up to splitter c + 1, so that equal words always meet
// in one chunk, and the chunks' words one after the other are the merge's.
// The splitters are among words sampled at evenly spaced offsets of the
// runs, and each run's cut before a splitter is found by reading a few
// lines here and there. The helpers and the job's thread merge chunks, each
// into a buffer of its own, a few chunks ahead, and the job's thread writes
// the finished buffers out in order: the memory taken is a few chunks'.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ByteStreams.h"
#include "core/LineWriter.h"
#include "core/WordMerge.h"

namespace lexset {

class Workers;

// A run of the merge: a file of `bytes` that can be read at any offset.
struct SplitRun {
  RunFile* file;
  std::uint64_t bytes;
};

class SplitMerge {
 public:
  // Chunks under way at once, per thread.
  static constexpr std::size_t kChunksPerThread = 2;

  // The chunks' buffers, and the samples, take at most `memory` bytes.
  SplitMerge(std::vector<SplitRun> runs, Workers& workers, std::size_t memory);
  ~SplitMerge();
  SplitMerge(const SplitMerge&) = delete;
  SplitMerge& operator=(const SplitMerge&) = delete;

  enum class Planned { kSplit, kTooMany, kInputFailed };
  // Samples the runs and finds the cuts. kTooMany where the samples would
  // take more than their share of the memory: the runs are then to be
  // merged as a whole, and have not been read.
  Planned Plan();
  // Merges the chunks into `out`, each word once, after Plan.
  MergeResult MergeInto(LineWriter& out);

  // After kInputFailed: the run that failed, and why.
  std::size_t failed_run() const { return failed_run_; }
  const std::string& error() const { return error_; }
  // Bytes compared between words of different runs.
  std::uint64_t compared() const { return compared_; }
  std::size_t chunks() const { return cuts_.size() + 1; }

 private:
  struct Sample;
  struct Slot;

  // Keeps the first failure of a run.
  void Fail(std::size_t run, const std::string& error);
  bool failed() const { return failed_; }
  // The samples of run `r`, in order.
  bool SampleRun(std::size_t r, std::vector<Sample>* samples);
  // Merges chunk `c` into the slot's buffer.
  void MergeChunk(std::size_t c, Slot& slot);
  // The range of run `r` in chunk `c`.
  std::uint64_t CutBefore(std::size_t c, std::size_t r) const;

  std::vector<SplitRun> runs_;
  Workers& workers_;
  std::size_t memory_;
  std::uint64_t chunk_bytes_ = 0;
  std::uint64_t sample_step_ = 0;
  // cuts_[c][r]: where chunk c + 1 starts in run r.
  std::vector<std::vector<std::uint64_t>> cuts_;
  std::uint64_t compared_ = 0;
  bool failed_ = false;
  std::size_t failed_run_ = 0;
  std::string error_;
};

}  // namespace lexset
