//===- SystemMemory.h - What the job asks of the system's memory ---------===//
#pragma once

#include <cstddef>

namespace lexset {

// The memory limit of a job's word set when none is given: in a 32-bit
// process well under its address space, which the program shares with the
// system's libraries and which fragments; in a 64-bit one half of the
// machine's memory, within bounds. Implemented per platform.
std::size_t DefaultMemoryLimit();

// Asks the system to back a large block, just allocated and not yet
// written, with large pages where it can: far fewer page faults while it
// fills, and far fewer TLB misses when it is read at random. A hint only;
// does nothing where there is no such thing.
void PreferLargePages(void* data, std::size_t size);

// Asks the heap to give a large block back to the system as soon as it is
// freed, rather than keep it for later requests, so that what the process
// holds follows what the job holds and a memory limit holds for the process.
// Does nothing where the heap does so already.
void ReturnLargeBlocksWhenFreed();

// The size the blocks of stored words grow to: large enough to hold large
// pages, small enough to waste little of a memory limit.
constexpr std::size_t kLargeBlockSize = std::size_t{16} << 20;

}  // namespace lexset
