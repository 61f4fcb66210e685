//===- FilesPosix.cpp - Source and result files on POSIX systems ---------===//
//
// The program's own files beside the result are named relative to the open
// folder: their names may be longer than the result's, and a result path
// near PATH_MAX would leave them no room.
//
//===----------------------------------------------------------------------===//
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/Files.h"
#include "core/OwnReasons.h"
#include "platform/TemporaryName.h"

// Lists and run files pass 2 GiB; CMakeLists.txt asks for 64-bit offsets.
static_assert(sizeof(off_t) == 8, "files need 64-bit offsets (_FILE_OFFSET_BITS=64)");

namespace lexset {
namespace {

std::string SystemReason(int error) { return std::strerror(error); }

// The folder part of `path`, with its trailing slash, or "" for a bare name.
std::string FolderOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links, so the file they lead to is the one replaced and
// the links stay links. A dangling link leads to the file it names.
bool ResolveLinks(const std::string& path, std::string* resolved, int* error) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *resolved = current;
      return true;
    }
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : PATH_MAX), '\0');
    const ssize_t size = readlink(current.c_str(), &link[0], link.size());
    if (size < 0) {
      *error = errno;
      return false;
    }
    link.resize(static_cast<std::size_t>(size));
    current = link[0] == '/' ? link : FolderOf(current) + link;
  }
  *error = ELOOP;
  return false;
}

// Reads at most `capacity` bytes, through interruptions. Returns -1 and sets
// *error on failure.
std::ptrdiff_t ReadSome(int fd, char* buffer, std::size_t capacity, std::string* error) {
  if (capacity > (std::size_t{1} << 30)) capacity = std::size_t{1} << 30;
  for (;;) {
    const ssize_t got = read(fd, buffer, capacity);
    if (got >= 0) return got;
    if (errno != EINTR) {
      *error = SystemReason(errno);
      return -1;
    }
  }
}

// Writes all of `data`, through partial writes and interruptions.
bool WriteAll(int fd, const char* data, std::size_t size, std::string* error) {
  while (size > 0) {
    const std::size_t chunk = size < (std::size_t{1} << 30) ? size : std::size_t{1} << 30;
    const ssize_t written = write(fd, data, chunk);
    if (written < 0) {
      if (errno == EINTR) continue;
      *error = SystemReason(errno);
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Sends the new file to disk as it grows (core/WriteBehind.h). Where the
// system cannot be asked (not Linux, a file system without it, a filter on
// system calls), it is not asked again: the flush at the end is what makes
// the file durable. Any other failure is the file's own and fails the job,
// since a write error reported here is not reported again by that flush.
bool SendWrittenToDisk(int fd, WriteBehind* plan, std::string* error) {
#ifdef SYNC_FILE_RANGE_WRITE
  for (;;) {
    WriteBehind::Range range;
    unsigned flags = SYNC_FILE_RANGE_WRITE;
    if (!plan->NextToSend(&range)) {
      if (!plan->NextToWaitFor(&range)) return true;
      flags = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    }
    if (sync_file_range(fd, static_cast<off_t>(range.offset), static_cast<off_t>(range.size), flags) == 0) continue;
    if (errno == ENOSYS || errno == EINVAL || errno == ESPIPE || errno == EPERM || errno == EOPNOTSUPP) {
      plan->Stop();
      return true;
    }
    *error = SystemReason(errno);
    return false;
  }
#else
  (void)fd;
  (void)error;
  plan->Stop();
  return true;
#endif
}

// Opens `folder` (as ReplacementFile::folder() gives it) to name files in it.
// Returns the descriptor, or -1 with errno set.
int OpenFolder(const std::string& folder) {
#ifdef O_PATH
  constexpr int kOnlyToNameFilesIn = O_PATH;  // needs no read permission
#else
  constexpr int kOnlyToNameFilesIn = O_RDONLY;
#endif
  return open(folder.empty() ? "." : folder.c_str(), kOnlyToNameFilesIn | O_DIRECTORY | O_CLOEXEC);
}

// The file's name in `folder`, for a `path` that begins with `folder`.
const char* NameIn(const std::string& folder, const std::string& path) { return path.c_str() + folder.size(); }

// Creates a file of a new temporary name in `folder`, open as `folder_fd`.
// *path holds the name before the file exists, so that nothing after it can
// fail without the name at hand to remove it; it is cleared again if no file
// is made. Returns the descriptor, or -1 with *error set.
int CreateTemporary(const std::string& folder, int folder_fd, const char* suffix, int flags, mode_t mode,
                    std::string* path, std::string* error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *path = folder + NewTemporaryName(suffix);
    const int fd = openat(folder_fd, NameIn(folder, *path), flags | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    const int reason = errno;
    path->clear();
    if (reason != EEXIST) {
      *error = SystemReason(reason);
      return -1;
    }
  }
  *error = SystemReason(EEXIST);
  return -1;
}

}  // namespace

SourceFile::~SourceFile() { Close(); }

bool SourceFile::Open(const std::string& path) {
  Close();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error_ = SystemReason(errno);
    return false;
  }
  struct stat info;
  const int error = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (error != 0) {
    error_ = SystemReason(error);
    close(fd);
    return false;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  handle_ = fd;
  return true;
}

bool SourceFile::OpenStandardInput() {
  Close();
  const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    error_ = SystemReason(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

std::int64_t SourceFile::size() const {
  struct stat info;
  if (fstat(static_cast<int>(handle_), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

std::ptrdiff_t SourceFile::Read(char* buffer, std::size_t capacity) {
  return ReadSome(static_cast<int>(handle_), buffer, capacity, &error_);
}

void SourceFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Create(const std::string& target) {
  Discard();
  int error = 0;
  if (!ResolveLinks(target, &target_, &error)) {
    error_ = SystemReason(error);
    return false;
  }

  struct stat old_file;
  target_exists_ = stat(target_.c_str(), &old_file) == 0;
  if (!target_exists_ && errno != ENOENT) {
    error_ = SystemReason(errno);
    return false;
  }
  if (target_exists_) {
    if (S_ISDIR(old_file.st_mode)) {
      error_ = SystemReason(EISDIR);
      return false;
    }
    if (!S_ISREG(old_file.st_mode)) {
      error_ = kReasonNotRegularFile;
      return false;
    }
    // Renaming over a file needs no write permission on it, but a file the
    // user may not write must not be replaced either.
    const int probe = open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (probe < 0) {
      error_ = SystemReason(errno);
      return false;
    }
    close(probe);
  }

  folder_ = FolderOf(target_);
  RemoveLeftovers(folder_);
  const int folder_fd = OpenFolder(folder_);
  if (folder_fd < 0) {
    error_ = SystemReason(errno);
    return false;
  }
  // Mode 0666 under the umask: what a new file would get.
  const int fd = CreateTemporary(folder_, folder_fd, ".tmp", O_WRONLY, 0666, &temporary_path_, &error_);
  close(folder_fd);
  if (fd < 0) return false;
  handle_ = fd;
  write_behind_.Restart();
  // Held while the file is in use, so that no other run takes it for one
  // left behind.
  flock(fd, LOCK_EX | LOCK_NB);
  if (target_exists_) {
    // The new file keeps the old one's owner where allowed, and its mode.
    if (old_file.st_uid != geteuid() || old_file.st_gid != getegid()) {
      if (fchown(static_cast<int>(handle_), old_file.st_uid, old_file.st_gid) != 0) {
        // Only a privileged user may give a file away; the mode still holds.
      }
    }
    if (fchmod(static_cast<int>(handle_), old_file.st_mode & 07777) != 0) {
      error_ = SystemReason(errno);
      Discard();
      return false;
    }
  }
  return true;
}

bool ReplacementFile::Write(const char* data, std::size_t size) {
  if (!WriteAll(static_cast<int>(handle_), data, size, &error_)) return false;
  write_behind_.Wrote(size);
  return SendWrittenToDisk(static_cast<int>(handle_), &write_behind_, &error_);
}

std::unique_ptr<RunFile> ReplacementFile::TakeWritten() {
  const int folder_fd = OpenFolder(folder_);
  if (folder_fd < 0) {
    error_ = SystemReason(errno);
    return nullptr;
  }
  // Read through a descriptor of its own; without its name, its space goes
  // back to the system once read, however the program ends.
  const char* name = NameIn(folder_, temporary_path_);
  struct stat written;
  const int reader = openat(folder_fd, name, O_RDONLY | O_CLOEXEC);
  if (reader < 0 || fstat(static_cast<int>(handle_), &written) != 0) {
    error_ = SystemReason(errno);
    if (reader >= 0) close(reader);
    close(folder_fd);
    return nullptr;
  }
  auto taken = std::make_unique<ScratchFile>();
  taken->handle_ = reader;
  posix_fadvise(reader, 0, 0, POSIX_FADV_SEQUENTIAL);
  unlinkat(folder_fd, name, 0);
  close(static_cast<int>(handle_));
  handle_ = -1;
  temporary_path_.clear();
  // The new file takes the old one's mode and, where allowed, its owner.
  const int fd = CreateTemporary(folder_, folder_fd, ".tmp", O_WRONLY, written.st_mode & 07777, &temporary_path_,
                                 &error_);
  close(folder_fd);
  if (fd < 0) return nullptr;
  handle_ = fd;
  write_behind_.Restart();
  flock(fd, LOCK_EX | LOCK_NB);
  if (fchmod(fd, written.st_mode & 07777) != 0 ||
      ((written.st_uid != geteuid() || written.st_gid != getegid()) && fchown(fd, written.st_uid, written.st_gid) != 0)) {
    // Only a privileged user may give a file away; the mode still holds.
  }
  return taken;
}

bool ReplacementFile::Commit() {
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (fsync(fd) != 0) {
    error_ = SystemReason(errno);
    close(fd);
    Discard();
    return false;
  }
  if (close(fd) != 0) {
    error_ = SystemReason(errno);
    Discard();
    return false;
  }
  const int folder_fd = OpenFolder(folder_);
  const bool renamed =
      folder_fd >= 0 && renameat(folder_fd, NameIn(folder_, temporary_path_), folder_fd, NameIn(folder_, target_)) == 0;
  if (!renamed) error_ = SystemReason(errno);
  if (folder_fd >= 0) close(folder_fd);
  if (!renamed) {
    Discard();
    return false;
  }
  temporary_path_.clear();
  // Makes the rename itself durable. The result is already in place, so a
  // failure here is not the job's failure.
  const int dir = open(folder_.empty() ? "." : folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

void ReplacementFile::Discard() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
  if (!temporary_path_.empty()) {
    const int folder_fd = OpenFolder(folder_);
    if (folder_fd >= 0) {
      unlinkat(folder_fd, NameIn(folder_, temporary_path_), 0);
      close(folder_fd);
    }
  }
  temporary_path_.clear();
}

bool StandardOutput::Write(const char* data, std::size_t size) { return WriteAll(STDOUT_FILENO, data, size, &error_); }

bool PathExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG);
}

std::size_t RunFilesOpenAtOnce() {
  // Half the soft limit: the sources, the result, a taken-back result and
  // whatever else the program holds need the rest.
  constexpr rlim_t kFew = 64;
  constexpr rlim_t kMany = 4096;
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kFew;
  const rlim_t half = limit.rlim_cur / 2;
  return static_cast<std::size_t>(half < 16 ? 16 : half > kMany ? kMany : half);
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

ScratchFile::~ScratchFile() { Close(); }

bool ScratchFile::Create(const std::string& folder) {
  Close();
  const int folder_fd = OpenFolder(folder);
  if (folder_fd < 0) {
    error_ = SystemReason(errno);
    return false;
  }
  std::string path;
  const int fd = CreateTemporary(folder, folder_fd, ".run", O_RDWR, 0600, &path, &error_);
  // Unnamed from the start: the space returns to the system when the file
  // is closed, however the program ends.
  if (fd >= 0) unlinkat(folder_fd, NameIn(folder, path), 0);
  close(folder_fd);
  if (fd < 0) return false;
  handle_ = fd;
  return true;
}

bool ScratchFile::Write(const char* data, std::size_t size) {
  return WriteAll(static_cast<int>(handle_), data, size, &error_);
}

bool ScratchFile::Rewind() {
  if (lseek(static_cast<int>(handle_), 0, SEEK_SET) != 0) {
    error_ = SystemReason(errno);
    return false;
  }
  posix_fadvise(static_cast<int>(handle_), 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

std::ptrdiff_t ScratchFile::Read(char* buffer, std::size_t capacity) {
  return ReadSome(static_cast<int>(handle_), buffer, capacity, &error_);
}

std::ptrdiff_t ScratchFile::ReadAt(std::uint64_t offset, char* buffer, std::size_t capacity, std::string* error) {
  if (capacity > (std::size_t{1} << 30)) capacity = std::size_t{1} << 30;
  for (;;) {
    const ssize_t got = pread(static_cast<int>(handle_), buffer, capacity, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno != EINTR) {
      *error = SystemReason(errno);
      return -1;
    }
  }
}

std::int64_t ScratchFile::ReadableSize() {
  struct stat info;
  if (fstat(static_cast<int>(handle_), &info) != 0) {
    error_ = SystemReason(errno);
    return -1;
  }
  return static_cast<std::int64_t>(info.st_size);
}

void ScratchFile::Close() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
  handle_ = -1;
}

void RemoveLeftovers(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsLeftoverName(name)) continue;
    struct stat info;
    if (fstatat(dirfd(dir), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
        now - info.st_mtime < 60) {
      continue;
    }
    // A file another run still writes is locked by it.
    const int fd = openat(dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) unlinkat(dirfd(dir), name.c_str(), 0);
    close(fd);
  }
  closedir(dir);
}

}  // namespace lexset
