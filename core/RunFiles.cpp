//===- RunFiles.cpp - A job's run files, few open at a time --------------===//
#include "core/RunFiles.h"

#include <algorithm>

#include "core/SplitMerge.h"

namespace lexset {

RunFiles::RunFiles(RunStorage& storage, std::size_t memory_limit, SpillStats& stats, ProgressTracker* progress)
    : storage_(storage), memory_limit_(memory_limit), stats_(stats), progress_(progress) {
  // The buffers of a merge take at most a quarter of the limit, but a few
  // dozen runs are always allowed, as they always were.
  const std::size_t by_memory = memory_limit / (4 * kLeastReadBuffer);
  max_open_ = std::min(storage.OpenAtOnce(), std::max(by_memory, RunStorage::kDefaultOpenAtOnce));
  max_open_ = std::max<std::size_t>(max_open_, 4);
}
RunFiles::~RunFiles() = default;

// The buffers of a merge take a quarter of the limit, within bounds: a
// megabyte at most, less where there are hundreds, since reads of a few
// hundred kilobytes cost no more.
std::size_t RunFiles::ReadBufferSize(std::size_t inputs) const {
  const std::size_t shares = std::max<std::size_t>(inputs, 1) + 1;
  const std::size_t most = std::max<std::size_t>((std::size_t{64} << 20) / shares, 64 << 10);
  return std::clamp<std::size_t>(memory_limit_ / (4 * shares), kLeastReadBuffer, std::min<std::size_t>(most, 1 << 20));
}

std::size_t RunFiles::WriteBufferSize() const { return std::clamp<std::size_t>(memory_limit_ / 16, 4096, 1024 * 1024); }

std::unique_ptr<RunFile> RunFiles::Create() {
  std::unique_ptr<RunFile> file = storage_.Create();
  if (file == nullptr) error_ = storage_.error();
  return file;
}

bool RunFiles::Keep(std::unique_ptr<RunFile> file, std::uint64_t bytes) {
  if (!file->Rewind()) {
    error_ = file->error();
    return false;
  }
  runs_.push_back(Run{std::move(file), bytes});
  bytes_ += bytes;
  ++stats_.runs_written;
  stats_.bytes_written += bytes;
  stats_.peak_run_bytes = std::max(stats_.peak_run_bytes, bytes_);
  return runs_.size() < max_open_ || MergeSmallest(std::min(runs_.size(), std::max(kEarlyMergeWidth, max_open_ / 4)));
}

std::uint64_t RunFiles::largest() const {
  std::uint64_t most = 0;
  for (const Run& run : runs_) most = std::max(most, run.bytes);
  return most;
}

std::vector<std::unique_ptr<RunFile>> RunFiles::TakeAll() {
  std::vector<std::unique_ptr<RunFile>> files;
  for (Run& run : runs_) files.push_back(std::move(run.file));
  runs_.clear();
  bytes_ = 0;
  return files;
}

bool RunFiles::MakeRoomFor(std::size_t others) {
  // No more merging than needed: the first merge may take fewer than it
  // could.
  while (runs_.size() + others > max_open_) {
    const std::size_t excess = runs_.size() + others - max_open_;
    if (!MergeSmallest(std::min(runs_.size(), excess + 1))) return false;
  }
  return true;
}

bool RunFiles::MergeSmallest(std::size_t width) {
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kMerging, width);
  std::stable_sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) { return a.bytes < b.bytes; });
  std::unique_ptr<RunFile> merged = Create();
  if (merged == nullptr) return false;
  CountingSink sink(*merged);
  {
    LineWriter writer(sink, WriteBufferSize());
    const MergeResult result = Merge(width, {}, writer);
    if (result == MergeResult::kInputFailed) return false;
    if (result == MergeResult::kOutputFailed || !writer.Flush()) {
      error_ = merged->error();
      return false;
    }
  }
  // Closing a run file removes it.
  for (std::size_t i = 0; i < width; ++i) bytes_ -= runs_[i].bytes;
  runs_.erase(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(width));
  ++stats_.merge_passes;
  if (!Keep(std::move(merged), sink.bytes)) return false;
  if (progress_ != nullptr) progress_->RunWritten(ProgressTracker::Stage::kMerging);
  return true;
}

MergeResult RunFiles::MergeInto(const std::vector<MergeInput*>& more, LineWriter& out) {
  return Merge(runs_.size(), more, out);
}

bool RunFiles::CanReadAt() const {
  return std::all_of(runs_.begin(), runs_.end(), [](const Run& run) { return run.file->CanReadAt(); });
}

MergeResult RunFiles::MergeSplitInto(const std::vector<RunFile*>& more, Workers& workers, LineWriter& out) {
  std::vector<SplitRun> split;
  for (const Run& run : runs_) split.push_back(SplitRun{run.file.get(), run.bytes});
  for (RunFile* file : more) {
    const std::int64_t size = file->ReadableSize();
    if (size < 0) {
      error_ = file->error();
      return MergeResult::kInputFailed;
    }
    split.push_back(SplitRun{file, static_cast<std::uint64_t>(size)});
  }
  // The merge's buffers take the share of the limit a whole merge's take.
  SplitMerge merge(std::move(split), workers, memory_limit_ / 4);
  switch (merge.Plan()) {
    case SplitMerge::Planned::kSplit: {
      const MergeResult result = merge.MergeInto(out);
      stats_.bytes_compared += merge.compared();
      stats_.split_chunks += merge.chunks();
      if (result == MergeResult::kInputFailed) error_ = merge.error();
      return result;
    }
    case SplitMerge::Planned::kInputFailed:
      error_ = merge.error();
      return MergeResult::kInputFailed;
    case SplitMerge::Planned::kTooMany:
      break;
  }
  std::vector<std::unique_ptr<RunInput>> readers;
  std::vector<MergeInput*> inputs;
  for (RunFile* file : more) {
    readers.push_back(std::make_unique<RunInput>(*file, ReadBufferSize(runs_.size() + more.size())));
    inputs.push_back(readers.back().get());
  }
  const MergeResult result = MergeInto(inputs, out);
  if (result == MergeResult::kInputFailed && error_.empty()) {
    for (std::size_t i = 0; i < more.size(); ++i) {
      if (readers[i]->failed()) error_ = more[i]->error();
    }
  }
  return result;
}

MergeResult RunFiles::Merge(std::size_t width, const std::vector<MergeInput*>& more, LineWriter& out) {
  std::vector<std::unique_ptr<RunInput>> readers;
  std::vector<MergeInput*> inputs;
  const std::size_t buffer_size = ReadBufferSize(width + more.size());
  for (std::size_t i = 0; i < width; ++i) {
    readers.push_back(std::make_unique<RunInput>(*runs_[i].file, buffer_size));
    inputs.push_back(readers.back().get());
  }
  inputs.insert(inputs.end(), more.begin(), more.end());
  const MergeResult result = MergeWords(inputs, out, &stats_.bytes_compared);
  if (result == MergeResult::kInputFailed) {
    for (std::size_t i = 0; i < width; ++i) {
      if (readers[i]->failed()) error_ = runs_[i].file->error();
    }
  }
  return result;
}

}  // namespace lexset
