//===- Files.h - The source and result files of a job --------------------===//
//
// Declared here, implemented once per platform (platform/FilesPosix.cpp,
// platform/FilesWin32.cpp). Paths are byte strings used exactly as given:
// the ANSI code page on Windows, whatever the file system takes elsewhere.
// Every failure keeps the system's own description in error().
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/ByteStreams.h"
#include "core/RunStorage.h"
#include "core/WriteBehind.h"

namespace lexset {

// A file opened for sequential reading.
class SourceFile final : public ByteSource {
 public:
  SourceFile() = default;
  ~SourceFile() override;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  // Opens an existing file; a folder is refused.
  bool Open(const std::string& path);
  // Reads the program's standard input, as bytes.
  bool OpenStandardInput();
  // The size of a file, or -1 for anything else (a pipe, a terminal).
  std::int64_t size() const;
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override;
  void Close();

  const std::string& error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;
  std::string error_;
};

// A new version of a file, written to a uniquely named temporary file in the
// same folder and put in place of the target only by Commit. Until then the
// target is untouched; if Commit is not reached, or fails, the temporary file
// is removed and the target is exactly as it was, or, where the system
// replaces a file in steps and stopped half-way, its old content is kept
// under old_content_path().
class ReplacementFile final : public ByteSink {
 public:
  ReplacementFile() = default;
  ~ReplacementFile() override;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Checks that `target` may be replaced and creates the temporary file.
  bool Create(const std::string& target);
  bool Write(const char* data, std::size_t size) override;
  // The temporary file can hand back what was written: it is then read as
  // a run file is, and removed once read, and a new temporary file goes on.
  bool CanTakeBack() const override { return true; }
  std::unique_ptr<RunFile> TakeWritten() override;
  // Flushes the temporary file to disk, closes it and atomically puts it in
  // place of the target.
  bool Commit();
  // Closes and removes the temporary file.
  void Discard();

  const std::string& error() const { return error_; }
  // Where the target's old content is when Commit failed after moving it
  // aside and could not move it back; empty otherwise. Nothing removes it.
  const std::string& old_content_path() const { return old_content_path_; }
  const std::string& temporary_path() const { return temporary_path_; }
  // The folder of the target, links followed, with its last separator: where
  // the job's other temporary files belong. Empty for the current folder.
  const std::string& folder() const { return folder_; }

 private:
  std::intptr_t handle_ = -1;
  std::string target_;          // the file to replace, links followed
  std::string temporary_path_;  // empty once committed or discarded
  std::string folder_;
  std::string old_content_path_;
  bool target_exists_ = false;
  WriteBehind write_behind_;  // where the system can be asked (POSIX)
  std::string error_;
};

// The program's standard output as the result: written straight through,
// with no temporary file. On a Windows console the words are shown as text
// (platform/WideText.h).
class StandardOutput final : public ByteSink {
 public:
  bool Write(const char* data, std::size_t size) override;
  const std::string& error() const { return error_; }

 private:
  std::string error_;
  std::unique_ptr<ByteSink> console_;  // where a console shows them, if it is one
};

// Whether there is a file or folder at `path`; false only when the system
// says there is none.
bool PathExists(const std::string& path);

// The system's folder for temporary files, with its last separator.
std::string TemporaryFolder();

// How many run files a job may hold open at once: a share of what the
// system lets the program open, with room left for the rest of its files.
std::size_t RunFilesOpenAtOnce();

// A temporary file for intermediate data, written and then read back. The
// system removes it when it is closed, also if the program is killed; on
// Windows it is a hidden file of the program's own name until then, on POSIX
// systems it has no name at all.
class ScratchFile final : public RunFile {
 public:
  ScratchFile() = default;
  ~ScratchFile() override;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Creates the file in `folder` (as ReplacementFile::folder() gives it).
  bool Create(const std::string& folder);
  bool Write(const char* data, std::size_t size) override;
  // Ends the writing; reading starts from the beginning.
  bool Rewind() override;
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override;
  bool CanReadAt() const override { return true; }
  std::ptrdiff_t ReadAt(std::uint64_t offset, char* buffer, std::size_t capacity, std::string* error) override;
  std::int64_t ReadableSize() override;
  void Close();

  const std::string& error() const override { return error_; }

 private:
  friend class ReplacementFile;  // hands its written file over as one

  std::intptr_t handle_ = -1;
  std::string error_;
};

// The prefix of every temporary file name the program makes.
constexpr char kTemporaryFilePrefix[] = ".~lexset-";

// Removes temporary files of the program in `folder` (as ReplacementFile::
// folder() gives it) that an earlier run left behind: names the program
// makes and nothing else, not in use, and untouched for a minute. The old
// content of a result whose replacement stopped half-way is never removed:
// it may be the only copy.
void RemoveLeftovers(const std::string& folder);

}  // namespace lexset
