//===- ShuffledCorpus.cpp - The same words in a random order -------------===//
#include "bench/ShuffledCorpus.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/Corpus.h"
#include "bench/Random.h"

namespace lexset::bench {

namespace {

bool ReadWhole(const char* path, std::string& data) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    data.resize(static_cast<std::size_t>(size));
    ok = std::fread(&data[0], 1, data.size(), file) == data.size();
  }
  return std::fclose(file) == 0 && ok;
}

std::size_t WordEnd(const std::string& data, std::size_t at) {
  while (at < data.size() && !IsSeparator(static_cast<unsigned char>(data[at]))) ++at;
  return at;
}

std::size_t SeparatorsEnd(const std::string& data, std::size_t at) {
  while (at < data.size() && IsSeparator(static_cast<unsigned char>(data[at]))) ++at;
  return at;
}

// Offset is the narrowest type that holds every offset into the file.
template <typename Offset>
bool Shuffle(const char* path, std::uint64_t seed, const std::string& data) {
  std::vector<Offset> starts;
  for (std::size_t at = SeparatorsEnd(data, 0); at < data.size(); at = SeparatorsEnd(data, WordEnd(data, at)))
    starts.push_back(static_cast<Offset>(at));
  Random random(seed);
  for (std::size_t i = starts.size(); i > 1; --i) std::swap(starts[i - 1], starts[random.Below(i)]);

  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = true;
  std::string out;
  out.reserve(Corpus::kBufferSize + 64);
  // `at` walks the words in their old order, for the separators after each.
  std::size_t at = SeparatorsEnd(data, 0);
  out.append(data, 0, at);
  for (const Offset start : starts) {
    out.append(data, start, WordEnd(data, start) - start);
    const std::size_t separators = WordEnd(data, at);
    at = SeparatorsEnd(data, separators);
    out.append(data, separators, at - separators);
    if (out.size() >= Corpus::kBufferSize) {
      ok = std::fwrite(out.data(), 1, out.size(), file) == out.size() && ok;
      out.clear();
    }
  }
  ok = std::fwrite(out.data(), 1, out.size(), file) == out.size() && ok;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

bool ShuffleCorpus(const char* path, std::uint64_t seed) {
  std::string data;
  if (!ReadWhole(path, data)) {
    std::fprintf(stderr, "lexset-corpus: cannot read %s back to shuffle it: %s\n", path, std::strerror(errno));
    return false;
  }
  // A seed of its own, so that the order owes nothing to the words' draws.
  const std::uint64_t order_seed = seed ^ 0x53485546464c4544ULL;
  const bool ok = data.size() <= UINT32_MAX ? Shuffle<std::uint32_t>(path, order_seed, data)
                                            : Shuffle<std::uint64_t>(path, order_seed, data);
  if (!ok) std::fprintf(stderr, "lexset-corpus: cannot write %s shuffled: %s\n", path, std::strerror(errno));
  return ok;
}

}  // namespace lexset::bench
