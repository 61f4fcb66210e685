//===- TemporaryName.h - Unique names for the program's temporary files --===//
#pragma once

#include <string>

namespace lexset {

// A name not likely to exist yet: kTemporaryFilePrefix, 16 hex digits that
// differ from call to call and between processes, and `suffix`. Callers still
// create the file exclusively and try another name if it exists.
std::string NewTemporaryName(const char* suffix);

// Whether `name` is one NewTemporaryName makes that a run may leave behind
// and another may remove: with the suffix ".tmp" (a result being written,
// by a run killed part-way), ".run" (intermediate words) or ".old" (a
// replaced result's old content that could not be deleted at once). A
// ".bak" name (a result's old content while it is replaced) is not: it may
// be the only copy.
bool IsLeftoverName(const std::string& name);

}  // namespace lexset
