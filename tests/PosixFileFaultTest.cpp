//===- PosixFileFaultTest.cpp - File faults and permissions on POSIX -----===//
//
// Permission faults run in a child process that drops root's privileges,
// since root may write any file; the full disk is a small tmpfs mounted in
// a private mount namespace. Where the machine allows neither, the test is
// skipped and says why.
//
//===----------------------------------------------------------------------===//
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/TidyJob.h"
#include "tests/TestSupport.h"

namespace lexset::test {
namespace {

using Names = std::vector<std::string>;

constexpr int kSkipped = 77;
constexpr uid_t kNobody = 65534;

// Runs `body` in a child process and returns its exit status. Inside,
// failed checks are printed and turned into a non-zero status.
int RunInChild(const std::function<bool()>& body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit(body() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#define CHILD_CHECK(condition)                                             \
  do {                                                                     \
    if (!(condition)) {                                                    \
      std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
      return false;                                                        \
    }                                                                      \
  } while (0)

// Gives up root, so that file permissions apply.
bool DropPrivileges() {
  if (geteuid() != 0) return true;
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

// A scratch folder that the unprivileged child may write in.
void OpenToNobody(const ScratchFolder& folder) {
  if (geteuid() == 0) {
    ASSERT_EQ(chown(folder.path().c_str(), kNobody, kNobody), 0);
  }
}

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(PosixFileTest, ReplacedResultKeepsItsMode) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "b a");
  WriteFile(folder.Path("result.txt"), "old");
  ASSERT_EQ(chmod(folder.Path("result.txt").c_str(), 0640), 0);
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("result.txt")).status, JobStatus::kCompleted);
  EXPECT_EQ(ModeOf(folder.Path("result.txt")), 0640u);
}

TEST(PosixFileTest, NewResultFollowsTheUmask) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "b a");
  const mode_t previous = umask(027);
  const JobStatus status = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt")).status;
  umask(previous);
  ASSERT_EQ(status, JobStatus::kCompleted);
  EXPECT_EQ(ModeOf(folder.Path("result.txt")), 0640u);
}

TEST(PosixFileTest, ResultThroughASymbolicLink) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.path() / "real");
  WriteFile(folder.Path("source.txt"), "b a");
  WriteFile(folder.Path("real/result.txt"), "old");
  std::filesystem::create_symlink("real/result.txt", folder.path() / "link.txt");
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("link.txt")).status, JobStatus::kCompleted);
  EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "link.txt"));
  EXPECT_EQ(ReadFile(folder.Path("real/result.txt")), "a\r\nb\r\n");
  EXPECT_EQ(folder.List(), (Names{"link.txt", "real", "source.txt"}));
  EXPECT_EQ(ScratchFolderListing(folder.path() / "real"), Names{"result.txt"});
}

TEST(PosixFileTest, DanglingLinkCreatesItsTarget) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  std::filesystem::create_symlink("made.txt", folder.path() / "link.txt");
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("link.txt")).status, JobStatus::kCompleted);
  EXPECT_EQ(ReadFile(folder.Path("made.txt")), "a\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "link.txt"));
}

TEST(PosixFileTest, ResultLinkedToADeviceIsRefused) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  std::filesystem::create_symlink("/dev/null", folder.path() / "null");
  EXPECT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("null")).status, JobStatus::kResultUnwritable);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_EQ(folder.List(), (Names{"null", "source.txt"}));
}

TEST(PosixFileTest, ReadErrorFromTheSystem) {
  // Reading one's own memory map from offset 0 fails with EIO.
  ScratchFolder folder;
  WriteFile(folder.Path("result.txt"), "precious");
  const JobOutcome outcome = TidyWordList("/proc/self/mem", folder.Path("result.txt"));
  EXPECT_EQ(outcome.status, JobStatus::kSourceReadFailed);
  EXPECT_FALSE(outcome.reason.empty());
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "precious");
  EXPECT_EQ(folder.List(), Names{"result.txt"});
}

TEST(PosixFileTest, ReadOnlyResultIsNotReplaced) {
  ScratchFolder folder;
  OpenToNobody(folder);
  const int status = RunInChild([&] {
    CHILD_CHECK(DropPrivileges());
    WriteFile(folder.Path("source.txt"), "a");
    WriteFile(folder.Path("result.txt"), "precious");
    CHILD_CHECK(chmod(folder.Path("result.txt").c_str(), 0444) == 0);
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
    CHILD_CHECK(outcome.status == JobStatus::kResultUnwritable);
    CHILD_CHECK(ReadFile(folder.Path("result.txt")) == "precious");
    CHILD_CHECK(ModeOf(folder.Path("result.txt")) == 0444);
    CHILD_CHECK(folder.List() == (Names{"result.txt", "source.txt"}));
    return true;
  });
  EXPECT_EQ(status, 0);
}

TEST(PosixFileTest, UnreadableSource) {
  ScratchFolder folder;
  OpenToNobody(folder);
  const int status = RunInChild([&] {
    CHILD_CHECK(DropPrivileges());
    WriteFile(folder.Path("source.txt"), "a");
    WriteFile(folder.Path("result.txt"), "precious");
    CHILD_CHECK(chmod(folder.Path("source.txt").c_str(), 0) == 0);
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
    CHILD_CHECK(outcome.status == JobStatus::kSourceUnreadable);
    CHILD_CHECK(ReadFile(folder.Path("result.txt")) == "precious");
    CHILD_CHECK(folder.List() == (Names{"result.txt", "source.txt"}));
    return true;
  });
  EXPECT_EQ(status, 0);
}

TEST(PosixFileTest, FolderWithoutWritePermission) {
  ScratchFolder folder;
  OpenToNobody(folder);
  const int status = RunInChild([&] {
    CHILD_CHECK(DropPrivileges());
    WriteFile(folder.Path("source.txt"), "a");
    std::filesystem::create_directory(folder.path() / "locked");
    WriteFile(folder.Path("locked/result.txt"), "precious");
    CHILD_CHECK(chmod(folder.Path("locked").c_str(), 0555) == 0);
    for (const char* name : {"locked/result.txt", "locked/new.txt"}) {
      const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path(name));
      CHILD_CHECK(outcome.status == JobStatus::kResultUnwritable);
    }
    CHILD_CHECK(ReadFile(folder.Path("locked/result.txt")) == "precious");
    CHILD_CHECK(ScratchFolderListing(folder.path() / "locked") == Names{"result.txt"});
    CHILD_CHECK(chmod(folder.Path("locked").c_str(), 0755) == 0);
    return true;
  });
  EXPECT_EQ(status, 0);
}

// Runs `body` in a child process with a small tmpfs, mounted with `options`
// on `mount_point`, in a private mount namespace so that it vanishes with
// the child whatever happens. Returns kSkipped where the machine cannot.
int WithSmallFileSystem(const std::string& mount_point, const char* options, const std::function<bool()>& body) {
  return RunInChild([&] {
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", mount_point.c_str(), "tmpfs", 0, options) != 0) {
      std::perror("mounting a small file system");
      _exit(kSkipped);
    }
    return body();
  });
}

// Distinct words, many more bytes than a small file system holds.
std::string ManyDistinctWords() {
  std::string source;
  for (int i = 0; i < 100000; ++i) source += "word" + std::to_string(i) + "\n";
  return source;
}

TEST(PosixFileTest, FullDisk) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), ManyDistinctWords());
  std::filesystem::create_directory(folder.path() / "small");
  const int status = WithSmallFileSystem(folder.Path("small"), "size=256k", [&] {
    WriteFile(folder.Path("small/result.txt"), "precious");
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("small/result.txt"));
    CHILD_CHECK(outcome.status == JobStatus::kResultUnwritable);
    CHILD_CHECK(!outcome.reason.empty());
    CHILD_CHECK(ReadFile(folder.Path("small/result.txt")) == "precious");
    CHILD_CHECK(ScratchFolderListing(folder.path() / "small") == Names{"result.txt"});
    return true;
  });
  if (status == kSkipped) GTEST_SKIP() << "this machine cannot mount a small tmpfs";
  EXPECT_EQ(status, 0);
}

TEST(PosixFileTest, FullDiskWhileSpilling) {
  // The run files fill the disk long before the result would.
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), ManyDistinctWords() + ManyDistinctWords());
  std::filesystem::create_directory(folder.path() / "small");
  const int status = WithSmallFileSystem(folder.Path("small"), "size=1m", [&] {
    WriteFile(folder.Path("small/result.txt"), "precious");
    SpillStats stats;
    JobOptions options;
    options.memory_limit = 16384;
    options.stats = &stats;
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("small/result.txt"), options);
    CHILD_CHECK(outcome.status == JobStatus::kResultUnwritable);
    CHILD_CHECK(!outcome.reason.empty());
    CHILD_CHECK(stats.runs_written > 0);
    CHILD_CHECK(ReadFile(folder.Path("small/result.txt")) == "precious");
    CHILD_CHECK(ScratchFolderListing(folder.path() / "small") == Names{"result.txt"});
    return true;
  });
  if (status == kSkipped) GTEST_SKIP() << "this machine cannot mount a small tmpfs";
  EXPECT_EQ(status, 0);
}

TEST(PosixFileTest, RunFileCannotBeCreated) {
  // Room for the folder, the result and its temporary file: no more files.
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), ManyDistinctWords());
  std::filesystem::create_directory(folder.path() / "small");
  const int status = WithSmallFileSystem(folder.Path("small"), "size=4m,nr_inodes=3", [&] {
    WriteFile(folder.Path("small/result.txt"), "precious");
    JobOptions options;
    options.memory_limit = 16384;
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("small/result.txt"), options);
    CHILD_CHECK(outcome.status == JobStatus::kResultUnwritable);
    CHILD_CHECK(ReadFile(folder.Path("small/result.txt")) == "precious");
    CHILD_CHECK(ScratchFolderListing(folder.path() / "small") == Names{"result.txt"});
    // With the memory to spare, the same job needs no run file and completes.
    CHILD_CHECK(TidyWordList(folder.Path("source.txt"), folder.Path("small/result.txt")).status ==
                JobStatus::kCompleted);
    return true;
  });
  if (status == kSkipped) GTEST_SKIP() << "this machine cannot mount a small tmpfs";
  EXPECT_EQ(status, 0);
}

TEST(PosixFileTest, LeftoverStillInUseStays) {
  // Another run's temporary file is locked by it while in use.
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  const std::string busy = folder.Path(".~lexset-00000000000000aa.tmp");
  WriteFile(busy, "another run's words");
  std::filesystem::last_write_time(busy, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  const int fd = open(busy.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("result.txt")).status, JobStatus::kCompleted);
  close(fd);
  EXPECT_EQ(folder.List(), (Names{".~lexset-00000000000000aa.tmp", "result.txt", "source.txt"}));
}

}  // namespace
}  // namespace lexset::test
