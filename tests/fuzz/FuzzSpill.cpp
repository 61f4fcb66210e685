//===- FuzzSpill.cpp - Fuzzes the job through run files ------------------===//
//
// The first two bytes of the input choose a memory limit of a few hundred
// bytes to about 16 KB; the rest is the source, also read after each
// byte-order mark.
//
//===----------------------------------------------------------------------===//
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/FuzzCase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = lexset::fuzz::DecodeSpillCase(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string& source : lexset::fuzz::MarkedSources(input.source)) {
    int runs_left_open = 0;
    lexset::SpillStats stats;
    const std::string result = lexset::fuzz::SpillResult({input.memory_limit, source, input.stretch_from}, &runs_left_open, &stats);
    if (result != lexset::test::ReferenceTidy(source)) {
      std::fprintf(stderr,
                   "with a memory limit of %zu bytes and %zu runs, the job's result differs from the reference\n",
                   input.memory_limit, stats.runs_written);
      std::abort();
    }
    if (runs_left_open != 0) {
      std::fprintf(stderr, "%d run files were left open\n", runs_left_open);
      std::abort();
    }
  }
  return 0;
}
