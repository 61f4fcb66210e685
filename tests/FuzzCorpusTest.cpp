//===- FuzzCorpusTest.cpp - The fuzzers' inputs, replayed as a table -----===//
//
// Every input of the fuzz corpora, and every input that once made a fuzzer
// fail (tests/fuzz/regressions), is a row: the job's result must be the
// reference's, whole and in small pieces, and through run files under the
// input's memory limit; as it is and after each byte-order mark.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzCase.h"

namespace lexset::test {
namespace {

std::vector<std::filesystem::path> Inputs(const std::string& mode) {
  std::vector<std::filesystem::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    const std::filesystem::path folder = std::filesystem::path(LEXSET_SOURCE_DIR) / "tests/fuzz" / kind / mode;
    if (!std::filesystem::exists(folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') inputs.push_back(entry.path());
    }
  }
  return inputs;
}

std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FuzzCorpusTest, JobInputs) {
  const auto inputs = Inputs("job");
  ASSERT_FALSE(inputs.empty());
  for (const auto& path : inputs) {
    for (const std::string& source : fuzz::MarkedSources(Contents(path))) {
      const std::string expected = ReferenceTidy(source);
      for (const std::string& result : fuzz::JobResults(source)) EXPECT_EQ(result, expected) << path;
    }
  }
}

TEST(FuzzCorpusTest, SpillInputs) {
  const auto inputs = Inputs("spill");
  ASSERT_FALSE(inputs.empty());
  std::size_t runs_from_buckets = 0;
  for (const auto& path : inputs) {
    const std::string input = Contents(path);
    const fuzz::SpillCase spill = fuzz::DecodeSpillCase(input);
    for (const std::string& source : fuzz::MarkedSources(spill.source)) {
      int runs_left_open = 0;
      SpillStats stats;
      EXPECT_EQ(fuzz::SpillResult({spill.memory_limit, source, spill.stretch_from}, &runs_left_open, &stats), ReferenceTidy(source)) << path;
      EXPECT_EQ(runs_left_open, 0) << path;
      runs_from_buckets += stats.runs_from_buckets;
    }
  }
  // The buckets' tables shrink with the limit: the fuzzer reaches their
  // spills too.
  EXPECT_GT(runs_from_buckets, 0u);
}

}  // namespace
}  // namespace lexset::test
