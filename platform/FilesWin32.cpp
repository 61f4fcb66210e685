//===- FilesWin32.cpp - Source and result files on Windows ---------------===//
//
// Paths are ANSI strings, given to the W functions in full
// (platform/LongPathsWin32.h).
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <string>

#include "core/Files.h"
#include "core/OwnReasons.h"
#include "platform/LongPathsWin32.h"
#include "platform/TemporaryName.h"
#include "platform/WideText.h"

namespace lexset {
namespace {

// How often, and how long apart, the result is tried again while another
// program (a virus scanner, an indexer, an editor saving) briefly holds it.
constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplaceRetryDelayMs = 100;

std::string SystemReason(DWORD code) {
  char* text = nullptr;
  const DWORD size =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string reason;
  if (size != 0 && text != nullptr) reason.assign(text, size);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  if (reason.empty()) reason = ReasonForCode(code);
  return reason;
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsTransient(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Reads at most `capacity` bytes. Returns -1 and sets *error on failure.
std::ptrdiff_t ReadSome(HANDLE file, char* buffer, std::size_t capacity, std::string* error) {
  const DWORD wanted = capacity < (DWORD{1} << 30) ? static_cast<DWORD>(capacity) : DWORD{1} << 30;
  DWORD got = 0;
  if (!ReadFile(file, buffer, wanted, &got, nullptr)) {
    // A pipe whose writer has closed it is at its end.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    *error = SystemReason(GetLastError());
    return -1;
  }
  return static_cast<std::ptrdiff_t>(got);
}

// Writes all of `data`.
bool WriteAll(HANDLE file, const char* data, std::size_t size, std::string* error) {
  while (size > 0) {
    const DWORD chunk = size < (DWORD{1} << 30) ? static_cast<DWORD>(size) : DWORD{1} << 30;
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr)) {
      *error = SystemReason(GetLastError());
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

// Creates a file of a new temporary name in `folder`. *path holds the name
// before the file exists, so that nothing after it can fail without the name
// at hand to remove it; it is cleared again if no file is made. Returns the
// handle, or INVALID_HANDLE_VALUE with *error set.
HANDLE CreateTemporary(const std::string& folder, const char* suffix, DWORD access, DWORD flags, std::string* path,
                       std::string* error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = NewTemporaryName(suffix);
    *path = folder + name;
    const HANDLE file = CreateFileW(InFolder(folder, name).c_str(), access, 0, nullptr, CREATE_NEW, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD reason = GetLastError();
    path->clear();
    if (reason != ERROR_FILE_EXISTS && reason != ERROR_ALREADY_EXISTS) {
      *error = SystemReason(reason);
      return INVALID_HANDLE_VALUE;
    }
  }
  *error = SystemReason(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

// The temporary file of a result, readable and deletable through its own
// handle, so that ReplacementFile::TakeWritten need not let go of it.
HANDLE CreateResultTemporary(const std::string& folder, std::string* path, std::string* error) {
  return CreateTemporary(folder, ".tmp", GENERIC_READ | GENERIC_WRITE | DELETE,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, path, error);
}

// Moves the new file to the target's name, which must be free. Returns a
// system error code.
DWORD MoveIntoPlace(const std::wstring& replacement, const std::wstring& target) {
  return MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) ? ERROR_SUCCESS : GetLastError();
}

// Puts the new file in place of the existing target. Returns a system error
// code. When the old file was moved aside and cannot be put back, its name
// in `folder` is left in *moved_aside.
DWORD ReplaceWith(const std::wstring& replacement, const std::wstring& target, const std::string& folder,
                  std::string* moved_aside) {
  // The new file is visible to the user as the old one was.
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD old_attributes = GetFileAttributesW(target.c_str());
  if (old_attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if ((old_attributes & kept) != 0 &&
      !SetFileAttributesW(replacement.c_str(), (old_attributes & kept) | FILE_ATTRIBUTE_ARCHIVE)) {
    return GetLastError();
  }
  // With a backup name the old file is never lost: it is renamed aside
  // first, and put back if the new one then cannot take its place.
  const std::string backup_name = NewTemporaryName(".bak");
  const std::wstring backup = InFolder(folder, backup_name);
  if (ReplaceFileW(target.c_str(), replacement.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                   nullptr)) {
    // The old content is no longer wanted. If it cannot be deleted now, it
    // takes a leftover's name, which a later job's clean-up removes: a
    // backup name stays only on the old content of a replacement that
    // stopped half-way, which may be the only copy.
    if (!DeleteFileW(backup.c_str())) MoveFileExW(backup.c_str(), InFolder(folder, NewTemporaryName(".old")).c_str(), 0);
    return ERROR_SUCCESS;
  }
  const DWORD error = GetLastError();
  // Stopped half-way (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2): the old file has
  // the backup name. It goes back only to a free name, never over a file
  // another program has made there meanwhile.
  if (GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES &&
      !MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    *moved_aside = folder + backup_name;
  }
  return error;
}

}  // namespace

SourceFile::~SourceFile() { Close(); }

bool SourceFile::Open(const std::string& path) {
  Close();
  std::wstring system_path;
  if (const DWORD error = UserPath(path, &system_path)) {
    error_ = SystemReason(error);
    return false;
  }
  const DWORD attributes = GetFileAttributesW(system_path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error_ = kReasonIsFolder;
    return false;
  }
  // Others may go on reading and writing it, as with the runtime's fopen.
  const HANDLE file = CreateFileW(system_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = SystemReason(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool SourceFile::OpenStandardInput() {
  Close();
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE copy = nullptr;
  if (input == nullptr || input == INVALID_HANDLE_VALUE) {
    error_ = SystemReason(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!DuplicateHandle(GetCurrentProcess(), input, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    error_ = SystemReason(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(copy);
  return true;
}

std::int64_t SourceFile::size() const {
  LARGE_INTEGER size;
  if (GetFileType(AsHandle(handle_)) != FILE_TYPE_DISK || !GetFileSizeEx(AsHandle(handle_), &size)) return -1;
  return size.QuadPart;
}

std::ptrdiff_t SourceFile::Read(char* buffer, std::size_t capacity) {
  return ReadSome(AsHandle(handle_), buffer, capacity, &error_);
}

void SourceFile::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Create(const std::string& target) {
  Discard();
  target_ = target;
  old_content_path_.clear();
  std::wstring system_path;
  if (const DWORD error = UserPath(target, &system_path)) {
    error_ = SystemReason(error);
    return false;
  }
  const DWORD attributes = GetFileAttributesW(system_path.c_str());
  target_exists_ = attributes != INVALID_FILE_ATTRIBUTES;
  if (target_exists_ && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error_ = kReasonIsFolder;
    return false;
  }
  if (target_exists_ && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    error_ = kReasonIsReadOnly;
    return false;
  }

  folder_ = FolderOf(target);
  RemoveLeftovers(folder_);
  const HANDLE file = CreateResultTemporary(folder_, &temporary_path_, &error_);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool ReplacementFile::Write(const char* data, std::size_t size) {
  return WriteAll(AsHandle(handle_), data, size, &error_);
}

std::unique_ptr<RunFile> ReplacementFile::TakeWritten() {
  // The same handle reads it back, and the system deletes the file once it
  // closes, however the program ends, as a run file. It is never closed in
  // between: a virus scanner or an indexer opens a file as soon as it is
  // closed, and would keep the program from opening it again.
  FILE_DISPOSITION_INFO dispose{};
  dispose.DeleteFile = TRUE;
  LARGE_INTEGER start{};
  if (!SetFileInformationByHandle(AsHandle(handle_), FileDispositionInfo, &dispose, sizeof dispose) ||
      !SetFilePointerEx(AsHandle(handle_), start, nullptr, FILE_BEGIN)) {
    error_ = SystemReason(GetLastError());
    return nullptr;
  }
  auto taken = std::make_unique<ScratchFile>();
  taken->handle_ = handle_;
  handle_ = -1;
  temporary_path_.clear();
  const HANDLE file = CreateResultTemporary(folder_, &temporary_path_, &error_);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return taken;
}

bool ReplacementFile::Commit() {
  const HANDLE file = AsHandle(handle_);
  handle_ = -1;
  const bool flushed = FlushFileBuffers(file) != 0;
  if (!flushed) error_ = SystemReason(GetLastError());
  const bool closed = CloseHandle(file) != 0;
  if (flushed && !closed) error_ = SystemReason(GetLastError());
  if (!flushed || !closed) {
    Discard();
    return false;
  }

  std::wstring target;
  DWORD error = UserPath(target_, &target);
  if (error != ERROR_SUCCESS) {
    error_ = SystemReason(error);
    Discard();
    return false;
  }
  const std::wstring temporary = InFolder(folder_, temporary_path_.substr(folder_.size()));
  for (int attempt = 1; attempt <= kReplaceAttempts; ++attempt) {
    if (attempt > 1 && IsTransient(error)) Sleep(kReplaceRetryDelayMs);
    error =
        target_exists_ ? ReplaceWith(temporary, target, folder_, &old_content_path_) : MoveIntoPlace(temporary, target);
    if (error == ERROR_SUCCESS) {
      temporary_path_.clear();
      return true;
    }
    if (!old_content_path_.empty()) break;
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_NOT_FOUND) {
      // Another program made or removed the result meanwhile.
      target_exists_ = error != ERROR_FILE_NOT_FOUND;
    } else if (!IsTransient(error)) {
      break;
    }
  }
  error_ = SystemReason(error);
  Discard();
  return false;
}

void ReplacementFile::Discard() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
  if (!temporary_path_.empty()) DeleteFileW(InFolder(folder_, temporary_path_.substr(folder_.size())).c_str());
  temporary_path_.clear();
}

bool StandardOutput::Write(const char* data, std::size_t size) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console_ == nullptr && GetConsoleMode(output, &mode)) console_ = ConsoleSink(output);
  if (console_ == nullptr) return WriteAll(output, data, size, &error_);
  if (console_->Write(data, size)) return true;
  error_ = SystemReason(GetLastError());
  return false;
}

bool PathExists(const std::string& path) {
  std::wstring system_path;
  if (UserPath(path, &system_path) != ERROR_SUCCESS) return false;  // no file can have that name
  if (GetFileAttributesW(system_path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
}

// Run files are handles of the system's own, not of the C runtime, whose
// table holds a few hundred: thousands are no burden.
std::size_t RunFilesOpenAtOnce() { return 1024; }

std::string TemporaryFolder() {
  char folder[MAX_PATH + 1];
  const DWORD size = GetTempPathA(sizeof folder, folder);
  return size != 0 && size < sizeof folder ? std::string(folder, size) : std::string();
}

ScratchFile::~ScratchFile() { Close(); }

bool ScratchFile::Create(const std::string& folder) {
  Close();
  // The system deletes the file when its handle closes, however the program
  // ends; as a temporary file it is kept in memory where possible.
  std::string name;
  const HANDLE file = CreateTemporary(
      folder, ".run", GENERIC_READ | GENERIC_WRITE,
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_SEQUENTIAL_SCAN, &name,
      &error_);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

bool ScratchFile::Write(const char* data, std::size_t size) { return WriteAll(AsHandle(handle_), data, size, &error_); }

bool ScratchFile::Rewind() {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(AsHandle(handle_), start, nullptr, FILE_BEGIN)) {
    error_ = SystemReason(GetLastError());
    return false;
  }
  return true;
}

std::ptrdiff_t ScratchFile::Read(char* buffer, std::size_t capacity) {
  return ReadSome(AsHandle(handle_), buffer, capacity, &error_);
}

std::ptrdiff_t ScratchFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t capacity, std::string* error) {
  // An offset given with the read makes it independent of the handle's own
  // position; the system takes reads of one handle in turn.
  const DWORD wanted = capacity < (DWORD{1} << 30) ? static_cast<DWORD>(capacity) : DWORD{1} << 30;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle_), buffer, wanted, &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    *error = SystemReason(GetLastError());
    return -1;
  }
  return static_cast<std::ptrdiff_t>(got);
}

std::int64_t ScratchFile::ReadableSize() {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(AsHandle(handle_), &size)) {
    error_ = SystemReason(GetLastError());
    return -1;
  }
  return static_cast<std::int64_t>(size.QuadPart);
}

void ScratchFile::Close() {
  if (handle_ != -1) CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

void RemoveLeftovers(const std::string& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(InFolder(folder, std::string(kTemporaryFilePrefix) + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FILETIME now_time;
  GetSystemTimeAsFileTime(&now_time);
  const ULONGLONG now = (ULONGLONG{now_time.dwHighDateTime} << 32) | now_time.dwLowDateTime;
  constexpr ULONGLONG kMinute = 60ull * 10000000ull;  // in 100-nanosecond units
  do {
    // The program's names are ASCII.
    std::string name;
    for (const wchar_t* c = found.cFileName; *c != L'\0' && *c < 0x80; ++c) name += static_cast<char>(*c);
    const ULONGLONG written =
        (ULONGLONG{found.ftLastWriteTime.dwHighDateTime} << 32) | found.ftLastWriteTime.dwLowDateTime;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name.size() != wcslen(found.cFileName) ||
        !IsLeftoverName(name) || written > now || now - written < kMinute) {
      continue;
    }
    // A file another run still has open cannot be deleted, and stays.
    DeleteFileW(InFolder(folder, name).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace lexset
