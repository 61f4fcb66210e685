//===- FuzzCase.h - What a fuzz input means, and the answer it must give -===//
//
// Shared by the fuzz targets and by the test that replays their corpora and
// the inputs that once failed. The answer is the reference's (ReferenceTidy).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/TidyJob.h"
#include "tests/MemoryStreams.h"
#include "tests/ReferenceTidy.h"

namespace lexset::fuzz {

// A spill input: two bytes of memory limit, then the source.
struct SpillCase {
  std::size_t memory_limit;
  std::string_view source;
  std::size_t stretch_from = 4096;
};

// Limits from a few hundred bytes to about 16 KB, so that most inputs go
// through many runs and merges; and stretches of words in order from 1 to
// 4 words on, or none.
inline SpillCase DecodeSpillCase(std::string_view input) {
  if (input.size() < 2) return {256, input};
  const unsigned bits = static_cast<unsigned char>(input[0]) | static_cast<unsigned char>(input[1]) << 8;
  const unsigned stretch = bits / 16128;  // 0 to 4
  return {256 + bits % 16128, input.substr(2), stretch == 0 ? std::size_t{4096} : stretch};
}

// Every input is also read after each byte-order mark: as UTF-8 with a mark,
// and as UTF-16 in both byte orders (big-endian cut to whole code units, so
// that not every odd input is only refused).
inline std::vector<std::string> MarkedSources(std::string_view source) {
  const std::string bytes(source);
  return {bytes, "\xEF\xBB\xBF" + bytes, "\xFF\xFE" + bytes, "\xFE\xFF" + bytes.substr(0, bytes.size() & ~std::size_t{1})};
}

// What a job's status and output come to, in the reference's terms.
inline std::string Answer(JobStatus status, const test::MemorySink& out) {
  if (status == JobStatus::kCompleted) return out.bytes();
  return status == JobStatus::kSourceIncomplete ? test::kIncompleteSource : "<the job failed>";
}

// The job on a source in memory: whole, and in small uneven pieces through
// small buffers with a word set that gives up hashing on a small table, as
// it does on lists of millions of new words, and with two words in order
// enough to be written out as a stretch, to the result or, where it cannot
// take them back, to a run file. Returns the results, which must all equal
// the reference.
inline std::vector<std::string> JobResults(std::string_view source) {
  std::vector<std::string> results;
  {
    test::MemorySource in(source);
    test::MemorySink out;
    results.push_back(Answer(TidyWords(in, out), out));
  }
  for (const bool takes_back : {true, false}) {
    test::MemorySource in(source, 7);
    test::MemorySink out(std::numeric_limits<std::size_t>::max(), takes_back);
    test::MemoryRunStorage runs;
    JobOptions options;
    options.read_block_size = 16;
    options.write_buffer_size = 5;
    options.give_up_hashing_from = 64;
    options.stretch_from = 2;
    // Far above what a fuzz input holds, but small buffers for run files.
    options.memory_limit = 256 << 10;
    results.push_back(Answer(TidyWords(in, out, options, &runs), out));
  }
  return results;
}

// The job under a small memory limit, with its runs in memory. Returns the
// result, or a note of what went wrong.
inline std::string SpillResult(const SpillCase& input, int* runs_left_open, SpillStats* stats) {
  test::MemoryRunStorage runs;
  test::MemorySource in(input.source, 1000);
  test::MemorySink out(std::numeric_limits<std::size_t>::max(), input.memory_limit % 2 == 0);
  JobOptions options;
  options.read_block_size = 64;
  options.write_buffer_size = 100;
  options.memory_limit = input.memory_limit;
  options.give_up_hashing_from = 64;
  options.stretch_from = input.stretch_from;
  options.stats = stats;
  const JobStatus status = TidyWords(in, out, options, &runs);
  *runs_left_open = runs.files_open;
  return Answer(status, out);
}

}  // namespace lexset::fuzz
