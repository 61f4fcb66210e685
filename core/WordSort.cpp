//===- WordSort.cpp - Sorting distinct words held in an arena ------------===//
//
// A most-significant-digit radix sort that looks at four bytes at a time:
// entries are ordered by their cached key with an in-place byte radix sort;
// each run of equal keys is then split into the words that end within those
// four bytes (prefixes of the rest, ordered by length) and the words that go
// on, which get the next four bytes as their key and are sorted the same way.
// Runs are kept on an explicit work list, so words with very long common
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
constexpr std::size_t kSmallRun = 24;

void InsertionSortByKey(WordEntry* a, std::size_t n) {
  for (std::size_t i = 1; i < n; ++i) {
    const WordEntry x = a[i];
    std::size_t j = i;
    for (; j > 0 && a[j - 1].key > x.key; --j) a[j] = a[j - 1];
    a[j] = x;
  }
}

// Orders entries by key, one byte of the key at a time from `shift` down.
void SortByKey(WordEntry* a, std::size_t n, int shift) {
  if (n < kSmallRun) {
    InsertionSortByKey(a, n);
    return;
  }
  std::size_t count[256] = {};
  for (std::size_t i = 0; i < n; ++i) ++count[(a[i].key >> shift) & 0xFF];

  std::size_t next[256];
  std::size_t end[256];
  std::size_t sum = 0;
  for (int b = 0; b < 256; ++b) {
    next[b] = sum;
    sum += count[b];
    end[b] = sum;
  }
  // One byte value throughout: nothing to move at this byte.
  const bool single = count[(a[0].key >> shift) & 0xFF] == n;
  if (!single) {
    for (int b = 0; b < 256; ++b) {
      while (next[b] < end[b]) {
        WordEntry x = a[next[b]];
        int digit = (x.key >> shift) & 0xFF;
        while (digit != b) {
          std::swap(x, a[next[digit]++]);
          digit = (x.key >> shift) & 0xFF;
        }
        a[next[b]++] = x;
      }
    }
  }
  if (shift == 0) return;
  std::size_t begin = 0;
  for (int b = 0; b < 256; ++b) {
    if (count[b] > 1) SortByKey(a + begin, count[b], shift - 8);
    begin += count[b];
  }
}

struct Run {
  WordEntry* begin;
  std::size_t count;
  std::size_t depth;  // bytes all words of the run share; keys are taken from here
};

}  // namespace

void SortWordEntries(WordEntry* entries, std::size_t count, const WordArena& arena) {
  std::vector<Run> work;
  work.push_back(Run{entries, count, 0});

  while (!work.empty()) {
    const Run run = work.back();
    work.pop_back();

    if (run.count < kSmallRun) {
      std::sort(run.begin, run.begin + run.count, [&arena](const WordEntry& a, const WordEntry& b) {
        if (a.key != b.key) return a.key < b.key;
        return arena.WordAt(a.pos) < arena.WordAt(b.pos);
      });
      continue;
    }

    SortByKey(run.begin, run.count, 24);

    const std::size_t next_depth = run.depth + 4;
    WordEntry* const stop = run.begin + run.count;
    for (WordEntry* group = run.begin; group < stop;) {
      WordEntry* group_end = group + 1;
      while (group_end < stop && group_end->key == group->key) ++group_end;
      if (group_end - group > 1) {
        // Words that end within the key are prefixes of the others in the
        // group; at most four of them (one per length), shortest first.
        WordEntry* goes_on = std::partition(group, group_end, [&](const WordEntry& e) {
          return arena.WordAt(e.pos).size() <= next_depth;
        });
        std::sort(group, goes_on, [&arena](const WordEntry& a, const WordEntry& b) {
          return arena.WordAt(a.pos).size() < arena.WordAt(b.pos).size();
        });
        if (group_end - goes_on > 1) {
          for (WordEntry* e = goes_on; e < group_end; ++e) e->key = KeyAt(arena.WordAt(e->pos), next_depth);
          work.push_back(Run{goes_on, static_cast<std::size_t>(group_end - goes_on), next_depth});
        }
      }
      group = group_end;
    }
  }
}

}  // namespace lexset
