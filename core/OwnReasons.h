//===- OwnReasons.h - Why a file failed, in the program's own words ------===//
//
// A file's error() is the system's description, in the system's code page,
// but for the few cases where the program says itself what is wrong. Those
// are in the program's code page (936 in the Windows builds), and a
// message shows them as its own words, whatever the system's code page.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

namespace lexset {

extern const char kReasonIsFolder[];      // a folder where a file was wanted
extern const char kReasonIsReadOnly[];    // a read-only result
extern const char kReasonNotRegularFile[];  // a device, pipe or socket as the result

// The reason for a failure that the system cannot describe: its code.
std::string ReasonForCode(unsigned long code);

// Whether `reason` is one of the above rather than the system's.
bool IsOwnReason(const std::string& reason);

}  // namespace lexset
