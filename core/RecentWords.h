//===- RecentWords.h - A small cache of words known to be in the set -----===//
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace lexset {

// Words of up to 16 bytes that the set holds, in a direct-mapped table keyed
// by their bytes: a word seen recently is found with a few loads and
// compares, without hashing it or touching the set's table and arena. An
// entry is only ever a copy of a stored word, so a hit is always right; a
// miss says nothing.
//
// It pays only where a few words make up nearly all of the list. The cache
// keeps count of its hits and stands aside for a while when they are fewer.
class RecentWords {
 public:
  static constexpr std::size_t kMaxSize = 16;

  RecentWords() = default;

  // The key of a word of at most kMaxSize bytes, read without going past
  // its end: overlapping loads, which with the size determine the word.
  struct Key {
    std::uint64_t low;
    std::uint64_t high;
    std::uint32_t size;
  };
  static Key KeyOf(std::string_view word) {
    const char* p = word.data();
    const std::size_t n = word.size();
    Key key{0, 0, static_cast<std::uint32_t>(n)};
    if (n >= 8) {
      std::memcpy(&key.low, p, 8);
      std::memcpy(&key.high, p + n - 8, 8);
    } else if (n >= 4) {
      std::uint32_t a, b;
      std::memcpy(&a, p, 4);
      std::memcpy(&b, p + n - 4, 4);
      key.low = a | (std::uint64_t{b} << 32);
    } else {
      const auto* u = reinterpret_cast<const unsigned char*>(p);
      key.low = u[0] | (std::uint64_t{u[n / 2]} << 8) | (std::uint64_t{u[n - 1]} << 16);
    }
    return key;
  }

  bool Contains(const Key& key) const {
    const Entry& e = entries_[SlotOf(key)];
    return e.size == key.size && e.low == key.low && e.high == key.high;
  }
  void Add(const Key& key) {
    Entry& e = entries_[SlotOf(key)];
    e.low = key.low;
    e.high = key.high;
    e.size = key.size;
  }
  void Clear() {
    entries_.reset();
    tried_ = hits_ = 0;
    resting_ = kTrial;
  }

  // Whether to look the next `count` words up. Short lists never do: the
  // cache is made for the first trial, after as many words as a trial takes.
  bool Worthwhile(std::size_t count) {
    if (resting_ > 0) {
      resting_ = resting_ > count ? resting_ - count : 0;
      return false;
    }
    if (!entries_) entries_.reset(new Entry[kEntries]());
    tried_ += count;
    if (tried_ >= kTrial) {
      // Fewer than four words in five found: rest, then try again.
      if (hits_ < tried_ - tried_ / 5) resting_ = kRest;
      tried_ = hits_ = 0;
    }
    return true;
  }
  void CountHits(std::size_t hits) { hits_ += hits; }

 private:
  static constexpr unsigned kBits = 14;
  static constexpr std::size_t kEntries = std::size_t{1} << kBits;

  // Empty entries have size 0, which no word has.
  struct Entry {
    std::uint64_t low;
    std::uint64_t high;
    std::uint32_t size;
  };

  static std::size_t SlotOf(const Key& key) {
    const std::uint64_t h = (key.low * 0x9E3779B97F4A7C15ull) ^ (key.high * 0xC2B2AE3D27D4EB4Full) ^ key.size;
    return static_cast<std::size_t>((h ^ (h >> 29)) * 0xBF58476D1CE4E5B9ull >> (64 - kBits));
  }

  static constexpr std::size_t kTrial = std::size_t{1} << 16;  // words looked up before judging
  static constexpr std::size_t kRest = std::size_t{1} << 24;   // words not looked up after a poor trial

  std::unique_ptr<Entry[]> entries_;
  std::size_t tried_ = 0;
  std::size_t hits_ = 0;
  std::size_t resting_ = kTrial;
};

}  // namespace lexset
