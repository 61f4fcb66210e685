//===- TableTest.cpp - The job's byte rules, row by row ------------------===//
//
// Each row is a source and the exact bytes of its result. Every row runs
// through the core on memory (whole, and one byte per read so every word
// straddles a read), through the file job, and with source and result
// naming the same file.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "core/TidyJob.h"
#include "tests/TestSupport.h"
#include "tests/WordListGenerator.h"

namespace lexset::test {
namespace {

using namespace std::literals;

std::string Le(std::u16string_view units) { return Utf16Bytes(units, true); }
std::string Be(std::u16string_view units) { return Utf16Bytes(units, false); }

struct Row {
  const char* rule;
  std::string source;
  std::string result;
};

const Row kRows[] = {
    {"an empty source gives an empty result", "", ""},
    {"whitespace only gives an empty result", " \t\r\n\v\f \r\n", ""},
    {"repeats are dropped and CR LF ends every line", "b a b\r\nA", "A\r\na\r\nb\r\n"},
    {"a prefix sorts first", "abc ab", "ab\r\nabc\r\n"},
    {"upper case sorts before lower case", "apple Apple Zoo", "Apple\r\nZoo\r\napple\r\n"},
    {"digits sort before letters", "a 1 A", "1\r\nA\r\na\r\n"},
    {"the last word needs no line end", "y x", "x\r\ny\r\n"},
    {"all six separators split", "g\tf\ne\vd\fc\rb a", "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\ng\r\n"},
    {"a lone CR separates", "b\ra", "a\r\nb\r\n"},
    {"0x1A ends the input",
     "b\x1a"
     "a c",
     "b\r\n"},
    {"0x1A inside a word ends it",
     "zz ab\x1a"
     "cd",
     "ab\r\nzz\r\n"},
    {"0x1A first gives an empty result",
     "\x1a"
     "abc",
     ""},
    {"NUL inside a word is kept", "a\0b a"s, "a\r\na\0b\r\n"s},
    {"NUL alone is a word", "\0"s, "\0\r\n"s},
    {"trailing NULs make different words", "a\0\0 a a\0 a\0\0\0\0"s, "a\r\na\0\r\na\0\0\r\na\0\0\0\0\r\n"s},
    {"0x1C-0x1F and 0x7F belong to words", "\x1c\x1d \x7f \x1f", "\x1c\x1d\r\n\x1f\r\n\x7f\r\n"},
    {"bytes from 0x80 sort after ASCII, unsigned", "\xff \x80 ~", "~\r\n\x80\r\n\xff\r\n"},
    {"GBK words stay whole and follow ASCII", "\xd6\xd0\xce\xc4 abc \xd6\xd0",
     "abc\r\n\xd6\xd0\r\n\xd6\xd0\xce\xc4\r\n"},
    {"a full-width space does not split", "\xd6\xd0\xa1\xa1\xce\xc4", "\xd6\xd0\xa1\xa1\xce\xc4\r\n"},
    {"UTF-8 words stay whole", "\xc3\xa9t\xc3\xa9 z", "z\r\n\xc3\xa9t\xc3\xa9\r\n"},
    {"a UTF-8 mark is not a word, and starts the result",
     "\xef\xbb\xbf"
     "b a\r\nb",
     "\xef\xbb\xbf"
     "a\r\nb\r\n"},
    {"the bytes of a UTF-8 mark after the start belong to a word",
     "a \xef\xbb\xbf"
     "a",
     "a\r\n\xef\xbb\xbf"
     "a\r\n"},
    {"a UTF-8 mark and no words gives the mark alone", "\xef\xbb\xbf \r\n", "\xef\xbb\xbf"},
    {"two bytes of a UTF-8 mark are only bytes", "\xef\xbb a", "a\r\n\xef\xbb\r\n"},
    {"UTF-16 LE: words split at characters, the mark kept", Le(u"\uFEFFb a\r\nb"), Le(u"\uFEFFa\r\nb\r\n")},
    {"UTF-16 BE: words split at characters, the mark kept", Be(u"\uFEFFb a\r\nb\tc"), Be(u"\uFEFFa\r\nb\r\nc\r\n")},
    {"UTF-16: a character with a separator byte in it does not split",
     Le(u"\uFEFF\u0A20\u200A \u0D09\u0920"), Le(u"\uFEFF\u0A20\u200A\r\n\u0D09\u0920\r\n")},
    {"UTF-16: other spaces belong to words", Be(u"\uFEFFa\u3000b\u00A0c\u0085d\u2028e\u2009f"),
     Be(u"\uFEFFa\u3000b\u00A0c\u0085d\u2028e\u2009f\r\n")},
    {"UTF-16: code point order, U+E000-U+FFFF before characters above U+FFFF",
     Le(u"\uFEFF\U0010FFFF \U00010000 \uFFFD \uE000 \uD7FF \u00E9 z"),
     Le(u"\uFEFFz\r\n\u00E9\r\n\uD7FF\r\n\uE000\r\n\uFFFD\r\n\U00010000\r\n\U0010FFFF\r\n")},
    {"UTF-16: lone surrogates are kept and sort by their code unit",
     Be(u"\uFEFF\xDC00 \xD800 \uE000 \uD7FF \xDC00\xD800 a\xD800"),
     Be(u"\uFEFFa\xD800\r\n\uD7FF\r\n\xD800\r\n\xDC00\r\n\xDC00\xD800\r\n\uE000\r\n")},
    {"UTF-16: U+001A ends the input", Le(u"\uFEFFb\x001A" u"a c"), Le(u"\uFEFFb\r\n")},
    {"UTF-16: after U+001A half a code unit does not matter", Le(u"\uFEFFb\x001A") + "x", Le(u"\uFEFFb\r\n")},
    {"UTF-16: U+FEFF after the start belongs to a word", Le(u"\uFEFF\uFEFFa a"), Le(u"\uFEFFa\r\n\uFEFFa\r\n")},
    {"UTF-16: NUL belongs to a word", Be(u"\uFEFFa\0b a"sv), Be(u"\uFEFFa\r\na\0b\r\n"sv)},
    {"a UTF-16 mark and no words gives the mark alone", Le(u"\uFEFF\r\n "), Le(u"\uFEFF")},
    {"a UTF-16 BE mark alone", Be(u"\uFEFF"), Be(u"\uFEFF")},
    {"descending input", "c b a", "a\r\nb\r\nc\r\n"},
    {"ascending, then out of order", "a b c b a d", "a\r\nb\r\nc\r\nd\r\n"},
    {"words equal in their first four bytes", "abcdX abcd abcdA abc abcdA", "abc\r\nabcd\r\nabcdA\r\nabcdX\r\n"},
    // Read back from the result after words in order, the first word is not
    // taken for a mark.
    {"first word starting like a UTF-8 mark", " \xEF\xBB\xBFx \xEF\xBB\xBFz \xEF\xBB\xBFy",
     "\xEF\xBB\xBFx\r\n\xEF\xBB\xBFy\r\n\xEF\xBB\xBFz\r\n"},
    {"first word starting like a UTF-16 mark", "\t\xFF\xFE\x61 \xFF\xFE\x63 \xFF\xFE\x62",
     "\xFF\xFE\x61\r\n\xFF\xFE\x62\r\n\xFF\xFE\x63\r\n"},
};

class TableTest : public ::testing::TestWithParam<Row> {};

TEST_P(TableTest, InMemory) {
  const Row& row = GetParam();
  EXPECT_EQ(TidyInMemory(row.source), row.result);
}

TEST_P(TableTest, OneByteReadsAndSmallBlocks) {
  // Every word in order goes straight to the result, as a long stretch of
  // them does, and is read back if one out of order comes after.
  const Row& row = GetParam();
  JobOptions options;
  options.read_block_size = 16;
  options.write_buffer_size = 3;
  options.stretch_from = 1;
  EXPECT_EQ(TidyInMemory(row.source, options, 1), row.result);
}

TEST_P(TableTest, ThreeThreads) {
  // Read ahead on a thread of its own, in blocks of a few words.
  const Row& row = GetParam();
  JobOptions options;
  options.read_block_size = 16;
  options.threads = 3;
  EXPECT_EQ(TidyInMemory(row.source, options), row.result);
}

TEST_P(TableTest, ReferenceAgrees) {
  const Row& row = GetParam();
  EXPECT_EQ(ReferenceTidy(row.source), row.result);
}

TEST_P(TableTest, Files) {
  const Row& row = GetParam();
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), row.source);
  const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
  ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), row.result);
  EXPECT_EQ(ReadFile(folder.Path("source.txt")), row.source);
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"result.txt", "source.txt"}));
}

TEST_P(TableTest, SourceIsResult) {
  // Words in order go to the result's temporary file at once, and come back
  // from it, not from the source, which is the same file.
  const Row& row = GetParam();
  ScratchFolder folder;
  WriteFile(folder.Path("list.txt"), row.source);
  JobOptions options;
  options.stretch_from = 1;
  const JobOutcome outcome = TidyWordList(folder.Path("list.txt"), folder.Path("list.txt"), options);
  ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
  EXPECT_EQ(ReadFile(folder.Path("list.txt")), row.result);
  EXPECT_EQ(folder.List(), std::vector<std::string>{"list.txt"});
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char* c = info.param.rule; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Rules, TableTest, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace lexset::test
