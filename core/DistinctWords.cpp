//===- DistinctWords.cpp - The distinct words of a source, within a limit ===//
#include "core/DistinctWords.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/RunReader.h"
#include "core/WordMerge.h"

namespace lexset {
namespace {

class RunInput final : public MergeInput {
 public:
  RunInput(RunFile& file, std::size_t buffer_size) : file_(file), reader_(file, buffer_size) {}
  bool Next(MergeWord* next) override {
    if (!reader_.Next()) return false;
    next->word = reader_.word();
    next->shared = reader_.shared();
    return true;
  }
  bool failed() const override { return reader_.failed(); }
  Copied CopyBelow(const std::string_view* bound, LineWriter& out, MergeWord* next, std::string_view* last) override {
    switch (reader_.CopyBelow(bound, out, last)) {
      case RunReader::Copied::kStopped:
        next->word = reader_.word();
        next->shared = reader_.shared();
        return Copied::kStopped;
      case RunReader::Copied::kEnd:
        return Copied::kEnd;
      case RunReader::Copied::kReadFailed:
        return Copied::kInputFailed;
      case RunReader::Copied::kOutputFailed:
        break;
    }
    return Copied::kOutputFailed;
  }
  RunFile& file() const { return file_; }

 private:
  RunFile& file_;
  RunReader reader_;
};

class SetInput final : public MergeInput {
 public:
  explicit SetInput(const WordSet& set) : cursor_(set) {}
  bool Next(MergeWord* next) override {
    const std::string_view before = cursor_.word();
    if (!cursor_.Next()) return false;
    next->word = cursor_.word();
    next->shared = SharedBytes(before, next->word);
    return true;
  }

 private:
  WordSet::Cursor cursor_;
};

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

// Merges `inputs` into `out`; on a failed input, keeps its file's error.
DistinctWords::Written MergeInto(const std::vector<std::unique_ptr<RunInput>>& runs, MergeInput* set,
                                 LineWriter& out, SpillStats& stats, std::string* error) {
  std::vector<MergeInput*> inputs;
  for (const auto& run : runs) inputs.push_back(run.get());
  if (set != nullptr) inputs.push_back(set);
  switch (MergeWords(inputs, out, &stats.bytes_compared)) {
    case MergeResult::kDone:
      return DistinctWords::Written::kDone;
    case MergeResult::kOutputFailed:
      return DistinctWords::Written::kOutputFailed;
    case MergeResult::kInputFailed:
      break;
  }
  for (const auto& run : runs) {
    if (run->failed()) *error = run->file().error();
  }
  return DistinctWords::Written::kRunFailed;
}

}  // namespace

// A stretch's run file is made only once its writer's buffer is full: a
// shorter stretch hands its words back to the set instead.
class DistinctWords::StretchSink final : public ByteSink {
 public:
  explicit StretchSink(DistinctWords& owner) : owner_(owner) {}
  bool Write(const char* data, std::size_t size) override {
    if (!run_.file && !owner_.CreateRun(&run_)) return false;
    run_.bytes += size;
    if (run_.file->Write(data, size)) return true;
    owner_.run_error_ = run_.file->error();
    return false;
  }
  Run& run() { return run_; }

 private:
  DistinctWords& owner_;
  Run run_{nullptr, 0};
};

DistinctWords::DistinctWords(std::size_t memory_limit, RunStorage* storage, ResultLines& result,
                             ProgressTracker* progress, std::size_t give_up_hashing_from, std::size_t stretch_from)
    : set_(memory_limit, give_up_hashing_from),
      memory_limit_(memory_limit),
      storage_(storage),
      result_(result),
      progress_(progress),
      stretch_from_(std::max<std::size_t>(stretch_from, 1)) {}

DistinctWords::~DistinctWords() = default;

bool DistinctWords::Add(const std::string_view* words, std::size_t count) {
  while (count > 0) {
    if (stretch_ != Stretch::kNone) {
      const std::size_t taken = ExtendStretch(words, count);
      if (stretch_out_ == nullptr) return false;
      words += taken;
      count -= taken;
      if (count != 0 && !EndStretch()) return false;
      continue;
    }
    const std::size_t added = set_.InsertMany(words, count);
    FollowOrder(words, added);
    words += added;
    count -= added;
    if (in_order_ >= stretch_from_ && storage_ != nullptr) {
      if (!StartStretch()) return false;
      continue;
    }
    if (count == 0) break;
    // Memory or the limit ran out: make room by spilling what the set holds.
    if (storage_ == nullptr || set_.empty()) throw std::bad_alloc();
    if (!Spill()) return false;
  }
  return true;
}

bool DistinctWords::AddToSet(const std::string_view* words, std::size_t count) {
  while (count > 0) {
    const std::size_t added = set_.InsertMany(words, count);
    words += added;
    count -= added;
    if (count == 0) break;
    if (storage_ == nullptr || set_.empty()) throw std::bad_alloc();
    if (!Spill()) return false;
  }
  return true;
}

// Only the end of each batch is looked at: in a shuffled list a word is
// less than the one before it within a word or two from the end.
void DistinctWords::FollowOrder(const std::string_view* words, std::size_t count) {
  if (count == 0) return;
  std::size_t first = count - 1;
  while (first > 0 && CompareWords(words[first - 1], words[first]) <= 0) --first;
  if (first == 0 && has_last_ && CompareWords(last_, words[0]) <= 0) {
    in_order_ += count;
  } else {
    in_order_ = count - first;
  }
  last_.assign(words[count - 1]);
  has_last_ = true;
}

bool DistinctWords::StartStretch() {
  // The result takes one stretch, if it can take its words back for the
  // end, where anything else is merged with them.
  const bool to_result = !result_used_ && result_.CanTakeBack();
  if (to_result) {
    stretch_out_ = result_.Lines();
    if (stretch_out_ == nullptr) return false;
    stretch_ = Stretch::kInResult;
  } else {
    stretch_sink_ = std::make_unique<StretchSink>(*this);
    stretch_writer_ = std::make_unique<LineWriter>(*stretch_sink_, WriteBufferSize());
    stretch_out_ = stretch_writer_.get();
    stretch_ = Stretch::kInRun;
  }
  result_used_ = true;
  ++stats_.stretches;
  if (set_.in_order() && !set_.empty()) {
    const bool written =
        set_.ForEachOrderedBlock([this](const char* lines, std::size_t size) { return stretch_out_->PutLines(lines, size); });
    set_.Clear();
    if (!written) {
      stretch_out_ = nullptr;
      return false;
    }
  }
  return true;
}

std::size_t DistinctWords::ExtendStretch(const std::string_view* words, std::size_t count) {
  std::string_view last = last_;
  std::size_t i = 0;
  for (; i < count; ++i) {
    const int order = CompareWords(words[i], last);
    if (order < 0) break;
    if (order == 0) continue;
    if (!stretch_out_->PutLine(words[i])) {
      stretch_out_ = nullptr;
      return i;
    }
    last = words[i];
  }
  if (last.data() != last_.data()) last_.assign(last);
  return i;
}

bool DistinctWords::EndStretch() {
  const Stretch ended = stretch_;
  stretch_ = Stretch::kNone;
  stretch_out_ = nullptr;
  in_order_ = 0;
  if (ended == Stretch::kInResult) {
    result_has_prefix_ = true;
    return true;
  }
  std::unique_ptr<StretchSink> sink = std::move(stretch_sink_);
  std::unique_ptr<LineWriter> writer = std::move(stretch_writer_);
  if (!sink->run().file) {
    // Too short for a run file of its own: its words go to the set.
    const std::string lines(writer->pending());
    writer->DropPending();
    std::string_view batch[16];
    std::size_t batched = 0;
    for (std::size_t at = 0; at < lines.size();) {
      const std::size_t end = lines.find('\r', at);
      batch[batched++] = std::string_view(lines).substr(at, end - at);
      at = end + 2;
      if (batched == 16 || at >= lines.size()) {
        if (!AddToSet(batch, batched)) return false;
        batched = 0;
      }
    }
    return true;
  }
  if (!writer->Flush() || !sink->run().file->Rewind()) {
    if (run_error_.empty()) run_error_ = sink->run().file->error();
    return false;
  }
  Run run = std::move(sink->run());
  AddRunBytes(run.bytes);
  ++stats_.runs_written;
  return AddRun(std::move(run));
}

// Buffers for run files take a small share of the limit, within bounds.
std::size_t DistinctWords::ReadBufferSize() const {
  const std::size_t share = memory_limit_ / (4 * (kMaxOpenRuns + 1));
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
  if (set_.appending()) ++stats_.runs_from_buckets;
  set_.Clear();
  run.bytes = sink.bytes;
  AddRunBytes(run.bytes);
  ++stats_.runs_written;
  if (!AddRun(std::move(run))) return false;
  if (progress_ != nullptr) progress_->RunWritten(ProgressTracker::Stage::kReading);
  return true;
}

bool DistinctWords::AddRun(Run run) {
  runs_.push_back(std::move(run));
  if (runs_.size() < kMaxOpenRuns) return true;
  return MergeSmallestRuns(kEarlyMergeWidth);
}

// Merges the `width` smallest runs into one: the bytes that are read and
// written again are as few as they can be.
bool DistinctWords::MergeSmallestRuns(std::size_t width) {
  Run merged;
  if (!CreateRun(&merged)) return false;
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kMerging, width);
  std::stable_sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) { return a.bytes < b.bytes; });
  std::vector<std::unique_ptr<RunInput>> inputs;
  for (std::size_t i = 0; i < width; ++i) {
    inputs.push_back(std::make_unique<RunInput>(*runs_[i].file, ReadBufferSize()));
  }
  CountingSink sink(*merged.file);
  {
    LineWriter writer(sink, WriteBufferSize());
    const Written result = MergeInto(inputs, nullptr, writer, stats_, &run_error_);
    if (result == Written::kRunFailed) return false;
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

DistinctWords::Written DistinctWords::Finish() {
  // A stretch in the result that nothing came after is the whole result.
  if (stretch_ == Stretch::kInResult && set_.empty() && runs_.empty()) return Written::kDone;
  if (stretch_ != Stretch::kNone && !EndStretch()) return Written::kRunFailed;
  if (progress_ != nullptr) {
    const bool merges = !runs_.empty() || result_has_prefix_;
    progress_->Enter(merges ? ProgressTracker::Stage::kSorting : ProgressTracker::Stage::kWriting);
  }
  set_.Sort();
  // The stretch the result holds is read back, and the result starts again.
  std::unique_ptr<RunFile> prefix;
  if (result_has_prefix_) {
    prefix = result_.TakeBack();
    if (prefix == nullptr) return Written::kOutputFailed;
  }
  LineWriter* out = result_.Lines();
  if (out == nullptr) return Written::kOutputFailed;
  if (runs_.empty() && !prefix) return WriteSet(*out) ? Written::kDone : Written::kOutputFailed;
  // Merge runs until the last merge can take the rest at once, and no more
  // than needed: the first merge may take fewer than it could.
  const std::size_t others = (set_.empty() ? 0 : 1) + (prefix ? 1 : 0);
  while (runs_.size() + others > kMaxOpenRuns) {
    const std::size_t excess = runs_.size() + others - kMaxOpenRuns;
    if (!MergeSmallestRuns(std::min(runs_.size(), excess + 1))) return Written::kRunFailed;
  }
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kWriting, runs_.size() + (prefix ? 1 : 0));
  std::vector<std::unique_ptr<RunInput>> inputs;
  if (prefix) inputs.push_back(std::make_unique<RunInput>(*prefix, ReadBufferSize()));
  for (Run& run : runs_) inputs.push_back(std::make_unique<RunInput>(*run.file, ReadBufferSize()));
  SetInput set(set_);
  return MergeInto(inputs, set_.empty() ? nullptr : &set, *out, stats_, &run_error_);
}

}  // namespace lexset
