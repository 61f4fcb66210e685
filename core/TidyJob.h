//===- TidyJob.h - Turning a word list into its distinct words, sorted ---===//
#pragma once

#include <cstddef>
#include <string>

#include "core/ByteStreams.h"
#include "core/DistinctWords.h"
#include "core/RunStorage.h"

namespace lexset {

enum class JobStatus {
  kCompleted,
  kEmptyPath,         // the source or the result path is empty
  kSourceUnreadable,  // the source cannot be opened, or is not a file
  kSourceReadFailed,  // reading the source failed part-way
  kSourceIncomplete,  // a UTF-16 source ends in half a code unit
  kResultUnwritable,  // the result cannot be created, written or replaced
  kOutOfMemory,
};

// What became of a job: for a problem, the file concerned and the system's
// description of it. Nothing is shown to the user here.
struct JobOutcome {
  JobStatus status = JobStatus::kCompleted;
  std::string path;
  std::string reason;
  // kResultUnwritable: where the result's old content is when replacing it
  // stopped half-way and it could not be put back; empty otherwise.
  std::string old_content_path = {};
};

struct JobOptions {
  std::size_t read_block_size = std::size_t{1} << 20;
  std::size_t write_buffer_size = std::size_t{1} << 20;
  // Bytes the distinct words may take in memory before they go to run
  // files; 0 for the system's default.
  std::size_t memory_limit = 0;
  // Receives the figures of the job's run files, when not null.
  SpillStats* stats = nullptr;
};

// Reads every word of `source` and writes the distinct words to `sink` in
// ascending byte order, each followed by CR LF; a source that starts with a
// byte-order mark is read and written in its encoding (core/TextEncoding.h).
// Words beyond the memory limit go to run files in `runs`; without it,
// running out of memory ends the job. Returns kCompleted, kSourceReadFailed
// or kSourceIncomplete (nothing has been written then) or kResultUnwritable
// (then *run_error holds why, if a run file failed).
// Throws std::bad_alloc when memory runs out.
JobStatus TidyWords(ByteSource& source, ByteSink& sink, const JobOptions& options = {}, RunStorage* runs = nullptr,
                    std::string* run_error = nullptr);

// The whole job on files: the result is replaced only once its new content
// is complete on disk, and left exactly as it was on every failure. Source
// and result may name the same file.
JobOutcome TidyWordList(const std::string& source, const std::string& result, const JobOptions& options = {});

}  // namespace lexset
