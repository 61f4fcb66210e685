//===- DistinctWords.cpp - The distinct words of a source, within a limit ===//
#include "core/DistinctWords.h"

#include <algorithm>
#include <new>

#include "core/RunReader.h"

namespace lexset {
namespace {

// One sorted input of a merge: a run file, or the set in memory.
class MergeInput {
 public:
  virtual ~MergeInput() = default;
  // Moves to the next word; false at the end or on an error.
  virtual bool Next() = 0;
  virtual std::string_view word() const = 0;
  virtual bool failed() const { return false; }
};

class RunInput final : public MergeInput {
 public:
  RunInput(RunFile& file, std::size_t buffer_size) : reader_(file, buffer_size) {}
  bool Next() override { return reader_.Next(); }
  std::string_view word() const override { return reader_.word(); }
  bool failed() const override { return reader_.failed(); }

 private:
  RunReader reader_;
};

class SetInput final : public MergeInput {
 public:
  explicit SetInput(const WordSet& set) : cursor_(set) {}
  bool Next() override { return cursor_.Next(); }
  std::string_view word() const override { return cursor_.word(); }

 private:
  WordSet::Cursor cursor_;
};

// Merges sorted inputs, each without repeats, into `out`, dropping words
// that several inputs hold. Returns kRunFailed if an input could not be
// read, kOutputFailed if `out` failed.
DistinctWords::Written Merge(const std::vector<MergeInput*>& inputs, LineWriter& out) {
  using Written = DistinctWords::Written;
  // A heap of the inputs, the least current word on top.
  auto greater = [](const MergeInput* a, const MergeInput* b) { return a->word() > b->word(); };
  std::vector<MergeInput*> heap;
  for (MergeInput* input : inputs) {
    if (input->Next()) {
      heap.push_back(input);
    } else if (input->failed()) {
      return Written::kRunFailed;
    }
  }
  std::make_heap(heap.begin(), heap.end(), greater);

  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), greater);
    MergeInput* least = heap.back();
    heap.pop_back();
    const std::string_view word = least->word();
    if (!out.PutLine(word)) return Written::kOutputFailed;
    // The same word in other inputs is dropped. `least` moves on last, since
    // `word` points into it.
    while (!heap.empty() && heap.front()->word() == word) {
      std::pop_heap(heap.begin(), heap.end(), greater);
      MergeInput* same = heap.back();
      heap.pop_back();
      if (same->Next()) {
        heap.push_back(same);
        std::push_heap(heap.begin(), heap.end(), greater);
      } else if (same->failed()) {
        return Written::kRunFailed;
      }
    }
    if (least->Next()) {
      heap.push_back(least);
      std::push_heap(heap.begin(), heap.end(), greater);
    } else if (least->failed()) {
      return Written::kRunFailed;
    }
  }
  return Written::kDone;
}

// A sink that counts what passes through it into a run file.
class CountingSink final : public ByteSink {
 public:
  explicit CountingSink(RunFile& file) : file_(file) {}
  bool Write(const char* data, std::size_t size) override {
    bytes += size;
    return file_.Write(data, size);
  }
  std::uint64_t bytes = 0;

 private:
  RunFile& file_;
};

}  // namespace

DistinctWords::DistinctWords(std::size_t memory_limit, RunStorage* storage, ProgressTracker* progress,
                             std::size_t give_up_hashing_from)
    : set_(memory_limit, give_up_hashing_from), memory_limit_(memory_limit), storage_(storage), progress_(progress) {}

bool DistinctWords::Add(const std::string_view* words, std::size_t count) {
  while (count > 0) {
    const std::size_t added = set_.InsertMany(words, count);
    words += added;
    count -= added;
    if (count == 0) break;
    // Memory or the limit ran out: make room by spilling what the set holds.
    if (storage_ == nullptr || set_.empty()) throw std::bad_alloc();
    if (!Spill()) return false;
  }
  return true;
}

// Buffers for run files take a small share of the limit, within bounds.
std::size_t DistinctWords::ReadBufferSize() const {
  const std::size_t share = memory_limit_ / (4 * (kMaxMergeWidth + 1));
  return std::clamp<std::size_t>(share, 4096, 1024 * 1024);
}

std::size_t DistinctWords::WriteBufferSize() const {
  return std::clamp<std::size_t>(memory_limit_ / 16, 4096, 1024 * 1024);
}

bool DistinctWords::CreateRun(Run* run) {
  run->file = storage_->Create();
  run->bytes = 0;
  if (run->file == nullptr) run_error_ = storage_->error();
  return run->file != nullptr;
}

void DistinctWords::AddRunBytes(std::uint64_t bytes) {
  run_bytes_ += bytes;
  stats_.bytes_written += bytes;
  stats_.peak_run_bytes = std::max(stats_.peak_run_bytes, run_bytes_);
}

void DistinctWords::RemoveRunBytes(std::uint64_t bytes) { run_bytes_ -= bytes; }

// Words that came in order are lines already, written in large blocks.
bool DistinctWords::WriteSet(LineWriter& out) const {
  if (set_.in_order()) {
    return set_.ForEachOrderedBlock([&out](const char* lines, std::size_t size) { return out.PutLines(lines, size); });
  }
  return set_.ForEachSorted([&out](std::string_view word) { return out.PutLine(word); });
}

bool DistinctWords::Spill() {
  Run run;
  if (!CreateRun(&run)) return false;
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kSpilling);
  set_.Sort();
  CountingSink sink(*run.file);
  {
    LineWriter writer(sink, WriteBufferSize());
    if (!WriteSet(writer) || !writer.Flush() || !run.file->Rewind()) {
      run_error_ = run.file->error();
      return false;
    }
  }
  set_.Clear();
  run.bytes = sink.bytes;
  AddRunBytes(run.bytes);
  runs_.push_back(std::move(run));
  ++stats_.runs_written;
  if (progress_ != nullptr) progress_->RunWritten(ProgressTracker::Stage::kReading);
  return true;
}

// Merges the `width` smallest runs into one: the bytes that are read and
// written again are as few as they can be.
bool DistinctWords::MergeSmallestRuns(std::size_t width) {
  Run merged;
  if (!CreateRun(&merged)) return false;
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kMerging, width);
  std::stable_sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) { return a.bytes < b.bytes; });
  std::vector<std::unique_ptr<RunInput>> inputs;
  std::vector<MergeInput*> pointers;
  for (std::size_t i = 0; i < width; ++i) {
    inputs.push_back(std::make_unique<RunInput>(*runs_[i].file, ReadBufferSize()));
    pointers.push_back(inputs.back().get());
  }
  CountingSink sink(*merged.file);
  {
    LineWriter writer(sink, WriteBufferSize());
    const Written result = Merge(pointers, writer);
    if (result == Written::kRunFailed) {
      for (std::size_t i = 0; i < width; ++i) {
        if (inputs[i]->failed()) run_error_ = runs_[i].file->error();
      }
      return false;
    }
    if (result == Written::kOutputFailed || !writer.Flush() || !merged.file->Rewind()) {
      run_error_ = merged.file->error();
      return false;
    }
  }
  AddRunBytes(sink.bytes);
  merged.bytes = sink.bytes;
  inputs.clear();
  // Closing a run file removes it.
  for (std::size_t i = 0; i < width; ++i) RemoveRunBytes(runs_[i].bytes);
  runs_.erase(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(width));
  runs_.push_back(std::move(merged));
  ++stats_.runs_written;
  ++stats_.merge_passes;
  if (progress_ != nullptr) progress_->RunWritten(ProgressTracker::Stage::kMerging);
  return true;
}

DistinctWords::Written DistinctWords::WriteSorted(LineWriter& out) {
  if (progress_ != nullptr) {
    progress_->Enter(runs_.empty() ? ProgressTracker::Stage::kWriting : ProgressTracker::Stage::kSorting);
  }
  set_.Sort();
  if (runs_.empty()) return WriteSet(out) ? Written::kDone : Written::kOutputFailed;
  // Merge runs until the last merge can take the rest and the set at once,
  // and no more than needed: the first merge may take fewer than it could.
  while (runs_.size() + 1 > kMaxMergeWidth) {
    const std::size_t excess = runs_.size() + 1 - kMaxMergeWidth;
    if (!MergeSmallestRuns(std::min(kMaxMergeWidth, excess + 1))) return Written::kRunFailed;
  }
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kWriting, runs_.size());
  std::vector<std::unique_ptr<MergeInput>> inputs;
  std::vector<MergeInput*> pointers;
  for (Run& run : runs_) {
    inputs.push_back(std::make_unique<RunInput>(*run.file, ReadBufferSize()));
    pointers.push_back(inputs.back().get());
  }
  inputs.push_back(std::make_unique<SetInput>(set_));
  pointers.push_back(inputs.back().get());
  const Written result = Merge(pointers, out);
  if (result == Written::kRunFailed) {
    for (std::size_t i = 0; i < runs_.size(); ++i) {
      if (inputs[i]->failed()) run_error_ = runs_[i].file->error();
    }
  }
  return result;
}

}  // namespace lexset
