//===- DistinctWords.h - The distinct words of a source, within a limit --===//
//
// Words are gathered in a WordSet, with two ways out of memory:
//  - Stretches. A list is often made of pieces in order: a list tidied before
//    with new words at its end, tidied lists put together. A long stretch of
//    words in ascending order is never hashed or sorted: it is written out as
//    it comes, straight to the result while nothing has come before it, to a
//    run file otherwise, and merged with the rest at the end. The second
//    stretch, while nothing but the first came before it, is merged with the
//    first as it comes (core/StretchMerge.h): a list of two pieces is then read
//    back and written once, not twice. A stretch counts once its words have
//    kept in order for `stretch_from` words in a row (far more than a shuffled
//    list ever does; see JobOptions); the words before that went to the set. A
//    stretch that ends before it fills a write buffer hands its words back to
//    the set rather than make a small run file. Many stretches, though, make a
//    wide last merge, several games for every word, which cost more than
//    hashing it: once `hash_stretches_from` stretches have gone to run files,
//    later ones are hashed as they come, and the runs so far, if they take no
//    more than half the limit, are read back into the set.
//  - Runs. When the set reaches the memory limit (or an allocation fails),
//    its words are sorted and written out as a run, and the set starts
//    again empty.
// At the end the runs, the stretches and the set are merged, repeats
// dropped (core/WordMerge.h), at most a few dozen files at a time
// (core/RunFiles.h). With helper threads and tens of megabytes of runs, the
// set's last words go to a run too, and the last merge is split into ranges
// of words merged side by side (core/SplitMerge.h).
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
#include "core/RunFiles.h"
#include "core/RunStorage.h"
#include "core/StretchMerge.h"
#include "core/WordSet.h"

namespace lexset {

// The result as the job's words reach it, in the internal byte form.
class ResultLines {
 public:
  virtual ~ResultLines() = default;
  // Where the lines go; null if the result cannot be written.
  virtual LineWriter* Lines() = 0;
  // Whether what was written can be taken back: where it cannot (a
  // stream), nothing goes to the result before the end.
  virtual bool CanTakeBack() const = 0;
  // Hands the lines written so far back, to be read in the internal byte
  // form, and starts the result again with none. Null on failure.
  virtual std::unique_ptr<RunFile> TakeBack() = 0;
};

class DistinctWords {
 public:
  // Without `storage`, running out of memory ends the job, and every word
  // goes to the set. `progress`, if not null, hears of runs and merges.
  DistinctWords(std::size_t memory_limit, RunStorage* storage, ResultLines& result, ProgressTracker* progress,
                std::size_t give_up_hashing_from, std::size_t stretch_from, std::size_t hash_stretches_from);
  ~DistinctWords();

  // Adds words. Returns false if a run or the result could not be written
  // (run_error() says why, for a run). Throws std::bad_alloc if memory runs
  // out with nothing to spill.
  bool Add(const std::string_view* words, std::size_t count);

  enum class Written { kDone, kOutputFailed, kRunFailed };
  // Writes every distinct word in ascending order to the result's lines,
  // which the caller then flushes. Throws std::bad_alloc if memory runs out.
  Written Finish();

  const std::string& run_error() const;
  // Lets the set's sorts and the last merge use the workers' helpers.
  void set_workers(Workers* workers) {
    workers_ = workers;
    set_.set_workers(workers);
  }
  // The bytes of runs from which the last merge is split between the
  // helpers (core/SplitMerge.h), where every word is in a run file by then.
  static constexpr std::uint64_t kSplitMergeFrom = std::uint64_t{64} << 20;
  void set_split_merge_from(std::uint64_t bytes) { split_merge_from_ = bytes; }
  const SpillStats& stats() const { return stats_; }

 private:
  class StretchSink;

  // Gives words to the set, spilling it when full. Returns false if a run
  // could not be written.
  bool AddToSet(const std::string_view* words, std::size_t count);
  // Counts how long the words have kept in order, up to the last of `words`.
  void FollowOrder(const std::string_view* words, std::size_t count);
  // Starts a stretch with the words in order so far: the set's, if it is
  // in order, which move out of it.
  bool StartStretch();
  // Whether the stretch starting now is merged with the result's one.
  bool MergesWithResult() const;
  // Starts merging with the result's stretch; false on failure.
  bool StartMerge();
  // Writes words while they keep the stretch's order; returns how many.
  std::size_t ExtendStretch(const std::string_view* words, std::size_t count);
  // The same, merged with the result's stretch.
  std::size_t ExtendMerge(const std::string_view* words, std::size_t count);
  // Ends the stretch: it becomes a run, or its words go back to the set.
  bool EndStretch();
  // Hashes stretches from now on, and reads the runs back into the set
  // where they fit. False if a run could not be read or written.
  bool HashStretches();

  // Writes the set's words as a run and empties the set.
  bool Spill();
  // Writes the set's words, sorted, to `out`.
  bool WriteSet(LineWriter& out) const;
  // Whether the last merge, of the runs and the result's words taken back
  // (`prefix`, if any), is split between the helpers.
  bool SplitsLastMerge(RunFile* prefix) const;

  SpillStats stats_;
  WordSet set_;
  std::unique_ptr<RunFiles> runs_;  // when the job has somewhere for them
  ResultLines& result_;
  ProgressTracker* progress_;
  std::size_t memory_limit_;
  std::size_t stretch_from_;
  std::size_t hash_stretches_from_;
  // Stretches that went to run files, and whether they are hashed now.
  std::size_t stretch_runs_ = 0;
  bool hashing_stretches_ = false;
  Workers* workers_ = nullptr;
  std::uint64_t split_merge_from_ = kSplitMergeFrom;

  // How long the words have kept in order, and the last of them.
  std::size_t in_order_ = 0;
  std::string last_;
  bool has_last_ = false;

  // The stretch being written, if any: to the result, merged with the
  // result's stretch, or through a sink that makes its run file once the
  // writer's buffer is full.
  enum class Stretch { kNone, kInResult, kMerging, kInRun };
  Stretch stretch_ = Stretch::kNone;
  LineWriter* stretch_out_ = nullptr;
  std::unique_ptr<StretchSink> stretch_sink_;
  std::unique_ptr<LineWriter> stretch_writer_;
  // The result holds a stretch that something out of order came after.
  bool result_has_prefix_ = false;
  // A stretch has gone to the result: no later one may.
  bool result_used_ = false;
  std::unique_ptr<StretchMerge> merge_;
  // A stretch has been merged with the result's: no later one is, since
  // each would read and write again all that came before.
  bool merged_ = false;
  // Source bytes read when the result's stretch began, and that it took;
  // 0 where the bytes read are not counted.
  std::uint64_t result_stretch_from_ = 0;
  std::uint64_t result_stretch_bytes_ = 0;
};

}  // namespace lexset
