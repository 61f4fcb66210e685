//===- FileJob.cpp - The job on files: sources read, the result replaced -===//
#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/Files.h"
#include "core/JobMessages.h"
#include "core/SourceEncodings.h"
#include "core/TidyJob.h"
#include "core/WordBuckets.h"

namespace lexset {
namespace {

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
  std::size_t OpenAtOnce() const override { return open_at_once_; }

 private:
  std::string folder_;
  std::size_t open_at_once_ = RunFilesOpenAtOnce();
  std::string error_;
};

bool IsStandardStream(const std::string& path, const JobOptions& options) {
  return options.standard_streams && path == "-";
}

// The job's source files, opened one at a time; the standard input, read
// once, stays open from the first look at it to the end of its words.
class SourceFiles final : public SourceList {
 public:
  SourceFiles(const std::vector<std::string>& paths, const JobOptions& options) : paths_(paths), options_(options) {}

  std::size_t size() const override { return paths_.size(); }
  ByteSource* Open(std::size_t i) override {
    if (IsStandard(i)) return &input_;
    return file_.Open(paths_[i]) ? &file_ : nullptr;
  }
  void Close(std::size_t i) override {
    if (!IsStandard(i)) file_.Close();
  }
  bool OpenStandardInput() { return input_.OpenStandardInput(); }
  // Why source `i` could not be opened or read.
  const std::string& error(std::size_t i) const { return IsStandard(i) ? input_.error() : file_.error(); }

 private:
  bool IsStandard(std::size_t i) const { return IsStandardStream(paths_[i], options_); }

  const std::vector<std::string>& paths_;
  const JobOptions& options_;
  SourceFile file_;
  SourceFile input_;
};

JobOutcome RunJob(const std::vector<std::string>& sources, const std::string& result, const JobOptions& options,
                  bool* output_started) {
  const bool empty_source = std::any_of(sources.begin(), sources.end(), [](const std::string& s) { return s.empty(); });
  if (sources.empty() || empty_source || result.empty()) return JobOutcome{JobStatus::kEmptyPath, {}, {}};
  // How a path is named to the user.
  auto shown = [&options](const std::string& path, const char* stream_name) {
    return IsStandardStream(path, options) ? std::string(stream_name) : path;
  };
  auto mixed = [&](std::size_t source, TextEncoding encoding, std::size_t first, TextEncoding first_encoding) {
    JobOutcome outcome{JobStatus::kMixedEncodings, shown(sources[source], kStandardInputName), {}};
    outcome.other_path = shown(sources[first], kStandardInputName);
    outcome.encoding = encoding;
    outcome.other_encoding = first_encoding;
    return outcome;
  };

  // Each source is looked at before anything is made: one that cannot be
  // read, or that disagrees with another on the encoding, is refused at
  // once. One file is open at a time.
  SourceFiles files(sources, options);
  std::uint64_t total_bytes = 0;
  bool sizes_known = true;
  EncodingAgreement agreement;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (IsStandardStream(sources[i], options)) {
      if (!files.OpenStandardInput()) {
        return JobOutcome{JobStatus::kSourceUnreadable, kStandardInputName, files.error(i)};
      }
      sizes_known = false;
      continue;
    }
    SourceFile in;
    if (!in.Open(sources[i])) return JobOutcome{JobStatus::kSourceUnreadable, sources[i], in.error()};
    const std::int64_t size = in.size();
    sizes_known = sizes_known && size >= 0;
    if (size > 0) total_bytes += static_cast<std::uint64_t>(size);
    // A source that cannot be read is reported as the job reads it.
    SourceText text(in);
    if (text.Open() && !agreement.Take(i, text)) {
      return mixed(i, text.encoding(), agreement.first(), agreement.encoding());
    }
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

  const std::string runs_folder = to_output ? TemporaryFolder() : file_out.folder();
  ScratchStorage runs(runs_folder);
  TidyDetails details;
  const JobStatus status = TidyWords(files, out, options, &runs, &details, sizes_known ? total_bytes : 0);
  const std::string source_name = shown(sources[details.source], kStandardInputName);
  switch (status) {
    case JobStatus::kSourceUnreadable:
    case JobStatus::kSourceReadFailed:
      return JobOutcome{status, source_name, files.error(details.source)};
    case JobStatus::kSourceIncomplete:
      return JobOutcome{status, source_name, {}};
    case JobStatus::kMixedEncodings:
      return mixed(details.source, details.encoding, details.first_source, details.first_encoding);
    case JobStatus::kResultUnwritable:
      // Run files beside a result file fail as the result would; those of
      // the standard output are in a folder the user did not name.
      if (to_output && !details.run_error.empty()) {
        return JobOutcome{JobStatus::kScratchUnwritable, runs_folder, details.run_error};
      }
      return JobOutcome{status, result_name, details.run_error.empty() ? out_error : details.run_error};
    default:
      break;
  }
  // Every source is closed by now: one may be the very file being replaced.
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
  } catch (const WordsLostInMove&) {
  }
  return JobOutcome{JobStatus::kOutOfMemory, {}, {}};
}

}  // namespace

JobOutcome TidyWordList(const std::string& source, const std::string& result, const JobOptions& options) {
  return OutOfMemoryReported([&] { return TidyWordList(std::vector<std::string>{source}, result, options); });
}

JobOutcome TidyWordList(const std::vector<std::string>& sources, const std::string& result, const JobOptions& options) {
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
