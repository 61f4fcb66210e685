//===- TestSupport.h - Memory streams, a reference tidier, scratch files -===//
#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/ByteStreams.h"
#include "core/RunStorage.h"
#include "core/TidyJob.h"

namespace lexset::test {

// Hands out `data` at most `piece` bytes per read; after `fail_after` bytes
// every read fails.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view data, std::size_t piece = std::numeric_limits<std::size_t>::max(),
                        std::size_t fail_after = std::numeric_limits<std::size_t>::max())
      : data_(data), piece_(piece), fail_after_(fail_after) {}
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override;

 private:
  std::string_view data_;
  std::size_t piece_;
  std::size_t fail_after_;
  std::size_t offset_ = 0;
};

// Collects what is written; refuses any write that would pass `fail_after`.
class MemorySink : public ByteSink {
 public:
  explicit MemorySink(std::size_t fail_after = std::numeric_limits<std::size_t>::max()) : fail_after_(fail_after) {}
  bool Write(const char* data, std::size_t size) override;
  const std::string& bytes() const { return bytes_; }

 private:
  std::size_t fail_after_;
  std::string bytes_;
};

// Run files in memory, with faults on request: creating fails once
// `files_allowed` files exist; writing fails once `bytes_allowed` bytes have
// been written to all of them; reading fails once `reads_allowed` reads have
// been made.
class MemoryRunStorage : public RunStorage {
 public:
  std::unique_ptr<RunFile> Create() override;
  const std::string& error() const override { return error_; }

  std::size_t files_allowed = std::numeric_limits<std::size_t>::max();
  std::size_t bytes_allowed = std::numeric_limits<std::size_t>::max();
  std::size_t reads_allowed = std::numeric_limits<std::size_t>::max();

  std::size_t files_created = 0;
  std::size_t bytes_written = 0;
  std::size_t reads = 0;
  int files_open = 0;  // run files not yet destroyed

 private:
  std::string error_;
};

// The job's rules, written as plainly as possible: split at the six separator
// bytes, stop at the first 0x1A, sort as unsigned bytes, drop repeats, end
// every line with CR LF.
std::string ReferenceTidy(std::string_view input);

// The core on memory, failing the test if it does not complete.
std::string TidyInMemory(std::string_view input, const JobOptions& options = {},
                         std::size_t piece = std::numeric_limits<std::size_t>::max());

// Names of everything in `folder`, sorted.
std::vector<std::string> ScratchFolderListing(const std::filesystem::path& folder);

// A fresh folder, removed with everything in it at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The path of `name` in the folder, as the job takes paths.
  std::string Path(const std::string& name) const;
  const std::filesystem::path& path() const { return path_; }
  // Names of everything in the folder, sorted.
  std::vector<std::string> List() const { return ScratchFolderListing(path_); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Whether any of `names` is a temporary file of the program.
bool HasTemporaryFile(const std::vector<std::string>& names);

}  // namespace lexset::test
