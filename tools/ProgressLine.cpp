//===- ProgressLine.cpp - A job's progress on one line of the console ----===//
#include "tools/ProgressLine.h"

#include <cstdio>
#include <string>

#include "tools/ConsoleText.h"

namespace lexset {
namespace {

// A job shorter than this shows nothing; a longer one is redrawn no more
// often than every kRedraw, unless it takes another step (a stage, a run
// file, a merge pass): every step shows.
constexpr std::chrono::milliseconds kQuietStart(1000);
constexpr std::chrono::milliseconds kRedraw(250);

// Bytes as "812.4 MB" or "3.21 GB" (decimal units, as disks count).
std::string Bytes(std::uint64_t bytes) {
  char text[32];
  if (bytes >= 1000000000) {
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  }
  return text;
}

std::string Describe(const JobProgressReport& report, double seconds) {
  using Stage = JobProgressReport::Stage;
  char number[128];
  switch (report.stage) {
    case Stage::kReading: {
      std::string text = "已读取 " + Bytes(report.bytes_read);
      if (report.total_bytes != 0) {
        std::snprintf(number, sizeof number, "（%d%%）",
                      static_cast<int>(100.0 * static_cast<double>(report.bytes_read) /
                                       static_cast<double>(report.total_bytes)));
        text += " / " + Bytes(report.total_bytes) + number;
      }
      std::snprintf(number, sizeof number, "，%.0f MB/s", static_cast<double>(report.bytes_read) / 1e6 / seconds);
      text += number;
      if (report.runs_written != 0) {
        std::snprintf(number, sizeof number, "，已写出 %zu 个临时文件", report.runs_written);
        text += number;
      }
      return text;
    }
    case Stage::kSpilling:
      std::snprintf(number, sizeof number, "内存已满，正在写出第 %zu 个临时文件……", report.runs_written + 1);
      return number;
    case Stage::kSorting:
      return "正在排序内存中的字符串……";
    case Stage::kMerging:
      std::snprintf(number, sizeof number, "正在合并 %zu 个临时文件（第 %zu 遍）……", report.runs_merging,
                    report.merge_pass);
      return number;
    case Stage::kWriting:
      if (report.runs_merging == 0) break;
      std::snprintf(number, sizeof number, "正在合并 %zu 个临时文件，写出结果……", report.runs_merging);
      return number;
  }
  return "正在排序并写出结果……";
}

// Whether `a` and `b` differ in more than the bytes read, which alone are
// not worth a redraw every time.
bool NewStep(const JobProgressReport& a, const JobProgressReport& b) {
  return a.stage != b.stage || a.runs_written != b.runs_written || a.runs_merging != b.runs_merging ||
         a.merge_pass != b.merge_pass;
}

}  // namespace

ProgressLine::ProgressLine(bool shown) : shown_(shown), start_(Clock::now()), last_(start_) {}

void ProgressLine::Update(const JobProgressReport& report) {
  if (!shown_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietStart) return;
  if (now - last_ < kRedraw && !NewStep(report, last_report_) && width_ != 0) return;
  last_ = now;
  last_report_ = report;
  Show(Describe(report, std::chrono::duration<double>(now - start_).count()));
}

void ProgressLine::Show(const std::string& text) {
  const std::size_t width = DisplayWidth(text);
  // Spaces cover what is left of a longer line before.
  Write(Stream::kError, "\r" + text + std::string(width_ > width ? width_ - width : 0, ' '));
  width_ = width;
}

void ProgressLine::Clear() {
  if (width_ == 0) return;
  Write(Stream::kError, "\r" + std::string(width_, ' ') + "\r");
  width_ = 0;
}

}  // namespace lexset
