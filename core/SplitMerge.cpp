//===- SplitMerge.cpp - The last merge, in ranges of words side by side --===//
#include "core/SplitMerge.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "core/RunReader.h"
#include "core/WordCompare.h"
#include "core/Workers.h"

namespace lexset {
namespace {

// A run file that holds fewer bytes than it was written with.
constexpr char kEndedEarly[] = "a run file ended before its end";

// Lines of a run looked up by offset, a few hundred bytes read at a time.
class LineFinder {
 public:
  explicit LineFinder(const SplitRun& run) : file_(*run.file), size_(run.bytes) {}

  // The first line that starts at `from` or after: *at its offset (the
  // run's size if there is none), *word its word, valid until the next
  // call. False after a read error.
  bool LineFrom(std::uint64_t from, std::uint64_t* at, std::string_view* word) {
    if (from >= size_) {
      *at = size_;
      return true;
    }
    // A line starts after a '\n', so the byte before `from` is read too.
    base_ = from == 0 ? 0 : from - 1;
    buffer_.clear();
    constexpr std::size_t kNone = std::string::npos;
    std::size_t start = from == 0 ? 0 : kNone;
    std::size_t looked = 0;
    std::size_t window = 256;
    for (;;) {
      if (start == kNone) {
        const std::size_t line_end = buffer_.find('\n', looked);
        if (line_end != kNone) start = line_end + 1;
      }
      if (start != kNone) {
        if (base_ + start >= size_) {
          *at = size_;
          return true;
        }
        const std::size_t line_end = buffer_.find('\n', std::max(start, looked));
        if (line_end != kNone) {
          *at = base_ + start;
          *word = std::string_view(buffer_).substr(start, line_end - 1 - start);
          return true;
        }
      }
      looked = buffer_.size();
      if (base_ + looked >= size_) {
        if (start != kNone) return Failed(kEndedEarly);
        *at = size_;
        return true;
      }
      if (!ReadMore(window)) return false;
      window = std::min<std::size_t>(window * 2, std::size_t{1} << 20);
    }
  }

  // The offset of the first line from `lo` on whose word is not below
  // `bound`, where `lo` starts a line, every line before it is below, and
  // `hi` starts a line that is not (or is the end). False after a read
  // error.
  bool FirstNotBelow(std::string_view bound, std::uint64_t lo, std::uint64_t hi, std::uint64_t* at) {
    constexpr std::uint64_t kFewBytes = 256;
    while (hi - lo > kFewBytes) {
      std::uint64_t line;
      std::string_view word;
      if (!LineFrom(lo + (hi - lo) / 2, &line, &word)) return false;
      if (line >= hi) break;
      if (CompareWords(word, bound) >= 0) {
        hi = line;
      } else {
        lo = line + word.size() + 2;
      }
    }
    // The few lines left are read at once and looked at in turn.
    base_ = lo;
    buffer_.clear();
    if (!ReadMore(static_cast<std::size_t>(hi - lo))) return false;
    for (std::size_t line = 0; line < buffer_.size();) {
      const std::size_t line_end = buffer_.find('\n', line);
      if (line_end == std::string::npos) break;
      if (CompareWords(std::string_view(buffer_).substr(line, line_end - 1 - line), bound) >= 0) {
        *at = lo + line;
        return true;
      }
      line = line_end + 1;
    }
    *at = hi;
    return true;
  }

  const std::string& error() const { return error_; }

 private:
  bool Failed(const char* error) {
    error_ = error;
    return false;
  }
  // Reads on after the buffer's bytes, `wanted` bytes but none past the end.
  bool ReadMore(std::size_t wanted) {
    const std::uint64_t from = base_ + buffer_.size();
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, size_ - from));
    const std::size_t kept = buffer_.size();
    buffer_.resize(kept + size);
    for (std::size_t done = 0; done < size;) {
      const std::ptrdiff_t got = file_.ReadAt(from + done, &buffer_[kept + done], size - done, &error_);
      if (got < 0) return false;
      if (got == 0) return Failed(kEndedEarly);
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

  RunFile& file_;
  std::uint64_t size_;
  std::uint64_t base_ = 0;  // the offset of the buffer's first byte
  std::string buffer_;
  std::string error_;
};

// One run's range of a chunk, read as a source of its own.
class RangeSource final : public ByteSource {
 public:
  RangeSource(RunFile& file, std::uint64_t begin, std::uint64_t end, std::size_t run)
      : file_(file), at_(begin), end_(end), run_(run) {}
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, end_ - at_));
    if (wanted == 0) return 0;
    const std::ptrdiff_t got = file_.ReadAt(at_, buffer, wanted, &error_);
    if (got == 0) error_ = kEndedEarly;
    if (got <= 0) return -1;
    at_ += static_cast<std::uint64_t>(got);
    return got;
  }
  std::uint64_t size_left() const { return end_ - at_; }
  std::size_t run() const { return run_; }
  const std::string& error() const { return error_; }

 private:
  RunFile& file_;
  std::uint64_t at_;
  std::uint64_t end_;
  std::size_t run_;
  std::string error_;
};

// Where a chunk's merged lines go past its buffer: never, as a chunk's
// words are no more than its runs' bytes, but a sink must be there.
class Overflow final : public ByteSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

// `buffer` if it holds `size` bytes, or a new buffer with room to spare.
ByteBuffer Reuse(ByteBuffer buffer, std::uint64_t size) {
  if (buffer.size() >= size) return buffer;
  return ByteBuffer(static_cast<std::size_t>(size + size / 8));
}

// What a task of the plan met first of read errors.
struct RunFailure {
  bool failed = false;
  std::size_t run = 0;
  std::string error;
  void Keep(std::size_t failed_run, const std::string& why) {
    if (failed) return;
    failed = true;
    run = failed_run;
    error = why;
  }
};

}  // namespace

struct SplitMerge::Sample {
  std::uint64_t at;  // where its line starts
  std::string word;
  std::uint64_t steps;  // sampling offsets that fell in its line
};

struct SplitMerge::Slot {
  explicit Slot(Workers& workers) : group(&workers) {}
  std::vector<RangeSource> sources;
  std::vector<std::unique_ptr<RunInput>> inputs;
  Overflow overflow;
  std::unique_ptr<LineWriter> lines;
  // Buffers kept from chunk to chunk, by run, and for the merged words:
  // memory just allocated costs a page fault per page when first written.
  std::vector<ByteBuffer> kept;
  ByteBuffer kept_lines{0};
  MergeResult result = MergeResult::kDone;
  std::uint64_t compared = 0;
  RunFailure failure;
  TaskGroup group;  // last, so that it waits before the rest goes
};

SplitMerge::SplitMerge(std::vector<SplitRun> runs, Workers& workers, std::size_t memory)
    : runs_(std::move(runs)), workers_(workers), memory_(memory) {
  // A chunk's runs and its merged words each take about a chunk's bytes,
  // and a little more; the rest is the samples'.
  const std::size_t chunk_memory = memory / (kChunksPerThread * workers.threads());
  chunk_bytes_ = std::clamp<std::uint64_t>(chunk_memory / 3, 4096, std::uint64_t{8} << 20);
  // Between two cuts, each run holds as many steps' bytes as it has samples
  // there, give or take one: a chunk of k samples' steps holds at most
  // k + runs steps. With k twice the runs and more, that is at most half as
  // much again as a chunk's bytes.
  const std::uint64_t samples_per_chunk = 16 + 2 * runs_.size();
  sample_step_ = std::max<std::uint64_t>(chunk_bytes_ / samples_per_chunk, 64);
}

SplitMerge::~SplitMerge() = default;

void SplitMerge::Fail(std::size_t run, const std::string& error) {
  if (failed_) return;
  failed_ = true;
  failed_run_ = run;
  error_ = error;
}

std::uint64_t SplitMerge::CutBefore(std::size_t c, std::size_t r) const {
  if (c == 0) return 0;
  if (c > cuts_.size()) return runs_[r].bytes;
  return cuts_[c - 1][r];
}

SplitMerge::Planned SplitMerge::Plan() {
  // The samples' words take a share of the memory, a megabyte at least, as
  // a merge's buffers take a few kilobytes whatever the limit; with too
  // many, the runs are merged as a whole.
  constexpr std::size_t kSampleCost = sizeof(Sample) + 16;
  const std::size_t sample_memory = std::max<std::size_t>(memory_ / 4, std::size_t{1} << 20);
  std::uint64_t total = 0;
  for (const SplitRun& run : runs_) total += run.bytes;
  if (total / sample_step_ * kSampleCost > sample_memory) return Planned::kTooMany;

  std::vector<std::vector<Sample>> samples(runs_.size());
  std::vector<RunFailure> failures(runs_.size());
  // Each run's samples may take its share of the memory, counted as they
  // come, so that long words stop the sampling early.
  std::vector<char> too_many(runs_.size());
  {
    TaskGroup sampling(&workers_);
    for (std::size_t r = 0; r < runs_.size(); ++r) {
      const std::size_t share = std::max<std::size_t>(
          4096, static_cast<std::size_t>(static_cast<double>(sample_memory) * static_cast<double>(runs_[r].bytes) /
                                         static_cast<double>(std::max<std::uint64_t>(total, 1))));
      sampling.Run([this, r, share, &samples, &failures, &too_many] {
        LineFinder finder(runs_[r]);
        std::size_t bytes = 0;
        for (std::uint64_t from = sample_step_ / 2; from < runs_[r].bytes; from += sample_step_) {
          if (bytes > share) {
            too_many[r] = 1;
            return;
          }
          std::uint64_t at;
          std::string_view word;
          if (!finder.LineFrom(from, &at, &word)) return failures[r].Keep(r, finder.error());
          if (at >= runs_[r].bytes) break;
          // A line longer than a step is sampled once, and weighs as many.
          if (!samples[r].empty() && samples[r].back().at == at) {
            ++samples[r].back().steps;
            continue;
          }
          samples[r].push_back(Sample{at, std::string(word), 1});
          bytes += kSampleCost + word.size();
        }
      });
    }
    sampling.Wait();
  }
  std::vector<const Sample*> sorted;
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    if (failures[r].failed) {
      Fail(failures[r].run, failures[r].error);
      return Planned::kInputFailed;
    }
    for (const Sample& sample : samples[r]) sorted.push_back(&sample);
  }
  if (std::find(too_many.begin(), too_many.end(), 1) != too_many.end()) return Planned::kTooMany;

  // Every so many steps of samples in order, a splitter, each once.
  std::sort(sorted.begin(), sorted.end(),
            [](const Sample* a, const Sample* b) { return CompareWords(a->word, b->word) < 0; });
  const std::uint64_t per_chunk = chunk_bytes_ / sample_step_;
  std::vector<const std::string*> splitters;
  std::uint64_t steps = 0;
  for (const Sample* sample : sorted) {
    if (steps >= per_chunk && (splitters.empty() || CompareWords(*splitters.back(), sample->word) != 0)) {
      splitters.push_back(&sample->word);
      steps = 0;
    }
    steps += sample->steps;
  }

  // Each run's cut before each splitter lies between two of its samples.
  cuts_.assign(splitters.size(), std::vector<std::uint64_t>(runs_.size()));
  const std::size_t tasks = std::min<std::size_t>(splitters.size(), 4 * std::size_t{workers_.threads()});
  std::vector<RunFailure> task_failures(tasks);
  {
    TaskGroup cutting(&workers_);
    for (std::size_t t = 0; t < tasks; ++t) {
      cutting.Run([this, t, tasks, &splitters, &samples, &task_failures] {
        RunFailure& failure = task_failures[t];
        for (std::size_t r = 0; r < runs_.size() && !failure.failed; ++r) {
          LineFinder finder(runs_[r]);
          const std::vector<Sample>& own = samples[r];
          for (std::size_t s = splitters.size() * t / tasks; s < splitters.size() * (t + 1) / tasks; ++s) {
            const std::string& splitter = *splitters[s];
            const auto above =
                std::lower_bound(own.begin(), own.end(), splitter,
                                 [](const Sample& a, const std::string& w) { return CompareWords(a.word, w) < 0; });
            const std::uint64_t lo = above == own.begin() ? 0 : (above - 1)->at + (above - 1)->word.size() + 2;
            const std::uint64_t hi = above == own.end() ? runs_[r].bytes : above->at;
            if (!finder.FirstNotBelow(splitter, lo, hi, &cuts_[s][r])) {
              failure.Keep(r, finder.error());
              break;
            }
          }
        }
      });
    }
    cutting.Wait();
  }
  for (const RunFailure& failure : task_failures) {
    if (failure.failed) {
      Fail(failure.run, failure.error);
      return Planned::kInputFailed;
    }
  }
  return Planned::kSplit;
}

void SplitMerge::MergeChunk(std::size_t c, Slot& slot) {
  slot.sources.clear();
  slot.inputs.clear();
  slot.compared = 0;
  slot.failure = RunFailure();
  slot.overflow.bytes.clear();
  slot.sources.reserve(runs_.size());
  std::uint64_t bytes = 0;
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    const std::uint64_t begin = CutBefore(c, r);
    const std::uint64_t end = CutBefore(c + 1, r);
    if (begin == end) continue;
    slot.sources.emplace_back(*runs_[r].file, begin, end, r);
    bytes += end - begin;
  }
  // Each range is read whole at once, and the chunk's words fit its
  // buffer; a buffer kept from an earlier chunk serves where it is large
  // enough.
  while (slot.kept.size() < runs_.size()) slot.kept.emplace_back(0);
  std::vector<MergeInput*> inputs;
  for (RangeSource& source : slot.sources) {
    ByteBuffer buffer = Reuse(std::move(slot.kept[source.run()]), static_cast<std::size_t>(source.size_left()) + 64);
    slot.inputs.push_back(std::make_unique<RunInput>(source, std::move(buffer)));
    inputs.push_back(slot.inputs.back().get());
  }
  slot.lines = std::make_unique<LineWriter>(slot.overflow, Reuse(std::move(slot.kept_lines), bytes + 64));
  slot.result = MergeWords(inputs, *slot.lines, &slot.compared);
  if (slot.result == MergeResult::kInputFailed) {
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      if (inputs[i]->failed()) slot.failure.Keep(slot.sources[i].run(), slot.sources[i].error());
    }
  }
  // The buffers are kept while they take no more than a few chunks' bytes.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < slot.inputs.size(); ++i) {
    slot.kept[slot.sources[i].run()] = slot.inputs[i]->TakeBuffer();
  }
  for (const ByteBuffer& buffer : slot.kept) kept += buffer.size();
  if (kept > 2 * chunk_bytes_ + 64 * runs_.size()) {
    for (ByteBuffer& buffer : slot.kept) buffer = ByteBuffer(0);
  }
  slot.inputs.clear();
}

MergeResult SplitMerge::MergeInto(LineWriter& out) {
  constexpr std::size_t kSlice = 256 << 10;
  std::vector<std::unique_ptr<Slot>> slots;
  for (std::size_t i = 0; i < kChunksPerThread * workers_.threads(); ++i)
    slots.push_back(std::make_unique<Slot>(workers_));
  const std::size_t count = chunks();
  std::size_t next = 0;
  for (std::size_t done = 0; done < count; ++done) {
    // Chunks go to the helpers as slots come free, in order.
    for (; next < count && next - done < slots.size(); ++next) {
      Slot& slot = *slots[next % slots.size()];
      slot.group.Run([this, &slot, next] { MergeChunk(next, slot); });
    }
    Slot& slot = *slots[done % slots.size()];
    slot.group.Wait();
    compared_ += slot.compared;
    if (slot.result == MergeResult::kInputFailed) {
      Fail(slot.failure.run, slot.failure.error);
      return MergeResult::kInputFailed;
    }
    const std::string_view merged = slot.lines->pending();
    if (!out.PutLines(slot.overflow.bytes.data(), slot.overflow.bytes.size())) return MergeResult::kOutputFailed;
    for (std::size_t at = 0; at < merged.size(); at += kSlice) {
      if (!out.PutLines(merged.data() + at, std::min(kSlice, merged.size() - at))) return MergeResult::kOutputFailed;
    }
    slot.kept_lines = slot.lines->TakeBuffer();
    if (slot.kept_lines.size() > 2 * chunk_bytes_ + 64) slot.kept_lines = ByteBuffer(0);
    slot.lines.reset();
  }
  return MergeResult::kDone;
}

}  // namespace lexset
