//===- FuzzJob.cpp - Fuzzes the job: the input is a source file ----------===//
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/FuzzCase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const std::string& source :
       lexset::fuzz::MarkedSources(std::string_view(reinterpret_cast<const char*>(data), size))) {
    const std::string expected = lexset::test::ReferenceTidy(source);
    for (const std::string& result : lexset::fuzz::JobResults(source)) {
      if (result != expected) {
        std::fprintf(stderr, "the job's result differs from the reference (%zu bytes against %zu)\n", result.size(),
                     expected.size());
        std::abort();
      }
    }
  }
  return 0;
}
