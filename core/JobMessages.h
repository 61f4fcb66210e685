//===- JobMessages.h - What the user is told about a job -----------------===//
//
// The texts are compiled in the program's code page: code page 936 in the
// Windows builds, whatever the system's ANSI code page, UTF-8 in the native
// one. The paths and the system's reasons that a message quotes are in the
// system's code page, as the system gave them; a message keeps where they
// are, so that each part can be shown from its own code page. A reason the
// program gives itself is its own words.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

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

// A text for the user: the program's own words, and what it quotes.
struct MessageText {
  MessageText() = default;
  MessageText(std::string words) : text(std::move(words)) {}  // NOLINT: a text of the program's own words
  MessageText(const char* words) : text(words) {}             // NOLINT

  MessageText& operator+=(const std::string& words) {
    text += words;
    return *this;
  }
  // Appends a path, a reason or anything else the system or the user named.
  MessageText& Quote(const std::string& named);
  // Appends why a file failed: quoted if the system said it, as the
  // program's own words if the program did (core/OwnReasons.h).
  MessageText& Reason(const std::string& reason);

  std::string text;  // lines separated by CR LF
  // Where `text` quotes the system: offset and length of each part.
  std::vector<std::pair<std::size_t, std::size_t>> quoted;
};

struct JobMessage : MessageText {
  MessageIcon icon = MessageIcon::kExclamation;
};

JobMessage DescribeOutcome(const JobOutcome& outcome);

}  // namespace lexset
