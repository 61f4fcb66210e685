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

std::ptrdiff_t MemorySource::Read(char* buffer, std::size_t capacity) {
  if (offset_ >= fail_after_) return -1;
  std::size_t n = std::min({capacity, piece_, data_.size() - offset_, fail_after_ - offset_});
  std::copy_n(data_.data() + offset_, n, buffer);
  offset_ += n;
  return static_cast<std::ptrdiff_t>(n);
}

bool MemorySink::Write(const char* data, std::size_t size) {
  if (bytes_.size() + size > fail_after_) return false;
  bytes_.append(data, size);
  return true;
}

namespace {

class MemoryRunFile final : public RunFile {
 public:
  explicit MemoryRunFile(MemoryRunStorage& storage) : storage_(storage) { ++storage_.files_open; }
  ~MemoryRunFile() override { --storage_.files_open; }

  bool Write(const char* data, std::size_t size) override {
    if (storage_.bytes_written + size > storage_.bytes_allowed) {
      error_ = "no space left in the test's run storage";
      return false;
    }
    storage_.bytes_written += size;
    bytes_.append(data, size);
    return true;
  }
  bool Rewind() override {
    offset_ = 0;
    return true;
  }
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    if (++storage_.reads > storage_.reads_allowed) {
      error_ = "the test's run storage cannot be read";
      return -1;
    }
    const std::size_t n = std::min(capacity, bytes_.size() - offset_);
    std::copy_n(bytes_.data() + offset_, n, buffer);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }
  const std::string& error() const override { return error_; }

 private:
  MemoryRunStorage& storage_;
  std::string bytes_;
  std::size_t offset_ = 0;
  std::string error_;
};

}  // namespace

std::unique_ptr<RunFile> MemoryRunStorage::Create() {
  if (files_created >= files_allowed) {
    error_ = "the test's run storage makes no more files";
    return nullptr;
  }
  ++files_created;
  return std::make_unique<MemoryRunFile>(*this);
}

std::string ReferenceTidy(std::string_view input) {
  std::vector<std::string> words;
  std::string word;
  for (char c : input) {
    if (c == '\x1a') break;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);

  auto unsigned_less = [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
  };
  std::sort(words.begin(), words.end(), unsigned_less);
  words.erase(std::unique(words.begin(), words.end()), words.end());

  std::string out;
  for (const std::string& w : words) out += w + "\r\n";
  return out;
}

std::string TidyInMemory(std::string_view input, const JobOptions& options, std::size_t piece) {
  MemorySource source(input, piece);
  MemorySink sink;
  EXPECT_EQ(TidyWords(source, sink, options), JobStatus::kCompleted);
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
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
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

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

bool HasTemporaryFile(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(),
                     [](const std::string& n) { return n.rfind(kTemporaryFilePrefix, 0) == 0; });
}

}  // namespace lexset::test
