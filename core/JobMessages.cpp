//===- JobMessages.cpp - What the user is told about a job ---------------===//
#include "core/JobMessages.h"

namespace lexset {

const char kMessageCaption[] = "QEMI词表整理工具";
const char kStandardInputName[] = "标准输入";
const char kStandardOutputName[] = "标准输出";

namespace {

// The reason line, when the system gave one.
std::string ReasonLine(const std::string& reason) { return reason.empty() ? std::string() : reason + "\r\n"; }

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

}  // namespace

JobMessage DescribeOutcome(const JobOutcome& outcome) {
  const char* const kUntouched = "结果文件未作任何改动。";
  switch (outcome.status) {
    case JobStatus::kCompleted:
      return {"处理完毕。", MessageIcon::kInformation};
    case JobStatus::kEmptyPath:
      return {"待处理文件或者结果文件名不能为空。\r\n请选择或者输入待处理文件或者结果文件。",
              MessageIcon::kExclamation};
    case JobStatus::kSourceUnreadable:
      return {"无法打开待处理文件“" + outcome.path + "”。\r\n" + ReasonLine(outcome.reason) + kUntouched,
              MessageIcon::kExclamation};
    case JobStatus::kSourceReadFailed:
      return {"读取待处理文件“" + outcome.path + "”时出错。\r\n" + ReasonLine(outcome.reason) + kUntouched,
              MessageIcon::kExclamation};
    case JobStatus::kSourceIncomplete:
      return {"待处理文件“" + outcome.path + "”是 UTF-16 文本，但长度为奇数，最后一个字符不完整。\r\n" + kUntouched,
              MessageIcon::kExclamation};
    case JobStatus::kMixedEncodings:
      return {"待处理文件“" + outcome.path + "”的编码（" + EncodingName(outcome.encoding) + "）与“" +
                  outcome.other_path + "”的编码（" + EncodingName(outcome.other_encoding) +
                  "）不同，不能合并到同一个结果文件中。\r\n" + kUntouched,
              MessageIcon::kExclamation};
    case JobStatus::kResultUnwritable:
      return {"无法写入结果文件“" + outcome.path + "”。\r\n" + ReasonLine(outcome.reason) +
                  (outcome.old_content_path.empty()
                       ? std::string(kUntouched)
                       : "结果文件原来的内容已移到“" + outcome.old_content_path + "”，未能移回原处。"),
              MessageIcon::kExclamation};
    case JobStatus::kOutOfMemory:
      return {std::string("内存不足，无法完成处理。\r\n") + kUntouched, MessageIcon::kExclamation};
  }
  return {std::string(), MessageIcon::kExclamation};
}

}  // namespace lexset
