//===- AllocationFailureTest.cpp - Memory running out at every allocation ===//
//
// This executable replaces the global operator new so that a chosen
// allocation fails. The job is run once for every allocation it makes: each
// run must either complete (when the failure came while words could go to a
// run file) or report that memory ran out and leave the result exactly as it
// was; never leave a temporary file; and not stop the next job from working.
// It also counts allocations, where their number tells how a store grows.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "core/TidyJob.h"
#include "core/WordSet.h"
#include "tests/TestSupport.h"
#include "tests/WordListGenerator.h"

namespace {

// The allocation that fails: 1 is the next one; 0 means none fails.
long g_fail_in = 0;
long g_allocations = 0;

void* Allocate(std::size_t size) {
  ++g_allocations;
  if (g_fail_in > 0 && --g_fail_in == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace lexset::test {
namespace {

TEST(AllocationFailureTest, EveryAllocationOfAJob) {
  // Enough distinct words, out of order, to grow the hash table and the
  // arena several times; as bytes, and as UTF-16, which is decoded and
  // encoded on the way.
  std::string words;
  for (long long i = 0; i < 30000; ++i) words += std::to_string((i * 7919) % 30011) + "x ";
  for (const std::string& source : {words, Utf16Bytes(u"\uFEFF" + std::u16string(words.begin(), words.end()), true)}) {
    const std::string expected = ReferenceTidy(source);
    ScratchFolder folder;
    WriteFile(folder.Path("source.txt"), source);
    WriteFile(folder.Path("result.txt"), "precious");
    const std::vector<std::string> before = folder.List();
    const std::string source_path = folder.Path("source.txt");
    const std::string result_path = folder.Path("result.txt");

    int reported = 0;
    int recovered = 0;
    for (long fail_in = 1;; ++fail_in) {
      g_fail_in = fail_in;
      const JobOutcome outcome = TidyWordList(source_path, result_path);
      const bool reached = g_fail_in == 0;
      g_fail_in = 0;
      ASSERT_EQ(folder.List(), before) << "allocation " << fail_in;
      if (!reached) {
        // Allocation `fail_in` was never made: the job ran without a failure.
        ASSERT_EQ(outcome.status, JobStatus::kCompleted);
        EXPECT_EQ(ReadFile(result_path), expected);
        break;
      }
      if (outcome.status == JobStatus::kCompleted) {
        // The words in memory went to a run file and the job went on.
        ASSERT_EQ(ReadFile(result_path), expected) << "allocation " << fail_in;
        WriteFile(result_path, "precious");
        ++recovered;
      } else {
        ASSERT_EQ(outcome.status, JobStatus::kOutOfMemory) << "allocation " << fail_in;
        ASSERT_EQ(ReadFile(result_path), "precious") << "allocation " << fail_in;
        ++reported;
      }
    }
    EXPECT_GT(reported, 10);
    EXPECT_GT(recovered, 0);
  }
}

TEST(AllocationCountTest, BucketListsGrowGeometrically) {
  // Words of one prefix fill one bucket, chunk after chunk, and words larger
  // than a chunk each take a block of their own: the lists of chunks and
  // of blocks must grow by doubling, not by one at a time.
  Generator gen(40);
  WordSet set(WordSet::kNoLimit, 64);
  for (const std::string& word : gen.Vocabulary("abcdefghij", 1000, 10)) set.Insert(word);
  ASSERT_TRUE(set.appending());
  std::vector<std::string> words;
  for (int i = 0; i < 200000; ++i) words.push_back("ht" + gen.Word("abcdefghij", 120));
  constexpr long kLargeWords = 300;
  for (long i = 0; i < kLargeWords; ++i)
    words.push_back("ht" + gen.Word("abcdefghij", 40000) + std::string(20000, 'x'));
  const long before = g_allocations;
  for (const std::string& word : words) set.Insert(word);
  // A block for each large word, and a few dozen more as the slabs and the
  // lists double.
  EXPECT_LT(g_allocations - before, kLargeWords + 60);
}

}  // namespace
}  // namespace lexset::test
