//===- OrderedProfiles.h - Lists in order, or nearly, for lexset-corpus --===//
//
// The profiles made of the sorted profile's words in another arrangement:
// sorted pieces one after the other, stretches that each span the whole
// range, a sorted list with words out of place, and sorted lists dealt
// word by word into one. None keeps the words: memory stays bounded
// whatever the size.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/Corpus.h"
#include "bench/Random.h"

namespace lexset::bench {

// The sorted profile: distinct words in ascending order, one a line.
void WriteSorted(Random& random, Corpus& corpus, std::uint64_t size);

// The sorted profile's lines dealt into k pieces, line i to piece i mod k,
// the pieces one after the other. They are written side by side to
// path.1 ... path.k, then joined into the corpus, and kept if `keep`.
bool WritePieces(Random& random, Corpus& corpus, std::uint64_t size, std::size_t k, const std::string& path,
                 bool keep);

// Stretches of about `stretch` words, each in ascending order over the
// whole range, one after the other: the sorted profile's lines dealt to
// the stretches by a hash of their number (files path.1 ... path.S on the
// way, removed after joining).
bool WriteStretches(Random& random, Corpus& corpus, std::uint64_t size, std::uint64_t stretch,
                    const std::string& path);

// The sorted profile with every `every`-th word replaced by one from
// anywhere in the range.
void WriteOutliers(Random& random, Corpus& corpus, std::uint64_t size, std::uint64_t every);

// k sorted lists, each over the whole range, dealt word by word into one:
// word i comes from list i mod k.
void WriteDealt(Random& random, Corpus& corpus, std::uint64_t size, std::size_t k);

}  // namespace lexset::bench
