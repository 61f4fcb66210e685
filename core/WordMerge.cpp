//===- WordMerge.cpp - Merging sorted lists of words, repeats dropped -----===//
#include "core/WordMerge.h"

#include <cstring>
#include <memory>
#include <utility>

namespace lexset {

namespace {

class LoserTree {
 public:
  explicit LoserTree(const std::vector<MergeInput*>& inputs) : inputs_(inputs) {
    leaves_ = 1;
    while (leaves_ < inputs.size()) leaves_ *= 2;
    leaf_.reset(new Leaf[leaves_]);
    loser_.reset(new std::size_t[leaves_]());
  }

  // Bytes compared between words of different inputs.
  std::uint64_t compared() const { return compared_; }

  // Reads every input's first word and plays the first games. Returns false
  // if an input failed.
  bool Start() {
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
      leaf_[i].live = inputs_[i]->Next(&leaf_[i].at);
      if (!leaf_[i].live && inputs_[i]->failed()) return false;
    }
    // Each node plays the winners of its two halves; nothing is known of how
    // they compare yet.
    std::vector<std::size_t> winner(2 * leaves_);
    for (std::size_t i = 0; i < leaves_; ++i) winner[leaves_ + i] = i;
    for (std::size_t node = leaves_ - 1; node >= 1; --node) {
      std::size_t a = winner[2 * node];
      std::size_t b = winner[2 * node + 1];
      leaf_[a].at.shared = leaf_[b].at.shared = 0;
      if (!Beats(leaf_[a], leaf_[b], compared_)) std::swap(a, b);
      winner[node] = a;
      loser_[node] = b;
    }
    winner_ = winner[1];
    return true;
  }

  // Writes the words in order.
  MergeResult Run(LineWriter& out) {
    bool have_last = false;
    std::size_t last_size = 0;
    std::size_t previous = leaves_;  // the input of the word before
    for (;;) {
      const std::size_t w = winner_;
      Leaf& leaf = leaf_[w];
      if (!leaf.live) return MergeResult::kDone;
      // The winner shares `shared` bytes with the word before it, which
      // makes it a repeat when that is all of both.
      const std::string_view word = leaf.at.word;
      if (!have_last || leaf.at.shared != last_size || word.size() != last_size) {
        if (!out.PutLine(word)) return MergeResult::kOutputFailed;
        have_last = true;
        last_size = word.size();
      }
      // The second word in a row from one input: its words up to the best
      // word of the others go out as they are, without a game each.
      const std::size_t rival = w == previous ? RunnerUp(w) : kUnknown;
      if (rival != kUnknown) {
        const std::string_view bound = rival < leaves_ ? leaf_[rival].at.word : std::string_view();
        std::string_view last;
        const Copied copied = inputs_[w]->CopyBelow(rival < leaves_ ? &bound : nullptr, out, &leaf.at, &last);
        if (copied == Copied::kInputFailed) return MergeResult::kInputFailed;
        if (copied == Copied::kOutputFailed) return MergeResult::kOutputFailed;
        if (copied != Copied::kCannot) {
          leaf.live = copied == Copied::kStopped;
          last_size = last.size();
          // The words waiting on the way up now meet a later word.
          for (std::size_t node = (leaves_ + w) / 2; node >= 1; node /= 2) {
            Leaf& waiting = leaf_[loser_[node]];
            if (waiting.live) waiting.at.shared = SharedBytes(waiting.at.word, last);
          }
          Replay(w);
          previous = leaves_;
          continue;
        }
      }
      previous = w;
      leaf.live = inputs_[w]->Next(&leaf.at);
      if (!leaf.live && inputs_[w]->failed()) return MergeResult::kInputFailed;
      Replay(w);
    }
  }

 private:
  struct Leaf {
    // The input's word, and its bytes in common with the word that beat it
    // (for the winner, with the last word written).
    MergeWord at;
    bool live = false;
  };

  // Whether `a` wins against `b`: its word is less, or the same. Both
  // counts of shared bytes are against the same word, not after either, so
  // where they differ the word that goes on with it longer is the less. The
  // loser's count becomes its bytes in common with the winner.
  static bool Beats(Leaf& a, Leaf& b, std::uint64_t& compared) {
    if (!b.live) return true;
    if (!a.live) return false;
    if (a.at.shared != b.at.shared) return a.at.shared > b.at.shared;
    const std::string_view x = a.at.word;
    const std::string_view y = b.at.word;
    const std::size_t same = SharedBytes(x, y, a.at.shared);
    compared += same - a.at.shared + 1;
    bool a_less;
    if (same == x.size() || same == y.size()) {
      a_less = x.size() <= y.size();
    } else {
      a_less = static_cast<unsigned char>(x[same]) < static_cast<unsigned char>(y[same]);
    }
    (a_less ? b : a).at.shared = same;
    return a_less;
  }

  // The leaf of the least word but the winner's: the best of those that
  // lost to the winner on its way up. Each shares with the winner as many
  // bytes as it knows; the one that shares most is the least, and where two
  // share as many, their next bytes tell. Those are not kept, so only a few
  // are looked at: returns leaves_ if there is no other word, kUnknown if a
  // few bytes do not tell.
  static constexpr std::size_t kUnknown = ~std::size_t{0};
  std::size_t RunnerUp(std::size_t w) const {
    std::size_t best = leaves_;
    for (std::size_t node = (leaves_ + w) / 2; node >= 1; node /= 2) {
      const std::size_t l = loser_[node];
      if (!leaf_[l].live) continue;
      if (best == leaves_) {
        best = l;
        continue;
      }
      const MergeWord& a = leaf_[l].at;
      const MergeWord& b = leaf_[best].at;
      if (a.shared != b.shared) {
        if (a.shared > b.shared) best = l;
        continue;
      }
      constexpr std::size_t kLook = 64;
      const std::size_t look = a.shared + kLook;
      const std::size_t same = SharedBytes(a.word.substr(0, look), b.word.substr(0, look), a.shared);
      if (same == look) return kUnknown;
      const bool a_less = same == a.word.size() || same == b.word.size()
                              ? a.word.size() < b.word.size()
                              : static_cast<unsigned char>(a.word[same]) < static_cast<unsigned char>(b.word[same]);
      if (a_less) best = l;
    }
    return best;
  }

  // Plays the games from leaf `w`, whose input has moved on, to the top.
  void Replay(std::size_t w) {
    Leaf* const leaf = leaf_.get();
    std::size_t* const loser = loser_.get();
    std::uint64_t compared = 0;
    std::size_t up = w;
    for (std::size_t node = (leaves_ + w) / 2; node >= 1; node /= 2) {
      const std::size_t waiting = loser[node];
      if (!Beats(leaf[up], leaf[waiting], compared)) {
        loser[node] = up;
        up = waiting;
      }
    }
    winner_ = up;
    compared_ += compared;
  }

  const std::vector<MergeInput*>& inputs_;
  std::uint64_t compared_ = 0;
  std::size_t leaves_;
  std::unique_ptr<Leaf[]> leaf_;
  std::unique_ptr<std::size_t[]> loser_;  // by inner node, 1 to leaves_ - 1
  std::size_t winner_ = 0;
};

}  // namespace

MergeResult MergeWords(const std::vector<MergeInput*>& inputs, LineWriter& out, std::uint64_t* compared) {
  if (inputs.empty()) return MergeResult::kDone;
  LoserTree tree(inputs);
  const MergeResult result = tree.Start() ? tree.Run(out) : MergeResult::kInputFailed;
  *compared += tree.compared();
  return result;
}

}  // namespace lexset
