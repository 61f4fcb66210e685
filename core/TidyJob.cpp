//===- TidyJob.cpp - Turning a word list into its distinct words, sorted -===//
#include "core/TidyJob.h"

#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/Files.h"
#include "core/LineWriter.h"
#include "core/SystemMemory.h"
#include "core/TextEncoding.h"
#include "core/WordScanner.h"
#include "core/WordSet.h"

namespace lexset {

JobStatus TidyWords(ByteSource& source, ByteSink& sink, const JobOptions& options, RunStorage* runs,
                    std::string* run_error) {
  const std::size_t limit = runs == nullptr             ? WordSet::kNoLimit
                            : options.memory_limit != 0 ? options.memory_limit
                                                        : DefaultMemoryLimit();
  // Words are gathered, sorted and kept in runs in the internal byte form
  // of the source's encoding; only the result is written in the encoding.
  SourceText text(source);
  if (!text.Open()) return JobStatus::kSourceReadFailed;
  DistinctWords words(limit, runs);
  JobStatus status = JobStatus::kCompleted;
  {
    WordScanner scanner(options.read_block_size);
    bool spilled = true;
    auto add = [&](const std::string_view* batch, std::size_t count) {
      if (spilled && !words.Add(batch, count)) spilled = false;
    };
    if (!scanner.ScanAll(text, add))
      status = text.ended_in_half_unit() ? JobStatus::kSourceIncomplete : JobStatus::kSourceReadFailed;
    else if (!spilled)
      status = JobStatus::kResultUnwritable;
  }
  ResultText result(sink, text.encoding());
  if (status == JobStatus::kCompleted && !result.WriteMark()) status = JobStatus::kResultUnwritable;
  if (status == JobStatus::kCompleted) {
    LineWriter writer(result, options.write_buffer_size);
    switch (words.WriteSorted(writer)) {
      case DistinctWords::Written::kDone:
        if (!writer.Flush()) status = JobStatus::kResultUnwritable;
        break;
      case DistinctWords::Written::kOutputFailed:
      case DistinctWords::Written::kRunFailed:
        status = JobStatus::kResultUnwritable;
        break;
    }
  }
  if (run_error != nullptr) *run_error = words.run_error();
  if (options.stats != nullptr) *options.stats = words.stats();
  return status;
}

namespace {

// Run files go next to the result, where the user has chosen to have room.
class ScratchStorage final : public RunStorage {
 public:
  explicit ScratchStorage(std::string folder) : folder_(std::move(folder)) {}
  std::unique_ptr<RunFile> Create() override {
    auto file = std::make_unique<ScratchFile>();
    if (file->Create(folder_)) return file;
    error_ = file->error();
    return nullptr;
  }
  const std::string& error() const override { return error_; }

 private:
  std::string folder_;
  std::string error_;
};

JobOutcome RunJob(const std::string& source, const std::string& result, const JobOptions& options) {
  if (source.empty() || result.empty()) return JobOutcome{JobStatus::kEmptyPath, {}, {}};

  SourceFile in;
  if (!in.Open(source)) return JobOutcome{JobStatus::kSourceUnreadable, source, in.error()};
  // Made before the long read, so a result that cannot be written is
  // reported at once.
  ReplacementFile out;
  if (!out.Create(result)) return JobOutcome{JobStatus::kResultUnwritable, result, out.error()};

  ScratchStorage runs(out.folder());
  std::string run_error;
  switch (const JobStatus status = TidyWords(in, out, options, &runs, &run_error)) {
    case JobStatus::kSourceReadFailed:
      return JobOutcome{status, source, in.error()};
    case JobStatus::kSourceIncomplete:
      return JobOutcome{status, source, {}};
    case JobStatus::kResultUnwritable:
      return JobOutcome{status, result, run_error.empty() ? out.error() : run_error};
    default:
      break;
  }
  // The source is closed first: it may be the very file being replaced.
  in.Close();
  if (!out.Commit()) return JobOutcome{JobStatus::kResultUnwritable, result, out.error(), out.old_content_path()};
  return JobOutcome{};
}

}  // namespace

JobOutcome TidyWordList(const std::string& source, const std::string& result, const JobOptions& options) {
  // Running out of memory anywhere, even for a message, ends the job; the
  // files are put back as they were while the stack unwinds.
  try {
    return RunJob(source, result, options);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return JobOutcome{JobStatus::kOutOfMemory, {}, {}};
}

}  // namespace lexset
