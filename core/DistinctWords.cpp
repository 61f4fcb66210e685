//===- DistinctWords.cpp - The distinct words of a source, within a limit ===//
#include "core/DistinctWords.h"

#include <algorithm>
#include <new>

#include "core/ReadAhead.h"
#include "core/RunReader.h"
#include "core/WordMerge.h"

namespace lexset {
namespace {

// Whether non-empty words `a` and `b` are in order; their first bytes
// nearly always tell.
bool InOrder(std::string_view a, std::string_view b) {
  const auto x = static_cast<unsigned char>(a[0]);
  const auto y = static_cast<unsigned char>(b[0]);
  return x != y ? x < y : CompareWords(a, b) <= 0;
}

// The set's words, sorted, as one input of a merge.
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
  // Where the set holds most of a merge's words, they win many in a row:
  // each is then compared with the bound alone.
  Copied CopyBelow(const std::string_view* bound, LineWriter& out, MergeWord* next, std::string_view* last) override {
    std::string_view written = cursor_.word();
    for (;;) {
      if (!cursor_.Next()) {
        *last = written;
        return Copied::kEnd;
      }
      const std::string_view word = cursor_.word();
      if (bound != nullptr && CompareWords(word, *bound) >= 0) {
        next->word = word;
        next->shared = SharedBytes(written, word);
        *last = written;
        return Copied::kStopped;
      }
      if (!out.PutLine(word)) return Copied::kOutputFailed;
      written = word;
    }
  }

 private:
  WordSet::Cursor cursor_;
};

}  // namespace

// A stretch's run file is made only once its writer's buffer is full: a
// shorter stretch hands its words back to the set instead.
class DistinctWords::StretchSink final : public ByteSink {
 public:
  explicit StretchSink(RunFiles& runs) : runs_(runs) {}
  bool Write(const char* data, std::size_t size) override {
    if (!file_ && !(file_ = runs_.Create())) return false;
    bytes_ += size;
    if (file_->Write(data, size)) return true;
    runs_.set_error(file_->error());
    return false;
  }
  // Whether the stretch has a run file, and keeps it.
  bool has_file() const { return file_ != nullptr; }
  bool Keep() { return runs_.Keep(std::move(file_), bytes_); }

 private:
  RunFiles& runs_;
  std::unique_ptr<RunFile> file_;
  std::uint64_t bytes_ = 0;
};

DistinctWords::DistinctWords(std::size_t memory_limit, RunStorage* storage, ResultLines& result,
                             ProgressTracker* progress, std::size_t give_up_hashing_from, std::size_t stretch_from,
                             std::size_t hash_stretches_from)
    : set_(memory_limit, give_up_hashing_from),
      runs_(storage != nullptr ? std::make_unique<RunFiles>(*storage, memory_limit, stats_, progress) : nullptr),
      result_(result),
      progress_(progress),
      memory_limit_(memory_limit),
      stretch_from_(std::max<std::size_t>(stretch_from, 1)),
      hash_stretches_from_(hash_stretches_from) {}

DistinctWords::~DistinctWords() = default;

const std::string& DistinctWords::run_error() const {
  static const std::string kNone;
  return runs_ ? runs_->error() : kNone;
}

bool DistinctWords::Add(const std::string_view* words, std::size_t count) {
  while (count > 0) {
    if (stretch_ != Stretch::kNone) {
      const std::size_t taken =
          stretch_ == Stretch::kMerging ? ExtendMerge(words, count) : ExtendStretch(words, count);
      if (stretch_out_ == nullptr) return false;
      words += taken;
      count -= taken;
      if (count != 0 && !EndStretch()) return false;
      continue;
    }
    const std::size_t added = set_.InsertMany(words, count);
    // In a shuffled list the last two words of a batch are out of order as
    // often as not: that settles it at once.
    if (added >= 2 && stretch_from_ > 1 && !InOrder(words[added - 2], words[added - 1])) {
      in_order_ = 1;
      has_last_ = false;
    } else {
      FollowOrder(words, added);
    }
    words += added;
    count -= added;
    if (in_order_ >= stretch_from_ && runs_ && !hashing_stretches_) {
      if (!StartStretch()) return false;
      continue;
    }
    if (count == 0) break;
    // Memory or the limit ran out: make room by spilling what the set holds.
    if (!runs_ || set_.empty()) throw std::bad_alloc();
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
    if (!runs_ || set_.empty()) throw std::bad_alloc();
    if (!Spill()) return false;
  }
  return true;
}

// Only the end of each batch is looked at: in a shuffled list a word is
// less than the one before it within a word or two from the end. The last
// word is kept only where the words end in order for a few words: a
// shuffled list, which never does, costs no copy, and a stretch loses at
// most those few words from its count.
void DistinctWords::FollowOrder(const std::string_view* words, std::size_t count) {
  if (count == 0) return;
  std::size_t first = count - 1;
  while (first > 0 && InOrder(words[first - 1], words[first])) --first;
  if (first == 0 && has_last_ && InOrder(last_, words[0])) {
    in_order_ += count;
  } else {
    in_order_ = count - first;
  }
  constexpr std::size_t kWorthKeeping = 8;
  has_last_ = in_order_ >= std::min(kWorthKeeping, stretch_from_);
  if (has_last_) last_.assign(words[count - 1]);
}

bool DistinctWords::MergesWithResult() const {
  // Only where the merge may be the last one: with nothing else to merge,
  // it leaves the result whole. Otherwise it costs the result's words read
  // and written once more: where the sources' size is known, the rest of
  // them must be no larger than half as much again as the result's stretch
  // (a third piece, or more, would come after).
  if (!result_has_prefix_ || merged_ || !runs_->empty() || !(set_.empty() || set_.in_order())) return false;
  if (progress_ == nullptr || progress_->total_bytes() == 0 || result_stretch_bytes_ == 0) return true;
  const std::uint64_t left = progress_->total_bytes() - std::min(progress_->total_bytes(), progress_->bytes_read());
  return left <= result_stretch_bytes_ + result_stretch_bytes_ / 2;
}

bool DistinctWords::StartMerge() {
  std::unique_ptr<RunFile> earlier = result_.TakeBack();
  LineWriter* out = earlier != nullptr ? result_.Lines() : nullptr;
  if (out == nullptr) return false;
  merge_ = std::make_unique<StretchMerge>(std::move(earlier), runs_->ReadBufferSize(1), *out);
  stretch_ = Stretch::kMerging;
  result_has_prefix_ = false;
  merged_ = true;
  ++stats_.stretches;
  if (!merge_->Start()) {
    runs_->set_error(merge_->read_error());
    return false;
  }
  // The set's words came in order just before: they begin the stretch.
  set_.Sort();
  const bool put = set_.ForEachSorted([this](std::string_view word) { return merge_->Put(word); });
  set_.Clear();
  if (!put) {
    if (merge_->read_failed()) runs_->set_error(merge_->read_error());
    return false;
  }
  stretch_out_ = out;
  return true;
}

bool DistinctWords::StartStretch() {
  if (MergesWithResult()) return StartMerge();
  // The result takes one stretch, if it can take its words back for the
  // end, where anything else is merged with them.
  const bool to_result = !result_used_ && result_.CanTakeBack();
  if (to_result) {
    if (progress_ != nullptr) result_stretch_from_ = progress_->bytes_read();
    stretch_out_ = result_.Lines();
    if (stretch_out_ == nullptr) return false;
    stretch_ = Stretch::kInResult;
  } else {
    stretch_sink_ = std::make_unique<StretchSink>(*runs_);
    stretch_writer_ = std::make_unique<LineWriter>(*stretch_sink_, runs_->WriteBufferSize());
    stretch_out_ = stretch_writer_.get();
    stretch_ = Stretch::kInRun;
  }
  result_used_ = true;
  ++stats_.stretches;
  if (set_.in_order() && !set_.empty()) {
    const bool written = set_.ForEachOrderedBlock(
        [this](const char* lines, std::size_t size) { return stretch_out_->PutLines(lines, size); });
    set_.Clear();
    if (!written) {
      stretch_out_ = nullptr;
      return false;
    }
  }
  return true;
}

namespace {

// Gives put(word) the words that keep ascending after `last`, repeats of it
// skipped, and moves `last` on; stops before the first out of order, or at
// the first put fails (then sets *failed). Returns how many were taken.
template <class Put>
std::size_t TakeInOrder(const std::string_view* words, std::size_t count, std::string& last, Put&& put,
                        bool* failed) {
  std::string_view kept = last;
  std::size_t i = 0;
  for (; i < count; ++i) {
    const int order = CompareWords(words[i], kept);
    if (order < 0) break;
    if (order == 0) continue;
    if (!put(words[i])) {
      *failed = true;
      break;
    }
    kept = words[i];
  }
  if (kept.data() != last.data()) last.assign(kept);
  return i;
}

}  // namespace

std::size_t DistinctWords::ExtendStretch(const std::string_view* words, std::size_t count) {
  bool failed = false;
  const std::size_t taken = TakeInOrder(
      words, count, last_, [this](std::string_view word) { return stretch_out_->PutLine(word); }, &failed);
  if (failed) stretch_out_ = nullptr;
  return taken;
}

std::size_t DistinctWords::ExtendMerge(const std::string_view* words, std::size_t count) {
  bool failed = false;
  const std::size_t taken =
      TakeInOrder(words, count, last_, [this](std::string_view word) { return merge_->Put(word); }, &failed);
  if (failed) {
    if (merge_->read_failed()) runs_->set_error(merge_->read_error());
    stretch_out_ = nullptr;
  }
  return taken;
}

bool DistinctWords::EndStretch() {
  const Stretch ended = stretch_;
  stretch_ = Stretch::kNone;
  stretch_out_ = nullptr;
  in_order_ = 0;
  if (ended == Stretch::kMerging) {
    // The earlier words left follow; the result holds one stretch again.
    std::unique_ptr<StretchMerge> merge = std::move(merge_);
    if (!merge->Finish()) {
      if (merge->read_failed()) runs_->set_error(merge->read_error());
      return false;
    }
    result_has_prefix_ = true;
    return true;
  }
  if (ended == Stretch::kInResult) {
    if (progress_ != nullptr) result_stretch_bytes_ = progress_->bytes_read() - result_stretch_from_;
    result_has_prefix_ = true;
    return true;
  }
  std::unique_ptr<StretchSink> sink = std::move(stretch_sink_);
  std::unique_ptr<LineWriter> writer = std::move(stretch_writer_);
  if (!sink->has_file()) {
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
  if (!writer->Flush() || !sink->Keep()) return false;
  return ++stretch_runs_ < hash_stretches_from_ || HashStretches();
}

bool DistinctWords::HashStretches() {
  hashing_stretches_ = true;
  if (runs_->bytes() > memory_limit_ / 2) return true;
  // Each word is added as it is read: the reader keeps only the current one.
  for (const std::unique_ptr<RunFile>& file : runs_->TakeAll()) {
    ++stats_.runs_taken_back;
    RunReader reader(*file, runs_->ReadBufferSize(1));
    while (reader.Next()) {
      const std::string_view word = reader.word();
      if (!AddToSet(&word, 1)) return false;
    }
    if (reader.failed()) {
      runs_->set_error(file->error());
      return false;
    }
  }
  return true;
}

// Words that came in order are lines already, written in large blocks.
bool DistinctWords::WriteSet(LineWriter& out) const {
  if (set_.in_order()) {
    return set_.ForEachOrderedBlock([&out](const char* lines, std::size_t size) { return out.PutLines(lines, size); });
  }
  return set_.ForEachSorted([&out](std::string_view word) { return out.PutLine(word); });
}

bool DistinctWords::Spill() {
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kSpilling);
  set_.Sort();
  if (!runs_->WriteRun([this](LineWriter& out) { return WriteSet(out); })) return false;
  if (set_.appending()) ++stats_.runs_from_buckets;
  set_.Clear();
  if (progress_ != nullptr) progress_->RunWritten(ProgressTracker::Stage::kReading);
  return true;
}

bool DistinctWords::SplitsLastMerge(RunFile* prefix) const {
  if (workers_ == nullptr || workers_->threads() < 2 || !runs_->CanReadAt()) return false;
  std::uint64_t bytes = runs_->bytes();
  std::uint64_t largest = runs_->largest();
  if (prefix != nullptr) {
    const std::int64_t size = prefix->CanReadAt() ? prefix->ReadableSize() : -1;
    if (size < 0) return false;
    bytes += static_cast<std::uint64_t>(size);
    largest = std::max(largest, static_cast<std::uint64_t>(size));
  }
  // Words left in the set go to a run first, where they are few beside the
  // runs: a byte read and written once more costs less than the merge saves.
  if (!set_.empty() && set_.MemoryUsed() > bytes / 4) return false;
  // Where one input holds nearly all the words (a list with a few new words
  // after it), the merge copies its lines in large pieces between the
  // others' words, faster whole than split and copied twice more.
  if (largest > bytes / 4 * 3) return false;
  const std::size_t inputs = runs_->size() + (prefix != nullptr ? 1 : 0) + (set_.empty() ? 0 : 1);
  return inputs >= 2 && bytes >= split_merge_from_;
}

DistinctWords::Written DistinctWords::Finish() {
  const bool has_runs = runs_ && !runs_->empty();
  // A stretch in the result that nothing came after is the whole result.
  if (stretch_ == Stretch::kInResult && set_.empty() && !has_runs) return Written::kDone;
  if (stretch_ != Stretch::kNone && !EndStretch()) {
    return run_error().empty() ? Written::kOutputFailed : Written::kRunFailed;
  }
  // A stretch merged as it came, with nothing after it, is the whole result.
  if (result_has_prefix_ && set_.empty() && (!runs_ || runs_->empty())) return Written::kDone;
  if (progress_ != nullptr) {
    const bool merges = (runs_ && !runs_->empty()) || result_has_prefix_;
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
  if ((!runs_ || runs_->empty()) && !prefix) return WriteSet(*out) ? Written::kDone : Written::kOutputFailed;
  const bool split = SplitsLastMerge(prefix.get());
  if (split && !set_.empty()) {
    if (!runs_->WriteRun([this](LineWriter& lines) { return WriteSet(lines); })) return Written::kRunFailed;
    set_.Clear();
    if (progress_ != nullptr) progress_->RunWritten(ProgressTracker::Stage::kSorting);
  }
  std::vector<MergeInput*> more;
  std::unique_ptr<ReadAhead> read_ahead;
  std::unique_ptr<RunInput> taken_back;
  if (prefix && !split) {
    const std::size_t buffer_size = runs_->ReadBufferSize(runs_->size() + 2);
    ByteSource* source = prefix.get();
    if (workers_ != nullptr && workers_->threads() > 1) {
      read_ahead = std::make_unique<ReadAhead>(*prefix, *workers_, buffer_size);
      source = read_ahead.get();
    }
    taken_back = std::make_unique<RunInput>(*source, buffer_size);
    more.push_back(taken_back.get());
  }
  std::unique_ptr<SetInput> set;
  if (!set_.empty()) {
    set = std::make_unique<SetInput>(set_);
    more.push_back(set.get());
  }
  if (!runs_->MakeRoomFor(split && prefix ? 1 : more.size())) return Written::kRunFailed;
  if (progress_ != nullptr) progress_->Enter(ProgressTracker::Stage::kWriting, runs_->size() + (prefix ? 1 : 0));
  std::vector<RunFile*> more_files;
  if (prefix) more_files.push_back(prefix.get());
  switch (split ? runs_->MergeSplitInto(more_files, *workers_, *out) : runs_->MergeInto(more, *out)) {
    case MergeResult::kDone:
      return Written::kDone;
    case MergeResult::kOutputFailed:
      return Written::kOutputFailed;
    case MergeResult::kInputFailed:
      break;
  }
  // The result read back failed, or a run did.
  if (taken_back && taken_back->failed() && runs_->error().empty()) runs_->set_error(prefix->error());
  return Written::kRunFailed;
}

}  // namespace lexset
