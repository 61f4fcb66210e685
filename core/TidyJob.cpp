//===- TidyJob.cpp - Turning a word list into its distinct words, sorted -===//
#include "core/TidyJob.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/LineWriter.h"
#include "core/ScanAhead.h"
#include "core/SourceEncodings.h"
#include "core/SystemMemory.h"
#include "core/TextEncoding.h"
#include "core/WordScanner.h"
#include "core/WordSet.h"
#include "core/Workers.h"

namespace lexset {

namespace {

// Counts the bytes read from a source, for the job's progress: told at
// once, or, once the source is read on another thread, kept until taken.
class CountingSource final : public ByteSource {
 public:
  CountingSource(ByteSource& source, ProgressTracker& progress) : source_(source), progress_(progress) {}
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    const std::ptrdiff_t got = source_.Read(buffer, capacity);
    if (got > 0) {
      if (deferred_) {
        kept_ += static_cast<std::uint64_t>(got);
      } else {
        progress_.Read(static_cast<std::uint64_t>(got));
      }
    }
    return got;
  }
  void Defer() { deferred_ = true; }
  std::uint64_t TakeKept() { return std::exchange(kept_, 0); }

 private:
  ByteSource& source_;
  ProgressTracker& progress_;
  bool deferred_ = false;
  std::uint64_t kept_ = 0;
};

// The result's own file, read back: lines in the result's encoding, after
// its mark, turned back into the internal byte form.
class ResultReadBack final : public RunFile {
 public:
  explicit ResultReadBack(std::unique_ptr<RunFile> file) : file_(std::move(file)), text_(*file_) {}
  bool Open(TextEncoding encoding) {
    encoding_ = encoding;
    return text_.Open(encoding);
  }
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override { return text_.Read(buffer, capacity); }
  bool Write(const char*, std::size_t) override { return false; }
  bool Rewind() override { return false; }
  const std::string& error() const override { return file_->error(); }

  // Bytes after the mark are the internal form as they stand, but UTF-16.
  bool CanReadAt() const override {
    return file_->CanReadAt() && (encoding_ == TextEncoding::kBytes || encoding_ == TextEncoding::kUtf8);
  }
  std::ptrdiff_t ReadAt(std::uint64_t offset, char* buffer, std::size_t capacity, std::string* error) override {
    return file_->ReadAt(offset + ByteOrderMark(encoding_).size(), buffer, capacity, error);
  }
  std::int64_t ReadableSize() override {
    const std::int64_t size = file_->ReadableSize();
    return size < 0 ? size : size - static_cast<std::int64_t>(ByteOrderMark(encoding_).size());
  }

 private:
  std::unique_ptr<RunFile> file_;
  SourceText text_;
  TextEncoding encoding_ = TextEncoding::kBytes;
};

// The result's lines: in the encoding of the sources, after its mark,
// which is written with the first line, or at the end of an empty result.
class JobResult final : public ResultLines {
 public:
  JobResult(ByteSink& sink, std::size_t buffer_size) : sink_(sink), buffer_size_(buffer_size) {}

  // Before the first line.
  void set_encoding(TextEncoding encoding) { encoding_ = encoding; }

  LineWriter* Lines() override {
    if (writer_) return writer_.get();
    text_ = std::make_unique<ResultText>(sink_, encoding_);
    if (!text_->WriteMark()) return nullptr;
    writer_ = std::make_unique<LineWriter>(*text_, buffer_size_);
    return writer_.get();
  }
  bool CanTakeBack() const override { return sink_.CanTakeBack(); }
  std::unique_ptr<RunFile> TakeBack() override {
    if (!Flush()) return nullptr;
    writer_.reset();
    text_.reset();
    std::unique_ptr<RunFile> file = sink_.TakeWritten();
    if (file == nullptr) return nullptr;
    auto lines = std::make_unique<ResultReadBack>(std::move(file));
    if (!lines->Open(encoding_)) return nullptr;
    return lines;
  }
  bool Flush() {
    LineWriter* lines = Lines();
    return lines != nullptr && lines->Flush();
  }

 private:
  ByteSink& sink_;
  std::size_t buffer_size_;
  TextEncoding encoding_ = TextEncoding::kBytes;
  std::unique_ptr<ResultText> text_;
  std::unique_ptr<LineWriter> writer_;
};

// Sources open already, in memory or in tests.
class OpenSources final : public SourceList {
 public:
  explicit OpenSources(const std::vector<ByteSource*>& sources) : sources_(sources) {}
  std::size_t size() const override { return sources_.size(); }
  ByteSource* Open(std::size_t i) override { return sources_[i]; }
  void Close(std::size_t) override {}

 private:
  const std::vector<ByteSource*>& sources_;
};

}  // namespace

JobStatus TidyWords(SourceList& sources, ByteSink& sink, const JobOptions& options, RunStorage* runs,
                    TidyDetails* details, std::uint64_t total_bytes) {
  TidyDetails unused;
  if (details == nullptr) details = &unused;
  const std::size_t limit = runs == nullptr             ? WordSet::kNoLimit
                            : options.memory_limit != 0 ? options.memory_limit
                                                        : DefaultMemoryLimit();
  ProgressTracker progress(options.progress, total_bytes);
  // Words are gathered, sorted and kept in runs in the internal byte form
  // of the sources' encoding; only the result is written in the encoding.
  JobResult result(sink, options.write_buffer_size);
  DistinctWords words(limit, runs, result, &progress, options.give_up_hashing_from, options.stretch_from,
                      options.hash_stretches_from);
  Workers workers(options.threads);
  words.set_workers(&workers);
  words.set_split_merge_from(options.split_merge_from);
  EncodingAgreement agreement;
  JobStatus status = JobStatus::kCompleted;
  {
    WordScanner scanner(options.read_block_size);
    bool written = true;
    auto add = [&](const std::string_view* batch, std::size_t count) {
      if (written && !words.Add(batch, count)) written = false;
    };
    for (std::size_t i = 0; i < sources.size() && status == JobStatus::kCompleted; ++i) {
      details->source = i;
      ByteSource* source = sources.Open(i);
      if (source == nullptr) {
        status = JobStatus::kSourceUnreadable;
        break;
      }
      CountingSource counted(*source, progress);
      // The bytes read count for the progress shown, and, where the sources'
      // size is known, for whether a second stretch is merged as it comes.
      SourceText text(progress.active() || total_bytes != 0 ? counted : *source);
      if (!text.Open()) {
        status = JobStatus::kSourceReadFailed;
      } else if (!agreement.Take(i, text)) {
        details->encoding = text.encoding();
        details->first_source = agreement.first();
        details->first_encoding = agreement.encoding();
        status = JobStatus::kMixedEncodings;
      } else {
        result.set_encoding(agreement.encoding());
        bool scanned;
        if (workers.threads() > 1) {
          counted.Defer();
          ScanAhead ahead(options.read_block_size);
          scanned = ahead.ScanAll(
              text, [&counted] { return counted.TakeKept(); },
              [&](const std::string_view* batch, std::size_t count) {
                add(batch, count);
                return written;
              },
              [&progress](std::uint64_t bytes) { progress.Read(bytes); });
        } else {
          scanned = scanner.ScanAll(text, add);
        }
        if (!scanned) {
          status = text.ended_in_half_unit() ? JobStatus::kSourceIncomplete : JobStatus::kSourceReadFailed;
        } else if (!written) {
          status = JobStatus::kResultUnwritable;
        }
      }
      sources.Close(i);
    }
  }
  if (status == JobStatus::kCompleted) {
    switch (words.Finish()) {
      case DistinctWords::Written::kDone:
        if (!result.Flush()) status = JobStatus::kResultUnwritable;
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

JobStatus TidyWords(const std::vector<ByteSource*>& sources, ByteSink& sink, const JobOptions& options,
                    RunStorage* runs, TidyDetails* details, std::uint64_t total_bytes) {
  OpenSources open(sources);
  return TidyWords(open, sink, options, runs, details, total_bytes);
}

JobStatus TidyWords(ByteSource& source, ByteSink& sink, const JobOptions& options, RunStorage* runs,
                    std::string* run_error) {
  TidyDetails details;
  const JobStatus status = TidyWords({&source}, sink, options, runs, &details);
  if (run_error != nullptr) *run_error = details.run_error;
  return status;
}

}  // namespace lexset
