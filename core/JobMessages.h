//===- JobMessages.h - What the user is told about a job -----------------===//
//
// The texts are compiled in the program's ANSI code page: code page 936 in
// the Windows builds, UTF-8 in the native one.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include "core/TidyJob.h"

namespace lexset {

// The caption of every message box of the program.
extern const char kMessageCaption[];

// How messages name the standard input and output, when a path of "-"
// stands for them.
extern const char kStandardInputName[];
extern const char kStandardOutputName[];

// Message box icons, as the style bits of the system's message box.
enum class MessageIcon : unsigned {
  kExclamation = 0x30,
  kInformation = 0x40,
};

struct JobMessage {
  std::string text;  // lines separated by CR LF
  MessageIcon icon;
};

JobMessage DescribeOutcome(const JobOutcome& outcome);

}  // namespace lexset
