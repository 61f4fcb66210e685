//===- TargetTest.cpp - The build is of the width its target has ---------===//
//
// The 32-bit builds (the product, host32) exist to run the core where size_t
// and pointers are 32 bits; one that came out 64-bit would pass every other
// test while testing nothing of the kind. The width expected comes from the
// processor the build names (tests/CMakeLists.txt), not from the compiler.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <cstddef>

namespace lexset::test {
namespace {

TEST(TargetTest, SizesAndPointersHaveTheTargetsWidth) {
  if (LEXSET_TARGET_POINTER_BYTES == 0) GTEST_SKIP() << "no width is known for this build's processor";
  EXPECT_EQ(sizeof(std::size_t), std::size_t{LEXSET_TARGET_POINTER_BYTES});
  EXPECT_EQ(sizeof(void*), std::size_t{LEXSET_TARGET_POINTER_BYTES});
}

}  // namespace
}  // namespace lexset::test
