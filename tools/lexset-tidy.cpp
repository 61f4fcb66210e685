//===- lexset-tidy.cpp - The word-list job from the command line ---------===//
//
//   lexset-tidy [OPTIONS] SOURCE... RESULT
//
// Runs the job of the window's Start button on one or more sources, whose
// distinct words all go to one result; "-" reads the standard input or
// writes the standard output. Prints the message the window would show on
// standard error, and while a long job runs, its progress on one line when
// standard error is a console that the result does not go to. Exit status:
// 0 when the job completed, 1 for an empty path or a usage error, 2 for any
// other problem.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "core/JobMessages.h"
#include "core/SystemThreads.h"
#include "core/TidyJob.h"
#include "res/Version.h"
#include "tools/ConsoleText.h"
#include "tools/ProgressLine.h"

namespace {

constexpr char kVersion[] = "lexset-tidy " LEXSET_VERSION;

constexpr char kUsage[] = "用法：lexset-tidy [选项] 待处理文件... 结果文件（--help 显示说明）";

constexpr char kHelp[] =
    "用法：lexset-tidy [选项] 待处理文件... 结果文件\r\n"
    "\r\n"
    "读出待处理文件中以空白（空格、tab 和换行）隔开的字符串，去除重复的，\r\n"
    "按字符串大小顺序写入结果文件，每行一个。以字节顺序标记开头的 UTF-8\r\n"
    "和 UTF-16 文件按其编码读写。几个待处理文件的字符串合并写入同一个结果\r\n"
    "文件，它们的编码须相同。结果文件可以是待处理文件之一。\r\n"
    "“-”作为待处理文件表示标准输入，作为结果文件表示标准输出。\r\n"
    "\r\n"
    "选项：\r\n"
    "  --memory-limit 字节数  字符串在内存中最多占用的字节数，超出时先写入临时文件\r\n"
    "                         （默认由程序按内存大小决定）\r\n"
    "  --threads 线程数       最多同时使用的线程数，1 到 256（默认为处理器个数）；\r\n"
    "                         结果与线程数无关\r\n"
    "  --stats                另外输出临时文件的统计数字\r\n"
    "  --quiet                不显示进度和“处理完毕。”，只报告问题\r\n"
    "  --help、-h、/?         显示本说明\r\n"
    "  --version              显示版本\r\n"
    "\r\n"
    "退出状态：0 处理完毕；1 文件名为空或用法有误；2 其他问题。\r\n";

// A line of its own.
void Print(lexset::Stream stream, lexset::MessageText text) {
  text += "\r\n";
  lexset::Write(stream, text);
}

// A usage error: what is wrong, and how to use the program.
int UsageError(const lexset::MessageText& problem) {
  lexset::MessageText text("lexset-tidy：");
  for (const auto& [offset, length] : problem.quoted) text.quoted.emplace_back(text.text.size() + offset, length);
  text += problem.text;
  Print(lexset::Stream::kError, text);
  Print(lexset::Stream::kError, kUsage);
  return 1;
}

// "`words`“`named`”`after`", quoting what the user typed.
lexset::MessageText Quoting(const char* words, const std::string& named, const std::string& after = "") {
  lexset::MessageText text(words);
  text += "“";
  text.Quote(named) += "”" + after;
  return text;
}

// A count as written by the user: decimal digits only, not 0, and no more
// than `largest`. Returns the usage error's text, or an empty one.
lexset::MessageText ParseCount(const char* option, const char* unit, const std::string& text, std::uint64_t largest,
                               std::uint64_t* count) {
  const std::string wrong = std::string(option) + " 的" + unit + "不对：";
  std::uint64_t value = 0;
  bool too_large = false;
  for (const char c : text) {
    if (c < '0' || c > '9') return Quoting(wrong.c_str(), text, "，应为正整数");
    const unsigned digit = static_cast<unsigned>(c - '0');
    too_large = too_large || value > (largest - digit) / 10;
    if (!too_large) value = value * 10 + digit;
  }
  if (text.empty() || value == 0) return Quoting(wrong.c_str(), text, "，应为正整数");
  if (too_large) {
    const std::string large = std::string(option) + " 的" + unit + "太大：";
    return Quoting(large.c_str(), text, "，最多为 " + std::to_string(largest));
  }
  *count = value;
  return {};
}

// A count of bytes: no more than this program can hold (4 GiB less a byte
// in the 32-bit program).
lexset::MessageText ParseByteCount(const std::string& text, std::size_t* count) {
  std::uint64_t value = 0;
  lexset::MessageText problem =
      ParseCount("--memory-limit", "字节数", text, std::numeric_limits<std::size_t>::max(), &value);
  if (problem.text.empty()) *count = static_cast<std::size_t>(value);
  return problem;
}

// More threads than this only wait for each other.
constexpr unsigned kMostThreads = 256;

int ExitStatus(lexset::JobStatus status) {
  switch (status) {
    case lexset::JobStatus::kCompleted:
      return 0;
    case lexset::JobStatus::kEmptyPath:
      return 1;
    default:
      return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A reader of the standard output that goes away is a write failure to
  // report, not a reason to die unheard.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  lexset::JobOptions options;
  options.standard_streams = true;
  options.threads = std::min(lexset::ProcessorCount(), kMostThreads);
  lexset::SpillStats stats;
  bool print_stats = false;
  bool quiet = false;
  std::vector<std::string> paths;
  bool options_ended = false;
  for (int arg = 1; arg < argc; ++arg) {
    const std::string text = argv[arg];
    // "/?" and "-h" ask for help, as of other console programs of Windows.
    const bool help = !options_ended && (text == "--help" || text == "-h" || text == "/?");
    if (!help && (options_ended || text.size() < 2 || text[0] != '-')) {
      paths.push_back(text);
    } else if (text == "--") {
      options_ended = true;
    } else if (help) {
      Print(lexset::Stream::kOutput, kHelp);
      return 0;
    } else if (text == "--version") {
      Print(lexset::Stream::kOutput, kVersion);
      return 0;
    } else if (text == "--memory-limit") {
      if (arg + 1 >= argc) return UsageError("--memory-limit 后面缺少字节数");
      const lexset::MessageText problem = ParseByteCount(argv[++arg], &options.memory_limit);
      if (!problem.text.empty()) return UsageError(problem);
    } else if (text == "--threads") {
      if (arg + 1 >= argc) return UsageError("--threads 后面缺少线程数");
      std::uint64_t threads = 0;
      const lexset::MessageText problem = ParseCount("--threads", "线程数", argv[++arg], kMostThreads, &threads);
      if (!problem.text.empty()) return UsageError(problem);
      options.threads = static_cast<unsigned>(threads);
    } else if (text == "--stats") {
      print_stats = true;
      options.stats = &stats;
    } else if (text == "--quiet") {
      quiet = true;
    } else {
      return UsageError(lexset::MessageText("不认识的选项 ").Quote(text));
    }
  }
  if (paths.size() < 2) return UsageError(paths.empty() ? "缺少待处理文件和结果文件" : "缺少结果文件");
  const std::string result = paths.back();
  paths.pop_back();
  int standard_inputs = 0;
  for (const std::string& path : paths) standard_inputs += path == "-";
  if (standard_inputs > 1) return UsageError("标准输入（-）只能读一次");

  // No progress where nobody sees it, nor where its redraws would land in
  // the middle of the result's lines.
  const bool shown = !quiet && lexset::IsConsole(lexset::Stream::kError) &&
                     !(result == "-" && lexset::OutputAndErrorShareAConsole());
  lexset::ProgressLine progress(shown);
  if (shown) options.progress = &progress;
  const lexset::JobOutcome outcome = lexset::TidyWordList(paths, result, options);
  progress.Clear();

  if (!quiet || outcome.status != lexset::JobStatus::kCompleted) {
    Print(lexset::Stream::kError, lexset::DescribeOutcome(outcome));
  }
  if (print_stats) {
    char figures[160];
    std::snprintf(figures, sizeof figures, "runs=%zu merge_passes=%zu run_bytes_written=%llu peak_run_bytes=%llu",
                  stats.runs_written, stats.merge_passes, static_cast<unsigned long long>(stats.bytes_written),
                  static_cast<unsigned long long>(stats.peak_run_bytes));
    Print(lexset::Stream::kError, figures);
  }
  return ExitStatus(outcome.status);
}
