//===- WordSort.cpp - Sorting words by radix, eight bytes at a time -----===//
//
// A most-significant-digit radix sort that looks at eight bytes at a time:
// entries are ordered by their cached key with an in-place byte radix sort;
// each run of equal keys is then split into the words that end within those
// eight bytes (prefixes of the rest, so ordered by size) and the words that
// go on, which get their next eight bytes as key and are sorted the same
// way. Runs wait on an explicit work list, so words with very long common
// prefixes cannot exhaust the stack.
//
//===----------------------------------------------------------------------===//
#include "core/WordSort.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace lexset {
namespace {

// Below this size a comparison sort beats another radix pass.
constexpr std::size_t kSmallRun = 32;

void InsertionSortByKey(SortEntry* a, std::size_t n) {
  for (std::size_t i = 1; i < n; ++i) {
    const SortEntry x = a[i];
    std::size_t j = i;
    for (; j > 0 && a[j - 1].key > x.key; --j) a[j] = a[j - 1];
    a[j] = x;
  }
}

// Orders entries by key, one byte of the key at a time from `shift` down.
void SortByKey(SortEntry* a, std::size_t n, int shift) {
  for (;;) {
    if (n < kSmallRun) {
      InsertionSortByKey(a, n);
      return;
    }
    std::size_t count[256] = {};
    for (std::size_t i = 0; i < n; ++i) ++count[(a[i].key >> shift) & 0xFF];
    // All entries share this byte: go straight on to the next.
    if (count[(a[0].key >> shift) & 0xFF] == n) {
      if (shift == 0) return;
      shift -= 8;
      continue;
    }

    std::size_t next[256];
    std::size_t end[256];
    std::size_t sum = 0;
    for (int b = 0; b < 256; ++b) {
      next[b] = sum;
      sum += count[b];
      end[b] = sum;
    }
    for (int b = 0; b < 256; ++b) {
      while (next[b] < end[b]) {
        SortEntry x = a[next[b]];
        int digit = (x.key >> shift) & 0xFF;
        while (digit != b) {
          std::swap(x, a[next[digit]++]);
          digit = (x.key >> shift) & 0xFF;
        }
        a[next[b]++] = x;
      }
    }
    if (shift == 0) return;
    std::size_t begin = 0;
    for (int b = 0; b < 256; ++b) {
      if (count[b] > 1) SortByKey(a + begin, count[b], shift - 8);
      begin += count[b];
    }
    return;
  }
}

struct Run {
  SortEntry* begin;
  std::size_t count;
  std::size_t depth;  // bytes all words of the run share; keys are taken from here
};

}  // namespace

void SortEntries(SortEntry* entries, std::size_t count, const WordLookup& words, unsigned shared) {
  std::vector<Run> work;
  work.push_back(Run{entries, count, 0});
  int first_shift = 56 - 8 * static_cast<int>(shared < 8 ? shared : 7);

  while (!work.empty()) {
    const Run run = work.back();
    work.pop_back();

    if (run.count < kSmallRun) {
      std::sort(run.begin, run.begin + run.count, [&words](const SortEntry& a, const SortEntry& b) {
        if (a.key != b.key) return a.key < b.key;
        return words.WordAt(a.pos) < words.WordAt(b.pos);
      });
      continue;
    }

    SortByKey(run.begin, run.count, first_shift);
    first_shift = 56;

    const std::size_t next_depth = run.depth + 8;
    SortEntry* const stop = run.begin + run.count;
    for (SortEntry* group = run.begin; group < stop;) {
      SortEntry* group_end = group + 1;
      while (group_end < stop && group_end->key == group->key) ++group_end;
      if (group_end - group > 1) {
        // Words that end within the key are prefixes of the others in the
        // group, so shorter ones come first; at most eight, one per size.
        SortEntry* goes_on = std::partition(group, group_end, [&](const SortEntry& e) { return e.size <= next_depth; });
        std::sort(group, goes_on, [](const SortEntry& a, const SortEntry& b) { return a.size < b.size; });
        if (group_end - goes_on > 1) {
          for (SortEntry* e = goes_on; e < group_end; ++e) e->key = KeyAt(words.WordAt(e->pos), next_depth);
          work.push_back(Run{goes_on, static_cast<std::size_t>(group_end - goes_on), next_depth});
        }
      }
      group = group_end;
    }
  }
}

void SortCachedEntries(SortEntry* entries, SortEntry* scratch, std::size_t count, const WordLookup& words) {
  if (count < kSmallRun) {
    SortEntries(entries, count, words);
    return;
  }
  // Counts of every byte of the key, in one pass. A piece holds fewer than
  // 2^32 entries.
  std::uint32_t counts[8][256] = {};
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t key = entries[i].key;
    for (unsigned b = 0; b < 8; ++b) ++counts[b][(key >> (8 * b)) & 0xFF];
  }
  SortEntry* from = entries;
  SortEntry* to = scratch;
  for (unsigned b = 0; b < 8; ++b) {
    std::uint32_t* count_of = counts[b];
    const unsigned shift = 8 * b;
    // A byte that all keys share orders nothing.
    if (count_of[(from[0].key >> shift) & 0xFF] == count) continue;
    std::uint32_t next = 0;
    for (unsigned d = 0; d < 256; ++d) {
      const std::uint32_t n = count_of[d];
      count_of[d] = next;
      next += n;
    }
    for (std::size_t i = 0; i < count; ++i) to[count_of[(from[i].key >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != entries) std::copy(from, from + count, entries);
  // Words alike in their first eight bytes go on by their next ones.
  for (std::size_t i = 0; i < count;) {
    std::size_t j = i + 1;
    while (j < count && entries[j].key == entries[i].key) ++j;
    if (j - i > 1) SortEntries(entries + i, j - i, words, 8);
    i = j;
  }
}

}  // namespace lexset
