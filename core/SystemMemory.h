//===- SystemMemory.h - How much memory a job may use by default ---------===//
#pragma once

#include <cstddef>

namespace lexset {

// The memory limit of a job's word set when none is given: in a 32-bit
// process well under its address space, which the program shares with the
// system's libraries and which fragments; in a 64-bit one half of the
// machine's memory, within bounds. Implemented per platform.
std::size_t DefaultMemoryLimit();

}  // namespace lexset
