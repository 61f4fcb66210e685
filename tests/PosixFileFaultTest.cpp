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
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/JobMessages.h"
#include "core/TidyJob.h"
#include "tests/TestSupport.h"
#include "tests/WordListGenerator.h"

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

// A job run by a user who may not write or read where it needs to; the
// folder holds source.txt, result.txt and locked/result.txt, and the row
// takes the permissions away.
struct Permission {
  const char* name;
  const char* source;
  const char* result;
  JobStatus status;
  const char* chmod_path;
  mode_t mode;
};

const Permission kPermissions[] = {
    {"ReadOnlyResult", "source.txt", "result.txt", JobStatus::kResultUnwritable, "result.txt", 0444},
    {"UnreadableSource", "source.txt", "result.txt", JobStatus::kSourceUnreadable, "source.txt", 0},
    {"ResultInALockedFolder", "source.txt", "locked/result.txt", JobStatus::kResultUnwritable, "locked", 0555},
    {"NewResultInALockedFolder", "source.txt", "locked/new.txt", JobStatus::kResultUnwritable, "locked", 0555},
};

class PermissionTest : public ::testing::TestWithParam<Permission> {};

TEST_P(PermissionTest, LeavesEveryFileAsItWas) {
  const Permission& row = GetParam();
  ScratchFolder folder;
  OpenToNobody(folder);
  const int status = RunInChild([&] {
    CHILD_CHECK(DropPrivileges());
    WriteFile(folder.Path("source.txt"), "a");
    WriteFile(folder.Path("result.txt"), "precious");
    std::filesystem::create_directory(folder.path() / "locked");
    WriteFile(folder.Path("locked/result.txt"), "precious");
    CHILD_CHECK(chmod(folder.Path(row.chmod_path).c_str(), row.mode) == 0);
    CHILD_CHECK(TidyWordList(folder.Path(row.source), folder.Path(row.result)).status == row.status);
    CHILD_CHECK(ModeOf(folder.Path(row.chmod_path)) == row.mode);
    CHILD_CHECK(chmod(folder.Path(row.chmod_path).c_str(), 0755) == 0);
    CHILD_CHECK(ReadFile(folder.Path("result.txt")) == "precious");
    CHILD_CHECK(ReadFile(folder.Path("locked/result.txt")) == "precious");
    CHILD_CHECK(folder.List() == (Names{"locked", "result.txt", "source.txt"}));
    CHILD_CHECK(ScratchFolderListing(folder.path() / "locked") == Names{"result.txt"});
    return true;
  });
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, PermissionTest, ::testing::ValuesIn(kPermissions),
                         [](const ::testing::TestParamInfo<Permission>& info) { return std::string(info.param.name); });

// Distinct words, many more bytes than a small file system holds; nearly
// every one less than the one before, so that none is written out before
// the end as a stretch in order.
std::string ManyDistinctWords() {
  std::string source;
  for (int i = 100000; i-- > 0;) source += "word" + std::to_string(i) + "\n";
  return source;
}

// A result on a small tmpfs, mounted in a child process's private mount
// namespace so that it vanishes with the child whatever happens.
struct SmallDisk {
  const char* name;
  const char* options;       // of the tmpfs
  int copies;                // of ManyDistinctWords in the source
  std::size_t memory_limit;  // 0: the default, no run files
  std::size_t runs;          // written before it failed, at least
  bool fits_in_memory;       // the job completes there without a memory limit
  // The result goes to the standard output, and the small disk is the
  // temporary folder, which the message must name.
  bool to_standard_output = false;
};

const SmallDisk kSmallDisks[] = {
    {"FullWhileWritingTheResult", "size=256k", 1, 0, 0, false},
    {"FullWhileSpilling", "size=1m", 2, 16384, 1, false},  // the run files fill it first
    // Room for the folder, the result and its temporary file: no more files.
    {"NoRoomForARunFile", "size=4m,nr_inodes=3", 1, 16384, 0, true},
    {"TemporaryFolderFullWhileSpilling", "size=1m", 2, 16384, 1, false, true},
};

class SmallDiskTest : public ::testing::TestWithParam<SmallDisk> {};

TEST_P(SmallDiskTest, LeavesTheResultAsItWas) {
  const SmallDisk& row = GetParam();
  ScratchFolder folder;
  std::string source;
  for (int i = 0; i < row.copies; ++i) source += ManyDistinctWords();
  WriteFile(folder.Path("source.txt"), source);
  std::filesystem::create_directory(folder.path() / "small");
  const int status = RunInChild([&] {
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", folder.Path("small").c_str(), "tmpfs", 0, row.options) != 0) {
      std::perror("mounting a small file system");
      _exit(kSkipped);
    }
    WriteFile(folder.Path("small/result.txt"), "precious");
    SpillStats stats;
    JobOptions options;
    options.memory_limit = row.memory_limit;
    options.stats = &stats;
    options.standard_streams = row.to_standard_output;
    const std::string small = folder.Path("small/");
    CHILD_CHECK(setenv("TMPDIR", small.c_str(), 1) == 0);
    CHILD_CHECK(freopen("/dev/null", "w", stdout) != nullptr);
    const JobOutcome outcome =
        TidyWordList(folder.Path("source.txt"), row.to_standard_output ? "-" : small + "result.txt", options);
    if (row.to_standard_output) {
      CHILD_CHECK(outcome.status == JobStatus::kScratchUnwritable);
      CHILD_CHECK(outcome.result_left == ResultLeft::kNothingOut);
      CHILD_CHECK(DescribeOutcome(outcome).text.find("无法写入临时文件夹“" + small + "”中的临时文件。\r\n") == 0);
    } else {
      CHILD_CHECK(outcome.status == JobStatus::kResultUnwritable);
    }
    CHILD_CHECK(!outcome.reason.empty());
    CHILD_CHECK(stats.runs_written >= row.runs);
    CHILD_CHECK(ReadFile(folder.Path("small/result.txt")) == "precious");
    CHILD_CHECK(ScratchFolderListing(folder.path() / "small") == Names{"result.txt"});
    CHILD_CHECK(!row.fits_in_memory ||
                TidyWordList(folder.Path("source.txt"), folder.Path("small/result.txt")).status ==
                    JobStatus::kCompleted);
    return true;
  });
  if (status == kSkipped) GTEST_SKIP() << "this machine cannot mount a small tmpfs";
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, SmallDiskTest, ::testing::ValuesIn(kSmallDisks),
                         [](const ::testing::TestParamInfo<SmallDisk>& info) { return std::string(info.param.name); });

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

TEST(PosixFileTest, FilesOfGigabytes) {
  // Sizes past 2 and 4 GiB, which a 32-bit process reaches only through
  // the system's large-file interfaces: two sources of 3 GiB, one of them
  // the result, whose sizes add up to 6 GiB for the progress. Their words
  // end at a 0x1A byte; the rest is a hole, neither stored nor read.
  ScratchFolder folder;
  constexpr std::uint64_t kSize = std::uint64_t{3} << 30;
  const std::vector<std::string> sources = {folder.Path("first.txt"), folder.Path("second.txt")};
  WriteFile(sources[0], "b\x1a");
  WriteFile(sources[1], "a\x1a");
  for (const std::string& source : sources) std::filesystem::resize_file(source, kSize);
  struct : JobProgress {
    void Update(const JobProgressReport& report) override { total_bytes = report.total_bytes; }
    std::uint64_t total_bytes = 0;
  } progress;
  JobOptions options;
  options.progress = &progress;
  const JobOutcome outcome = TidyWordList(sources, sources[0], options);
  ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
  EXPECT_EQ(progress.total_bytes, 2 * kSize);
  EXPECT_EQ(ReadFile(sources[0]), "a\r\nb\r\n");
  EXPECT_EQ(folder.List(), (Names{"first.txt", "second.txt"}));
}

TEST(PosixFileTest, ResultSentToDiskAsItIsWritten) {
  // 44 MiB of result, more than the most left unwritten while it is sent
  // to disk a step at a time (core/WriteBehind.h): in order, so it goes
  // straight to the result file, which is handed back for the last word
  // and written again. Beside the source on disk, and on a RAM disk, whose
  // file system has nothing to send.
  ScratchFolder folder;
  std::string source, expected = "a\r\n";
  char word[16];
  for (int i = 0; i < 4200000; ++i) {
    std::snprintf(word, sizeof word, "w%08d", i);
    (source += word) += '\n';
    (expected += word) += "\r\n";
  }
  source += "a\n";
  WriteFile(folder.Path("source.txt"), source);
  const std::filesystem::path ram_disk = "/dev/shm/" + folder.path().filename().string();
  std::vector<std::string> results = {folder.Path("result.txt")};
  if (std::filesystem::create_directory(ram_disk)) results.push_back((ram_disk / "result.txt").string());
  for (const std::string& result : results) {
    SCOPED_TRACE(result);
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), result);
    EXPECT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
    EXPECT_TRUE(ReadFile(result) == expected);
  }
  std::filesystem::remove_all(ram_disk);
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
}

TEST(PosixFileTest, FewFilesOpenAtATime) {
  // Under a limit of 100 open files: 300 sources into one result, and one
  // source whose words go to hundreds of run files.
  ScratchFolder folder;
  Generator gen(40);
  std::vector<std::string> sources;
  std::string all;
  for (int i = 0; i < 300; ++i) {
    const std::string words = gen.Join(gen.Vocabulary("abcdefgh", 20, 8));
    sources.push_back(folder.Path("part" + std::to_string(i) + ".txt"));
    WriteFile(sources.back(), words);
    all += words + " ";
  }
  const std::string many = gen.Join(gen.Vocabulary("abcdefghijklmnopqrstuvwxyz", 60000, 12));
  WriteFile(folder.Path("many.txt"), many);
  const int status = RunInChild([&] {
    const rlimit few{100, 100};
    CHILD_CHECK(setrlimit(RLIMIT_NOFILE, &few) == 0);
    const JobOutcome merged = TidyWordList(sources, folder.Path("merged.txt"));
    if (merged.status != JobStatus::kCompleted) std::fprintf(stderr, "sources: %s\n", merged.reason.c_str());
    CHILD_CHECK(merged.status == JobStatus::kCompleted);
    CHILD_CHECK(ReadFile(folder.Path("merged.txt")) == ReferenceTidy(all));
    JobOptions options;
    SpillStats stats;
    options.memory_limit = 4096;
    options.stats = &stats;
    const JobOutcome spilled = TidyWordList(folder.Path("many.txt"), folder.Path("spilled.txt"), options);
    if (spilled.status != JobStatus::kCompleted) std::fprintf(stderr, "runs: %s\n", spilled.reason.c_str());
    CHILD_CHECK(spilled.status == JobStatus::kCompleted);
    CHILD_CHECK(stats.runs_written > 200);
    CHILD_CHECK(ReadFile(folder.Path("spilled.txt")) == ReferenceTidy(many));
    return true;
  });
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace lexset::test
