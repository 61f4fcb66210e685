//===- TidyJob.cpp - Turning a word list into its distinct words, sorted -===//
#include "core/TidyJob.h"

#include <new>
#include <stdexcept>

#include "core/Files.h"
#include "core/LineWriter.h"
#include "core/WordScanner.h"
#include "core/WordSet.h"

namespace lexset {

JobStatus TidyWords(ByteSource& source, ByteSink& sink, const JobOptions& options) {
  WordSet words;
  {
    WordScanner scanner(options.read_block_size);
    auto insert = [&words](const std::string_view* batch, std::size_t count) {
      if (words.InsertMany(batch, count) != count) throw std::bad_alloc();
    };
    if (!scanner.ScanAll(source, insert)) {
      return JobStatus::kSourceReadFailed;
    }
  }
  words.Sort();
  LineWriter writer(sink, options.write_buffer_size);
  const bool written = words.ForEachSorted([&writer](std::string_view word) { return writer.PutLine(word); });
  return written && writer.Flush() ? JobStatus::kCompleted : JobStatus::kResultUnwritable;
}

namespace {

JobOutcome RunJob(const std::string& source, const std::string& result, const JobOptions& options) {
  if (source.empty() || result.empty()) return JobOutcome{JobStatus::kEmptyPath, {}, {}};

  SourceFile in;
  if (!in.Open(source)) return JobOutcome{JobStatus::kSourceUnreadable, source, in.error()};
  // Made before the long read, so a result that cannot be written is
  // reported at once.
  ReplacementFile out;
  if (!out.Create(result)) return JobOutcome{JobStatus::kResultUnwritable, result, out.error()};

  switch (const JobStatus status = TidyWords(in, out, options)) {
    case JobStatus::kSourceReadFailed:
      return JobOutcome{status, source, in.error()};
    case JobStatus::kResultUnwritable:
      return JobOutcome{status, result, out.error()};
    default:
      break;
  }
  // The source is closed first: it may be the very file being replaced.
  in.Close();
  if (!out.Commit()) return JobOutcome{JobStatus::kResultUnwritable, result, out.error()};
  return JobOutcome{};
}

}  // namespace

JobOutcome TidyWordList(const std::string& source, const std::string& result, const JobOptions& options) {
  // Running out of memory anywhere, even for a message, ends the job; the
  // files are put back as they were while the stack unwinds.
  try {
    return RunJob(source, result, options);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return JobOutcome{JobStatus::kOutOfMemory, {}, {}};
}

}  // namespace lexset
