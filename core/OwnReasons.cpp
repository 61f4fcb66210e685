//===- OwnReasons.cpp - Why a file failed, in the program's own words ----===//
#include "core/OwnReasons.h"

#include <cstring>

namespace lexset {

const char kReasonIsFolder[] = "这是一个文件夹，不是文件。";
const char kReasonIsReadOnly[] = "这是一个只读文件。";
const char kReasonNotRegularFile[] = "不是普通文件";

namespace {
constexpr char kCodePrefix[] = "错误代码 ";
}

std::string ReasonForCode(unsigned long code) { return kCodePrefix + std::to_string(code); }

// A system's text in another code page might have the same bytes only by
// a wild chance; in code page 936 itself it would read the same anyway.
bool IsOwnReason(const std::string& reason) {
  if (reason == kReasonIsFolder || reason == kReasonIsReadOnly || reason == kReasonNotRegularFile) return true;
  const std::size_t prefix = std::strlen(kCodePrefix);
  return reason.size() > prefix && reason.compare(0, prefix, kCodePrefix) == 0 &&
         reason.find_first_not_of("0123456789", prefix) == std::string::npos;
}

}  // namespace lexset
