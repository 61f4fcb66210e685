//===- FuzzCase.h - What a fuzz input means, and the answer it must give -===//
//
// Shared by the fuzz targets and by the test that replays their corpora and
// the inputs that once failed.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ByteStreams.h"
#include "core/RunStorage.h"
#include "core/TidyJob.h"

namespace lexset::fuzz {

// The job's rules in the plainest words: split at the six separator bytes,
// stop at the first 0x1A, sort as unsigned bytes, drop repeats, end every
// line with CR LF.
inline std::string ReferenceResult(std::string_view source) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : source) {
    if (c == 0x1A) break;
    const bool separator = c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    if (!separator) {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(word);
  std::sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
  });
  words.erase(std::unique(words.begin(), words.end()), words.end());
  std::string result;
  for (const std::string& w : words) result += w + "\r\n";
  return result;
}

// A spill input: two bytes of memory limit, then the source.
struct SpillCase {
  std::size_t memory_limit;
  std::string_view source;
};

// Limits from a few hundred bytes to about 16 KB, so that most inputs go
// through many runs and merges.
inline SpillCase DecodeSpillCase(std::string_view input) {
  if (input.size() < 2) return {256, input};
  const unsigned bits = static_cast<unsigned char>(input[0]) | static_cast<unsigned char>(input[1]) << 8;
  return {256 + bits % 16128, input.substr(2)};
}

// Hands the source out in pieces of `piece` bytes.
class PieceSource final : public ByteSource {
 public:
  PieceSource(std::string_view data, std::size_t piece) : data_(data), piece_(piece) {}
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    const std::size_t n = std::min({capacity, piece_, data_.size() - offset_});
    std::copy_n(data_.data() + offset_, n, buffer);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::string_view data_;
  std::size_t piece_;
  std::size_t offset_ = 0;
};

class StringSink final : public ByteSink {
 public:
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

// Run files in memory; counts the ones still open.
class MemoryRuns final : public RunStorage {
 public:
  std::unique_ptr<RunFile> Create() override { return std::make_unique<File>(open); }
  const std::string& error() const override { return error_; }
  int open = 0;

 private:
  class File final : public RunFile {
   public:
    explicit File(int& open) : open_(open) { ++open_; }
    ~File() override { --open_; }
    bool Write(const char* data, std::size_t size) override {
      bytes_.append(data, size);
      return true;
    }
    bool Rewind() override {
      offset_ = 0;
      return true;
    }
    std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
      const std::size_t n = std::min(capacity, bytes_.size() - offset_);
      std::copy_n(bytes_.data() + offset_, n, buffer);
      offset_ += n;
      return static_cast<std::ptrdiff_t>(n);
    }
    const std::string& error() const override { return error_; }

   private:
    int& open_;
    std::string bytes_;
    std::size_t offset_ = 0;
    std::string error_;
  };
  std::string error_;
};

// The job on a source in memory: whole, and in small uneven pieces through
// small buffers. Returns the results, which must all equal the reference.
inline std::vector<std::string> JobResults(std::string_view source) {
  std::vector<std::string> results;
  {
    PieceSource in(source, source.size() + 1);
    StringSink out;
    if (TidyWords(in, out) != JobStatus::kCompleted) out.bytes = "<the job failed>";
    results.push_back(out.bytes);
  }
  {
    PieceSource in(source, 7);
    StringSink out;
    JobOptions options;
    options.read_block_size = 16;
    options.write_buffer_size = 5;
    if (TidyWords(in, out, options) != JobStatus::kCompleted) out.bytes = "<the job failed>";
    results.push_back(out.bytes);
  }
  return results;
}

// The job under a small memory limit, with its runs in memory. Returns the
// result, or a note of what went wrong.
inline std::string SpillResult(const SpillCase& input, int* runs_left_open, SpillStats* stats) {
  MemoryRuns runs;
  PieceSource in(input.source, 1000);
  StringSink out;
  JobOptions options;
  options.read_block_size = 64;
  options.write_buffer_size = 100;
  options.memory_limit = input.memory_limit;
  options.stats = stats;
  const JobStatus status = TidyWords(in, out, options, &runs);
  *runs_left_open = runs.open;
  return status == JobStatus::kCompleted ? out.bytes : "<the job failed>";
}

}  // namespace lexset::fuzz
