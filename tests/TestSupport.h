//===- TestSupport.h - Memory streams, a reference tidier, scratch files -===//
#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/TidyJob.h"
#include "tests/MemoryStreams.h"
#include "tests/ReferenceTidy.h"

namespace lexset::test {

// The core on memory, with its run files in memory too, failing the test if
// it does not complete or leaves a run file open. `takes_back`: whether the
// result can hand back what it was given, as a file can; a stream cannot.
std::string TidyInMemory(std::string_view input, const JobOptions& options = {},
                         std::size_t piece = std::numeric_limits<std::size_t>::max(), bool takes_back = true);

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

// Whether any of `names` is a temporary file of the program.
bool HasTemporaryFile(const std::vector<std::string>& names);

}  // namespace lexset::test
