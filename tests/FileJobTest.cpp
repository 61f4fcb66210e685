//===- FileJobTest.cpp - The job on real files, and every way it can fail ===//
//
// Each failure is made for real where the system allows it, and every test
// checks that the files are exactly as before and that no temporary file is
// left behind.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "core/TidyJob.h"
#include "tests/TestSupport.h"
#include "tests/WordListGenerator.h"

namespace lexset::test {
namespace {

using Names = std::vector<std::string>;

#ifdef _WIN32
constexpr std::size_t kLongestPath = 259;  // MAX_PATH less its NUL
constexpr char kSeparator = '\\';
#else
constexpr std::size_t kLongestPath = PATH_MAX - 1;
constexpr char kSeparator = '/';
#endif
constexpr std::size_t kLongestName = 255;

// Makes folders in `base` so that `name` in the innermost one has a path of
// exactly `length` characters, and returns that path.
std::string PathOfLength(const std::string& base, std::size_t length, const std::string& name) {
  std::string folder = base;
  for (std::size_t left; (left = length - folder.size() - 1 - name.size()) > 0;) {
    folder += kSeparator + std::string(left <= 200 ? left - 1 : 150, 'd');
#ifdef _WIN32
    std::filesystem::create_directory("\\\\?\\" + folder);  // longer than CreateDirectory takes without
#else
    std::filesystem::create_directory(folder);
#endif
  }
  return folder + kSeparator + name;
}

TEST(FileJobTest, ReplacesAnExistingResultAgainAndAgain) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "c b a");
  WriteFile(folder.Path("result.txt"), "old content that is longer than the new one\r\n");
  for (int i = 0; i < 3; ++i) {
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
    ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
    EXPECT_EQ(ReadFile(folder.Path("result.txt")), "a\r\nb\r\nc\r\n");
  }
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
}

TEST(FileJobTest, EmptyPathsTouchNothing) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  EXPECT_EQ(TidyWordList("", folder.Path("result.txt")).status, JobStatus::kEmptyPath);
  EXPECT_EQ(TidyWordList(folder.Path("source.txt"), "").status, JobStatus::kEmptyPath);
  EXPECT_EQ(TidyWordList("", "").status, JobStatus::kEmptyPath);
  EXPECT_EQ(folder.List(), Names{"source.txt"});
}

// A job that cannot be done, in a folder that holds source.txt, result.txt
// and the folder dir/ with inside.txt: it names the file at fault, says
// why, leaves every file as it was, and tells whether there was a result.
struct Problem {
  const char* name;
  const char* source;
  const char* result;
  JobStatus status;
  bool names_source;  // or the result
  ResultLeft left;
};

const Problem kProblems[] = {
    {"MissingSource", "missing.txt", "result.txt", JobStatus::kSourceUnreadable, true, ResultLeft::kAsItWas},
    {"MissingSourceAndResult", "missing.txt", "new.txt", JobStatus::kSourceUnreadable, true, ResultLeft::kNotCreated},
    {"SourceIsAFolder", "dir", "result.txt", JobStatus::kSourceUnreadable, true, ResultLeft::kAsItWas},
    {"ResultInAMissingFolder", "source.txt", "no such folder/result.txt", JobStatus::kResultUnwritable, false,
     ResultLeft::kNotCreated},
    {"ResultIsAFolder", "source.txt", "dir", JobStatus::kResultUnwritable, false, ResultLeft::kAsItWas},
};

class ProblemTest : public ::testing::TestWithParam<Problem> {};

TEST_P(ProblemTest, NamesTheFileAndChangesNothing) {
  const Problem& row = GetParam();
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "b a");
  WriteFile(folder.Path("result.txt"), "precious\r\n");
  std::filesystem::create_directory(folder.path() / "dir");
  WriteFile(folder.Path("dir/inside.txt"), "x");
  const JobOutcome outcome = TidyWordList(folder.Path(row.source), folder.Path(row.result));
  EXPECT_EQ(outcome.status, row.status);
  EXPECT_EQ(outcome.path, folder.Path(row.names_source ? row.source : row.result));
  EXPECT_FALSE(outcome.reason.empty());
  EXPECT_EQ(outcome.result_left, row.left);
  EXPECT_EQ(ReadFile(folder.Path("source.txt")), "b a");
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "precious\r\n");
  EXPECT_EQ(folder.List(), (Names{"dir", "result.txt", "source.txt"}));
  EXPECT_EQ(ScratchFolderListing(folder.path() / "dir"), Names{"inside.txt"});
}

INSTANTIATE_TEST_SUITE_P(Rows, ProblemTest, ::testing::ValuesIn(kProblems),
                         [](const ::testing::TestParamInfo<Problem>& info) { return std::string(info.param.name); });

TEST(FileJobTest, RelativePathsWithoutAFolder) {
  ScratchFolder folder;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  WriteFile("source.txt", "b a b");
  const JobOutcome outcome = TidyWordList("source.txt", "result.txt");
  std::filesystem::current_path(previous);
  ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "a\r\nb\r\n");
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
}

TEST(FileJobTest, SourceLargerThanManyReads) {
  // Several megabytes, so the file is read in many blocks.
  std::string source;
  for (long long i = 0; i < 400000; ++i) source += std::to_string((i * 7919) % 100003) + (i % 5 ? " " : "\r\n");
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), source);
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("source.txt")).status, JobStatus::kCompleted);
  EXPECT_EQ(ReadFile(folder.Path("source.txt")), ReferenceTidy(source));
}

TEST(FileJobTest, RemovesWhatAKilledRunLeftBehind) {
  // Temporary files of the program's own making, untouched for a while, go;
  // anything else stays, however alike its name. A result's old content
  // moved aside (.bak) stays too: it may be the only copy.
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "b a");
  const Names leftovers = {".~lexset-0123456789abcdef.tmp", ".~lexset-00000000000000aa.run"};
  const Names kept = {".~lexset-ABCDEF0123456789.tmp",      ".~lexset-0123.tmp",
                      "lexset-0123456789abcdef.tmp",        ".~lexset-0123456789abcdef.txt",
                      ".~lexset-0123456789abcdef.tmp.keep", ".~lexset-fedcba9876543210.bak",
                      ".~lexset-1111111111111111.tmp"};
  const auto two_hours_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  for (const auto& name : leftovers) WriteFile(folder.Path(name), "left behind");
  for (const auto& name : kept) WriteFile(folder.Path(name), "someone's");
  for (const auto& name : leftovers) std::filesystem::last_write_time(folder.path() / name, two_hours_ago);
  for (const auto& name : kept) {
    // The last one is recent: a run may still be at work on it.
    if (name != kept.back()) std::filesystem::last_write_time(folder.path() / name, two_hours_ago);
  }
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("result.txt")).status, JobStatus::kCompleted);
  Names expected = kept;
  expected.push_back("result.txt");
  expected.push_back("source.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.List(), expected);
}

TEST(FileJobTest, LongestPathsBesideLongerTemporaryNames) {
  // The result's temporary, backup and run files beside it have longer
  // names than the result, whose path or name is as long as the system
  // allows; written in place, the result and its source fit.
  ScratchFolder folder;
  const std::string base = folder.path().string();
  std::string words;
  for (int i = 0; i < 3000; ++i) words += "w" + std::to_string(i * 7919 % 3001) + (i % 7 ? " " : "\r\n");
  WriteFile(folder.Path("source.txt"), words);
  JobOptions spill;
  spill.memory_limit = 8192;  // through run files beside the result
  const std::string deep = PathOfLength(base, kLongestPath, "r.txt");
  const std::string inside = deep.substr(0, deep.size() - 6);
  std::vector<std::string> results = {deep, "r.txt", base + kSeparator + std::string(kLongestName, 'n')};
#ifdef _WIN32
  results.back().resize(kLongestPath);
  results.push_back(deep.substr(0, 2) + "r.txt");  // a drive and a name: in that drive's current folder
  results.push_back(deep);
  std::replace(results.back().begin(), results.back().end(), '\\', '/');
#endif
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(inside);
  for (const std::string& result : results) {
    // A new result, the same replaced, and replaced by its own tidied words.
    for (const std::string& source : {folder.Path("source.txt"), folder.Path("source.txt"), result}) {
      const JobOutcome outcome = TidyWordList(source, result, spill);
      EXPECT_EQ(outcome.status, JobStatus::kCompleted) << result.size() << " characters: " << outcome.reason;
      EXPECT_EQ(ReadFile(result), ReferenceTidy(words));
    }
    EXPECT_FALSE(HasTemporaryFile(ScratchFolderListing(inside)));
    std::filesystem::remove(result);
  }
  std::filesystem::current_path(previous);
  EXPECT_EQ(folder.List().size(), 2u);  // the folders made here, and the source

  // Longer than that, they are refused, and nothing is made.
  const std::string too_long = deep.substr(0, deep.size() - 5) + "rr.txt";
  const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), too_long);
  EXPECT_EQ(outcome.status, JobStatus::kResultUnwritable);
  EXPECT_FALSE(outcome.reason.empty());
  EXPECT_EQ(TidyWordList(too_long, folder.Path("result.txt")).status, JobStatus::kSourceUnreadable);
  EXPECT_EQ(TidyWordList(folder.Path("source.txt"), base + kSeparator + std::string(kLongestName + 1, 'n')).status,
            JobStatus::kResultUnwritable);
  EXPECT_EQ(ScratchFolderListing(inside), Names{});
  EXPECT_EQ(folder.List().size(), 2u);
}

TEST(FileJobTest, Utf16SourceEndingInHalfACodeUnit) {
  // Refused rather than cut short: the result, or the source when it is the
  // result too, stays as it was.
  ScratchFolder folder;
  const std::string odd = Utf16Bytes(u"\uFEFFb a", true) + "\r";
  WriteFile(folder.Path("source.txt"), odd);
  WriteFile(folder.Path("result.txt"), "precious\r\n");
  JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
  EXPECT_EQ(outcome.status, JobStatus::kSourceIncomplete);
  EXPECT_EQ(outcome.path, folder.Path("source.txt"));
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "precious\r\n");
  outcome = TidyWordList(folder.Path("source.txt"), folder.Path("source.txt"));
  EXPECT_EQ(outcome.status, JobStatus::kSourceIncomplete);
  EXPECT_EQ(ReadFile(folder.Path("source.txt")), odd);
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
}

// The same list as bytes and as UTF-16.
std::vector<std::string> FaultInputs() {
  const std::string words = "d c b a e f g h i j k l m n o p q r s t u v w x y z";
  return {words, Utf16Bytes(u"\uFEFF" + std::u16string(words.begin(), words.end()), false)};
}

TEST(StreamFaultTest, ReadErrorPartWayWritesNothing) {
  for (const std::string& input : FaultInputs()) {
    for (std::size_t fail_after = 0; fail_after < input.size(); fail_after += 5) {
      MemorySource source(input, 3, fail_after);
      MemorySink sink;
      JobOptions options;
      options.read_block_size = 16;
      EXPECT_EQ(TidyWords(source, sink, options), JobStatus::kSourceReadFailed);
      EXPECT_EQ(sink.bytes(), "");
    }
  }
}

TEST(StreamFaultTest, WriteErrorPartWay) {
  for (const std::string& input : FaultInputs()) {
    for (std::size_t fail_after = 0; fail_after < ReferenceTidy(input).size(); fail_after += 7) {
      MemorySource source(input);
      MemorySink sink(fail_after);
      JobOptions options;
      options.write_buffer_size = 10;
      EXPECT_EQ(TidyWords(source, sink, options), JobStatus::kResultUnwritable);
    }
  }
}

}  // namespace
}  // namespace lexset::test
