//===- TidyJob.h - Turning a word list into its distinct words, sorted ---===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/ByteStreams.h"
#include "core/DistinctWords.h"
#include "core/JobProgress.h"
#include "core/RunStorage.h"
#include "core/TextEncoding.h"

namespace lexset {

enum class JobStatus {
  kCompleted,
  kEmptyPath,         // the source or the result path is empty
  kSourceUnreadable,  // the source cannot be opened, or is not a file
  kSourceReadFailed,  // reading the source failed part-way
  kSourceIncomplete,  // a UTF-16 source ends in half a code unit
  kMixedEncodings,    // two sources are in different encodings
  kResultUnwritable,  // the result cannot be created, written or replaced
  kScratchUnwritable,  // the run files of a result on the standard output cannot be written
  kOutOfMemory,
};

// What a job that did not complete left of its result.
enum class ResultLeft {
  kAsItWas,     // the result file is exactly as it was
  kNotCreated,  // there was no result file, and there is none
  kNothingOut,  // nothing went to the standard output
  kIncomplete,  // part of the result may have gone to the standard output
};

// What became of a job: for a problem, the file concerned and the system's
// description of it. Nothing is shown to the user here.
struct JobOutcome {
  JobOutcome() = default;
  JobOutcome(JobStatus status_, std::string path_, std::string reason_)
      : status(status_), path(std::move(path_)), reason(std::move(reason_)) {}

  JobStatus status = JobStatus::kCompleted;
  std::string path;
  std::string reason;
  // For a problem: what became of the result.
  ResultLeft result_left = ResultLeft::kAsItWas;
  // kResultUnwritable: where the result's old content is when replacing it
  // stopped half-way and it could not be put back; empty otherwise.
  std::string old_content_path;
  // For kMixedEncodings: `path` is in `encoding`, and an earlier source,
  // `other_path`, in `other_encoding`.
  std::string other_path;
  TextEncoding encoding = TextEncoding::kBytes;
  TextEncoding other_encoding = TextEncoding::kBytes;
};

struct JobOptions {
  std::size_t read_block_size = std::size_t{1} << 20;
  std::size_t write_buffer_size = std::size_t{1} << 20;
  // Bytes the distinct words may take in memory before they go to run
  // files; 0 for the system's default.
  std::size_t memory_limit = 0;
  // Receives the figures of the job's run files, when not null.
  SpillStats* stats = nullptr;
  // Hears how the job goes, when not null.
  JobProgress* progress = nullptr;
  // The hash table size from which the word set may give up hashing for
  // appending (see core/WordSet.h); tests lower it.
  std::size_t give_up_hashing_from = WordSet::kGiveUpHashingFrom;
  // How many words in a row must keep in ascending order to be written out
  // as they come, as a stretch (see core/DistinctWords.h); tests lower it.
  // No shuffled list has thousands in a row.
  std::size_t stretch_from = 4096;
  // How many stretches may go to run files before the later ones are
  // hashed like any other words (see core/DistinctWords.h); tests lower it.
  std::size_t hash_stretches_from = 16;
  // Threads the job may use, its own included: with more than one, the
  // sources are read and scanned ahead, and sorts run side by side. The
  // result is the same byte for byte whatever the count.
  unsigned threads = 1;
  // The bytes of run files from which the last merge is split between the
  // threads (core/SplitMerge.h); tests lower it.
  std::uint64_t split_merge_from = DistinctWords::kSplitMergeFrom;
  // Whether the path "-" means the standard input, as a source, and the
  // standard output, as the result, rather than a file of that name.
  bool standard_streams = false;
};

// What TidyWords tells besides its status.
struct TidyDetails {
  std::size_t source = 0;                              // the source concerned by a source's problem
  std::size_t first_source = 0;                        // for kMixedEncodings, an earlier source of another encoding
  TextEncoding encoding = TextEncoding::kBytes;        // of `source`, for kMixedEncodings
  TextEncoding first_encoding = TextEncoding::kBytes;  // of `first_source`
  std::string run_error;                               // for kResultUnwritable, why a run file failed, if one did
};

// The sources of a job, opened one at a time as they are read: a job may
// name more files than a program may hold open at once.
class SourceList {
 public:
  virtual ~SourceList() = default;
  virtual std::size_t size() const = 0;
  // Opens source `i` to be read from its start; null if it cannot be.
  virtual ByteSource* Open(std::size_t i) = 0;
  virtual void Close(std::size_t i) = 0;
};

// Reads every word of `sources`, in turn, and writes the distinct words to
// `sink` in ascending byte order, each followed by CR LF. A source that
// starts with a byte-order mark is read, and the result written, in its
// encoding (core/TextEncoding.h); sources of different encodings are
// refused, but for empty ones. Words beyond the memory limit go to run
// files in `runs`, and so do stretches of words in order, unless the sink
// takes them (core/DistinctWords.h); without `runs`, running out of memory
// ends the job. Returns kCompleted, kSourceUnreadable, kSourceReadFailed,
// kSourceIncomplete or kMixedEncodings (the sink then holds no result, only
// perhaps a part of one, if it can take back what it was given) or
// kResultUnwritable; `details`, if not null, tells which source or run
// file. Throws std::bad_alloc when memory runs out.
JobStatus TidyWords(SourceList& sources, ByteSink& sink, const JobOptions& options, RunStorage* runs,
                    TidyDetails* details, std::uint64_t total_bytes = 0);
// The same for sources open already.
JobStatus TidyWords(const std::vector<ByteSource*>& sources, ByteSink& sink, const JobOptions& options,
                    RunStorage* runs, TidyDetails* details, std::uint64_t total_bytes = 0);
// The same for one source.
JobStatus TidyWords(ByteSource& source, ByteSink& sink, const JobOptions& options = {}, RunStorage* runs = nullptr,
                    std::string* run_error = nullptr);

// The whole job on files: the result is replaced only once its new content
// is complete on disk, and left exactly as it was on every failure. Source
// and result may name the same file.
JobOutcome TidyWordList(const std::string& source, const std::string& result, const JobOptions& options = {});
// The same for several sources, whose distinct words all go to one result.
JobOutcome TidyWordList(const std::vector<std::string>& sources, const std::string& result,
                        const JobOptions& options = {});

}  // namespace lexset
