//===- ShuffledCorpus.h - The same words in a random order ---------------===//
#pragma once

#include <cstdint>

namespace lexset::bench {

// Rewrites the corpus at `path` with its words in a random order drawn
// from `seed`: the same words, each as many times, and the separators
// where they were (the k-th word of the result is followed by what
// followed the k-th word before), so the file keeps its size. Holds the
// file and one offset a word in memory. False, with a message, on failure.
bool ShuffleCorpus(const char* path, std::uint64_t seed);

}  // namespace lexset::bench
