//===- JobMessages.cpp - What the user is told about a job ---------------===//
#include "core/JobMessages.h"

#include "core/OwnReasons.h"

namespace lexset {

const char kMessageCaption[] = "QEMI词表整理工具";
const char kStandardInputName[] = "标准输入";
const char kStandardOutputName[] = "标准输出";

MessageText& MessageText::Quote(const std::string& named) {
  quoted.emplace_back(text.size(), named.size());
  text += named;
  return *this;
}

MessageText& MessageText::Reason(const std::string& reason) {
  if (IsOwnReason(reason)) return *this += reason;
  return Quote(reason);
}

namespace {

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return "带字节顺序标记的 UTF-8";
    case TextEncoding::kUtf16Le:
      return "UTF-16 LE";
    case TextEncoding::kUtf16Be:
      return "UTF-16 BE";
    case TextEncoding::kBytes:
      break;
  }
  return "无字节顺序标记";
}

// The last line of a problem's message: what became of the result.
const char* ResultLine(ResultLeft left) {
  switch (left) {
    case ResultLeft::kNotCreated:
      return "未创建结果文件。";
    case ResultLeft::kNothingOut:
      return "未输出任何结果。";
    case ResultLeft::kIncomplete:
      return "输出的结果不完整。";
    case ResultLeft::kAsItWas:
      break;
  }
  return "结果文件未作任何改动。";
}

// A problem with a file: "`before`“path”`after`", the system's reason on a
// line of its own when it gave one, and what became of the result.
JobMessage FileProblem(const JobOutcome& outcome, const char* before, const std::string& after) {
  JobMessage message;
  message += before;
  message.Quote(outcome.path);
  message += after + "\r\n";
  if (!outcome.reason.empty()) message.Reason(outcome.reason) += "\r\n";
  if (outcome.old_content_path.empty()) {
    message += ResultLine(outcome.result_left);
  } else {
    message += "结果文件原来的内容已移到“";
    message.Quote(outcome.old_content_path) += "”，未能移回原处。";
  }
  return message;
}

}  // namespace

JobMessage DescribeOutcome(const JobOutcome& outcome) {
  JobMessage message;
  switch (outcome.status) {
    case JobStatus::kCompleted:
      message += "处理完毕。";
      message.icon = MessageIcon::kInformation;
      return message;
    case JobStatus::kEmptyPath:
      message += "待处理文件或者结果文件名不能为空。\r\n请选择或者输入待处理文件或者结果文件。";
      return message;
    case JobStatus::kSourceUnreadable:
      return FileProblem(outcome, "无法打开待处理文件“", "”。");
    case JobStatus::kSourceReadFailed:
      return FileProblem(outcome, "读取待处理文件“", "”时出错。");
    case JobStatus::kSourceIncomplete:
      return FileProblem(outcome, "待处理文件“", "”是 UTF-16 文本，但长度为奇数，最后一个字符不完整。");
    case JobStatus::kMixedEncodings: {
      message += "待处理文件“";
      message.Quote(outcome.path) += std::string("”的编码（") + EncodingName(outcome.encoding) + "）与“";
      message.Quote(outcome.other_path) +=
          std::string("”的编码（") + EncodingName(outcome.other_encoding) + "）不同，不能合并到同一个结果文件中。\r\n";
      message += ResultLine(outcome.result_left);
      return message;
    }
    case JobStatus::kResultUnwritable:
      return FileProblem(outcome, "无法写入结果文件“", "”。");
    case JobStatus::kScratchUnwritable:
      return FileProblem(outcome, "无法写入临时文件夹“", "”中的临时文件。");
    case JobStatus::kOutOfMemory:
      message += std::string("内存不足，无法完成处理。\r\n") + ResultLine(outcome.result_left);
      return message;
  }
  return message;
}

}  // namespace lexset
