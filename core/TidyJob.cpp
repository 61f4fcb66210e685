//===- TidyJob.cpp - Turning a word list into its distinct words, sorted -===//
#include "core/TidyJob.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/Files.h"
#include "core/JobMessages.h"
#include "core/LineWriter.h"
#include "core/SystemMemory.h"
#include "core/TextEncoding.h"
#include "core/WordScanner.h"
#include "core/WordSet.h"

namespace lexset {

namespace {

// Counts the bytes read from a source, for the job's progress.
class CountingSource final : public ByteSource {
 public:
  CountingSource(ByteSource& source, ProgressTracker& progress) : source_(source), progress_(progress) {}
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    const std::ptrdiff_t got = source_.Read(buffer, capacity);
    if (got > 0) progress_.Read(static_cast<std::uint64_t>(got));
    return got;
  }

 private:
  ByteSource& source_;
  ProgressTracker& progress_;
};

// Notes that the result has begun to go out: the standard output cannot
// be taken back, so a job that stops after that leaves it incomplete.
class WatchedOutput final : public ByteSink {
 public:
  WatchedOutput(ByteSink& sink, bool* started) : sink_(sink), started_(started) {}
  bool Write(const char* data, std::size_t size) override {
    *started_ = true;
    return sink_.Write(data, size);
  }

 private:
  ByteSink& sink_;
  bool* started_;
};

}  // namespace

JobStatus TidyWords(const std::vector<ByteSource*>& sources, ByteSink& sink, const JobOptions& options,
                    RunStorage* runs, TidyDetails* details, std::uint64_t total_bytes) {
  TidyDetails unused;
  if (details == nullptr) details = &unused;
  const std::size_t limit = runs == nullptr             ? WordSet::kNoLimit
                            : options.memory_limit != 0 ? options.memory_limit
                                                        : DefaultMemoryLimit();
  ProgressTracker progress(options.progress, total_bytes);

  // Words are gathered, sorted and kept in runs in the internal byte form
  // of the sources' encoding; only the result is written in the encoding.
  // There is one result, so the sources must agree on it before a word is
  // read; an empty source has no say.
  std::vector<std::unique_ptr<CountingSource>> counted;
  std::vector<std::unique_ptr<SourceText>> texts;
  bool have_encoding = false;
  TextEncoding encoding = TextEncoding::kBytes;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    ByteSource* source = sources[i];
    if (progress.active()) {
      counted.push_back(std::make_unique<CountingSource>(*source, progress));
      source = counted.back().get();
    }
    texts.push_back(std::make_unique<SourceText>(*source));
    details->source = i;
    if (!texts[i]->Open()) return JobStatus::kSourceReadFailed;
    if (texts[i]->empty()) continue;
    if (!have_encoding) {
      have_encoding = true;
      encoding = texts[i]->encoding();
      details->first_source = i;
    } else if (texts[i]->encoding() != encoding) {
      details->encoding = texts[i]->encoding();
      details->first_encoding = encoding;
      return JobStatus::kMixedEncodings;
    }
  }

  DistinctWords words(limit, runs, &progress, options.give_up_hashing_from);
  JobStatus status = JobStatus::kCompleted;
  {
    WordScanner scanner(options.read_block_size);
    bool spilled = true;
    auto add = [&](const std::string_view* batch, std::size_t count) {
      if (spilled && !words.Add(batch, count)) spilled = false;
    };
    for (std::size_t i = 0; i < texts.size() && status == JobStatus::kCompleted; ++i) {
      details->source = i;
      if (!scanner.ScanAll(*texts[i], add)) {
        status = texts[i]->ended_in_half_unit() ? JobStatus::kSourceIncomplete : JobStatus::kSourceReadFailed;
      } else if (!spilled) {
        status = JobStatus::kResultUnwritable;
      }
    }
  }
  ResultText result(sink, encoding);
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
  details->run_error = words.run_error();
  if (options.stats != nullptr) *options.stats = words.stats();
  return status;
}

JobStatus TidyWords(ByteSource& source, ByteSink& sink, const JobOptions& options, RunStorage* runs,
                    std::string* run_error) {
  TidyDetails details;
  const JobStatus status = TidyWords({&source}, sink, options, runs, &details);
  if (run_error != nullptr) *run_error = details.run_error;
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

bool IsStandardStream(const std::string& path, const JobOptions& options) {
  return options.standard_streams && path == "-";
}

JobOutcome RunJob(const std::vector<std::string>& sources, const std::string& result, const JobOptions& options,
                  bool* output_started) {
  const bool empty_source = std::any_of(sources.begin(), sources.end(), [](const std::string& s) { return s.empty(); });
  if (sources.empty() || empty_source || result.empty()) return JobOutcome{JobStatus::kEmptyPath, {}, {}};
  // How a path is named to the user.
  auto shown = [&options](const std::string& path, const char* stream_name) {
    return IsStandardStream(path, options) ? std::string(stream_name) : path;
  };

  std::vector<std::unique_ptr<SourceFile>> ins;
  std::vector<ByteSource*> in_sources;
  std::uint64_t total_bytes = 0;
  bool sizes_known = true;
  for (const std::string& path : sources) {
    ins.push_back(std::make_unique<SourceFile>());
    SourceFile& in = *ins.back();
    if (!(IsStandardStream(path, options) ? in.OpenStandardInput() : in.Open(path))) {
      return JobOutcome{JobStatus::kSourceUnreadable, shown(path, kStandardInputName), in.error()};
    }
    const std::int64_t size = in.size();
    sizes_known = sizes_known && size >= 0;
    if (size > 0) total_bytes += static_cast<std::uint64_t>(size);
    in_sources.push_back(&in);
  }

  // The result file is made before the long read, so a result that cannot
  // be written is reported at once. The standard output has no folder of
  // its own for run files, and takes the system's temporary folder.
  const bool to_output = IsStandardStream(result, options);
  ReplacementFile file_out;
  StandardOutput standard_out;
  WatchedOutput watched_out(standard_out, output_started);
  if (!to_output && !file_out.Create(result)) {
    return JobOutcome{JobStatus::kResultUnwritable, result, file_out.error()};
  }
  ByteSink& out = to_output ? static_cast<ByteSink&>(watched_out) : file_out;
  const std::string& out_error = to_output ? standard_out.error() : file_out.error();
  const std::string result_name = shown(result, kStandardOutputName);

  ScratchStorage runs(to_output ? TemporaryFolder() : file_out.folder());
  TidyDetails details;
  const JobStatus status = TidyWords(in_sources, out, options, &runs, &details, sizes_known ? total_bytes : 0);
  const std::string source_name = shown(sources[details.source], kStandardInputName);
  switch (status) {
    case JobStatus::kSourceReadFailed:
      return JobOutcome{status, source_name, ins[details.source]->error()};
    case JobStatus::kSourceIncomplete:
      return JobOutcome{status, source_name, {}};
    case JobStatus::kMixedEncodings: {
      JobOutcome outcome{status, source_name, {}};
      outcome.other_path = shown(sources[details.first_source], kStandardInputName);
      outcome.encoding = details.encoding;
      outcome.other_encoding = details.first_encoding;
      return outcome;
    }
    case JobStatus::kResultUnwritable:
      return JobOutcome{status, result_name, details.run_error.empty() ? out_error : details.run_error};
    default:
      break;
  }
  // The sources are closed first: one may be the very file being replaced.
  ins.clear();
  if (!to_output && !file_out.Commit()) {
    JobOutcome outcome{JobStatus::kResultUnwritable, result, file_out.error()};
    outcome.old_content_path = file_out.old_content_path();
    return outcome;
  }
  return JobOutcome{};
}

// Running out of memory anywhere, even for a message, ends the job; the
// files are put back as they were while the stack unwinds.
template <class Job>
JobOutcome OutOfMemoryReported(Job&& job) {
  try {
    return job();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return JobOutcome{JobStatus::kOutOfMemory, {}, {}};
}

}  // namespace

JobOutcome TidyWordList(const std::string& source, const std::string& result, const JobOptions& options) {
  return OutOfMemoryReported([&] { return TidyWordList(std::vector<std::string>{source}, result, options); });
}

JobOutcome TidyWordList(const std::vector<std::string>& sources, const std::string& result,
                        const JobOptions& options) {
  bool output_started = false;
  JobOutcome outcome = OutOfMemoryReported([&] { return RunJob(sources, result, options, &output_started); });
  if (outcome.status == JobStatus::kCompleted || outcome.status == JobStatus::kEmptyPath) return outcome;
  // A result file is as it was after any problem, so whether there is one
  // now tells whether there was one before.
  try {
    if (IsStandardStream(result, options)) {
      outcome.result_left = output_started ? ResultLeft::kIncomplete : ResultLeft::kNothingOut;
    } else if (!PathExists(result)) {
      outcome.result_left = ResultLeft::kNotCreated;
    }
  } catch (const std::bad_alloc&) {
  }
  return outcome;
}

}  // namespace lexset
