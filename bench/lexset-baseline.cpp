//===- lexset-baseline.cpp - The word-list job done the obvious way ------===//
//
// lexset-baseline SOURCE RESULT
//
// A deliberately simple peer for the benchmark, written without any of
// lexset's code: read the source in binary, split it on space, tab, LF, VT,
// FF and CR, stop at the first 0x1A, keep the words in a std::set and write
// each one followed by CR LF. Unlike lexset it writes the result in place
// and does not flush it to disk.
//
// Exit status: 0 done, 1 empty path, 2 a file could not be read or written.
//
//===----------------------------------------------------------------------===//
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lexset-baseline SOURCE RESULT\n");
    return 2;
  }
  const std::string source = argv[1], result = argv[2];
  if (source.empty() || result.empty()) {
    std::fprintf(stderr, "lexset-baseline: empty path\n");
    return 1;
  }

  std::ifstream in(source, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "lexset-baseline: cannot open %s\n", source.c_str());
    return 2;
  }
  std::set<std::string> words;
  std::string word;
  static char block[1 << 16];
  bool at_end_of_text = false;
  while (!at_end_of_text && in) {
    in.read(block, sizeof block);
    const std::streamsize got = in.gcount();
    for (std::streamsize i = 0; i < got; ++i) {
      const char c = block[i];
      if (c == '\x1A') {
        at_end_of_text = true;
        break;
      }
      if (!IsSeparator(c)) {
        word.push_back(c);
      } else if (!word.empty()) {
        words.insert(word);
        word.clear();
      }
    }
  }
  if (in.bad()) {
    std::fprintf(stderr, "lexset-baseline: cannot read %s\n", source.c_str());
    return 2;
  }
  if (!word.empty()) words.insert(word);

  // std::string compares as unsigned char (char_traits<char>::compare uses
  // memcmp semantics), so the set's order is ascending byte order.
  std::ofstream out(result, std::ios::binary | std::ios::trunc);
  for (const std::string& w : words) out << w << "\r\n";
  out.close();
  if (!out) {
    std::fprintf(stderr, "lexset-baseline: cannot write %s\n", result.c_str());
    return 2;
  }
  return 0;
}
