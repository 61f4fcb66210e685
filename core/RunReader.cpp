//===- RunReader.cpp - Reading a run back, word by word ------------------===//
#include "core/RunReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/WordMerge.h"

namespace lexset {
namespace {

// The last '\n' in [begin, end), or null; the lines are short.
const char* FindLastLineEnd(const char* begin, const char* end) {
  while (end != begin) {
    if (*--end == '\n') return end;
  }
  return nullptr;
}

// Lines looked at one by one before a copy is taken for a long one.
constexpr std::ptrdiff_t kFewBytes = 256;

// Moves *line past the whole lines in [*line, end) that are below *bound
// (all of them, for a null bound), but a few, with *word the last of them:
// where the last whole line is below the bound, so are all before it, and
// they go out in one piece, without a look at each; otherwise lines ever
// further on are looked at, then halfway between, until a few lines are
// left to look at one by one.
void SkipLinesBelow(const std::string_view* bound, const char* end, const char** line, const char** word,
                    std::size_t* word_size) {
  const char* const last_end = FindLastLineEnd(*line, end);
  if (last_end == nullptr) return;
  const char* last_begin = FindLastLineEnd(*line, last_end);
  last_begin = last_begin != nullptr ? last_begin + 1 : *line;
  const std::string_view last_word(last_begin, static_cast<std::size_t>(last_end - 1 - last_begin));
  if (bound == nullptr || CompareWords(last_word, *bound) < 0) {
    *word = last_begin;
    *word_size = last_word.size();
    *line = last_end + 1;
    return;
  }
  // Lines from *line to `not_below` are yet to be told.
  const char* not_below = last_begin;
  std::ptrdiff_t step = kFewBytes;
  while (not_below - *line > kFewBytes) {
    const char* probe = FindLineEnd(*line + std::min(step, (not_below - *line) / 2), not_below);
    if (probe == nullptr || probe + 1 == not_below) return;
    const char* probe_begin = probe + 1;
    const char* probe_end = FindLineEnd(probe_begin, not_below);
    const std::string_view probe_word(probe_begin, static_cast<std::size_t>(probe_end - 1 - probe_begin));
    if (CompareWords(probe_word, *bound) < 0) {
      *word = probe_begin;
      *word_size = probe_word.size();
      *line = probe_end + 1;
      step *= 2;
    } else {
      not_below = probe_begin;
      step = kFewBytes;
    }
  }
}

}  // namespace

RunReader::RunReader(ByteSource& source, std::size_t buffer_size)
    : source_(source), buffer_(buffer_size < 64 ? 64 : buffer_size) {}

bool RunReader::NextAfterRefill() {
  for (;;) {
    // The bytes from begin_ on hold no whole line; they are read again
    // after the refill, which is rare enough not to matter.
    if (!Refill()) return false;
    if (const char* line_end = FindLineEnd(buffer_.data() + begin_, buffer_.data() + end_)) {
      Take(line_end);
      return true;
    }
  }
}

bool RunReader::Refill() {
  if (at_end_ || failed_) return false;
  // Keep the current word and the unfinished one, at the front, and read
  // on; a word longer than the buffer makes it grow.
  const std::size_t keep_from = has_word_ ? word_begin_ : begin_;
  const std::size_t kept = end_ - keep_from;
  if (keep_from != 0) std::memmove(buffer_.data(), buffer_.data() + keep_from, kept);
  word_begin_ -= has_word_ ? keep_from : 0;
  begin_ -= keep_from;
  end_ = kept;
  if (end_ == buffer_.size()) buffer_.Resize(buffer_.size() * 2, end_);
  const std::ptrdiff_t got = source_.Read(buffer_.data() + end_, buffer_.size() - end_);
  if (got < 0) {
    failed_ = true;
    return false;
  }
  if (got == 0) at_end_ = true;
  end_ += static_cast<std::size_t>(got);
  return true;
}

Copied RunReader::CopyBelow(const std::string_view* bound, LineWriter& out, std::string_view* last) {
  const std::uint64_t bound_key = bound != nullptr ? LeadingBytes(bound->data(), bound->size()) : 0;
  // Most copies are of a few lines: they are looked at one by one, and only
  // a copy that goes on past a few is searched ahead (SkipLinesBelow).
  bool long_copy = bound == nullptr;
  for (;;) {
    // Lines from begin_ on go out until one is not below the bound; the
    // loop keeps its place in locals.
    const char* const data = buffer_.data();
    const char* const end = data + end_;
    const char* line = data + begin_;
    const char* word = data + word_begin_;
    std::size_t word_size = word_size_;
    const char* search_from = long_copy ? line : line + kFewBytes;
    for (;;) {
      if (search_from != nullptr && line >= search_from) {
        SkipLinesBelow(bound, end, &line, &word, &word_size);
        search_from = nullptr;
      }
      const char* line_end = FindLineEnd(line, end);
      if (line_end == nullptr) break;
      const std::string_view next(line, static_cast<std::size_t>(line_end - 1 - line));
      if (bound != nullptr) {
        const std::uint64_t key = LeadingBytes(next.data(), next.size());
        if (key > bound_key || (key == bound_key && CompareWords(next, *bound) >= 0)) {
          if (line != data + begin_ && !out.PutLines(data + begin_, static_cast<std::size_t>(line - (data + begin_)))) {
            return Copied::kOutputFailed;
          }
          *last = std::string_view(word, word_size);
          shared_ = SharedBytes(*last, next);
          word_begin_ = static_cast<std::size_t>(line - data);
          word_size_ = next.size();
          begin_ = static_cast<std::size_t>(line_end + 1 - data);
          return Copied::kStopped;
        }
      }
      word = line;
      word_size = next.size();
      line = line_end + 1;
    }
    // The buffer holds no whole line more: what is below goes out, and the
    // reader reads on from the last word written.
    long_copy = true;
    if (line != data + begin_ && !out.PutLines(data + begin_, static_cast<std::size_t>(line - (data + begin_)))) {
      return Copied::kOutputFailed;
    }
    word_begin_ = static_cast<std::size_t>(word - data);
    word_size_ = word_size;
    begin_ = static_cast<std::size_t>(line - data);
    if (!Refill()) {
      *last = this->word();
      return failed_ ? Copied::kInputFailed : Copied::kEnd;
    }
  }
}

Copied RunInput::CopyBelow(const std::string_view* bound, LineWriter& out, MergeWord* next, std::string_view* last) {
  const Copied copied = reader_.CopyBelow(bound, out, last);
  if (copied == Copied::kStopped) {
    next->word = reader_.word();
    next->shared = reader_.shared();
  }
  return copied;
}

}  // namespace lexset
