//===- TestSupport.cpp - Memory streams, a reference tidier, scratch files ===//
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/Files.h"

namespace lexset::test {

std::string TidyInMemory(std::string_view input, const JobOptions& options, std::size_t piece, bool takes_back) {
  MemorySource source(input, piece);
  MemorySink sink(std::numeric_limits<std::size_t>::max(), takes_back);
  MemoryRunStorage runs;
  EXPECT_EQ(TidyWords(source, sink, options, &runs), JobStatus::kCompleted);
  EXPECT_EQ(runs.files_open, 0);
  return sink.bytes();
}

ScratchFolder::ScratchFolder() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::ostringstream name;
  name << "lexset-test-" << (info ? info->name() : "x") << '-' << std::hex
       << std::hash<std::string>{}(std::to_string(reinterpret_cast<std::uintptr_t>(this)) +
                                   std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))
       << '-' << counter++;
  path_ = std::filesystem::temp_directory_path() / name.str();
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::Path(const std::string& name) const { return (path_ / name).string(); }

std::vector<std::string> ScratchFolderListing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HasTemporaryFile(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(),
                     [](const std::string& n) { return n.rfind(kTemporaryFilePrefix, 0) == 0; });
}

}  // namespace lexset::test
