//===- LongPathsWin32.h - Paths for the wide functions of Windows --------===//
//
// Paths are ANSI strings. The user's paths are limited to MAX_PATH, as for
// the A functions; the program's own files beside the result have longer
// names, so every path goes to the W functions in full, with the "\\?\"
// prefix that lifts that limit.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <windows.h>

#include <string>

namespace lexset {

// The folder part of `path`, up to and including its last separator. A
// second byte of a double-byte character may look like '\' and is skipped.
std::string FolderOf(const std::string& path);

// The ANSI path in UTF-16, converted as the A functions convert it.
std::wstring WidenPath(const std::string& path);

// `path` made full: resolved against the current folder (of its drive),
// "/" turned into "\", "." and ".." removed, as the system does for a path
// without the prefix. A path with the prefix is taken as it is. Returns a
// system error code.
DWORD FullPath(const std::string& path, std::wstring* full);

// A path the user gave, for the W functions. Longer than MAX_PATH allows,
// it is refused as the A functions refuse it. Returns a system error code.
DWORD UserPath(const std::string& path, std::wstring* system_path);

// A file named `name` in `folder` (as ReplacementFile::folder() gives it),
// for the W functions.
std::wstring InFolder(const std::string& folder, const std::string& name);

}  // namespace lexset
