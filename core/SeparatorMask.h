//===- SeparatorMask.h - Which of 64 bytes separate words ----------------===//
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/ByteRules.h"

namespace lexset {

// Bit i is set when bytes[i] is a separator, for i < 64. Reads 64 bytes.
inline std::uint64_t SeparatorMask(const char* bytes) {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(0x20);
  const __m128i tab = _mm_set1_epi8(0x09);
  const __m128i four = _mm_set1_epi8(4);
  std::uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
    // 0x09..0x0D: x - 9, as an unsigned byte, is at most 4.
    const __m128i offset = _mm_sub_epi8(x, tab);
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(offset, four), offset);
    const __m128i separator = _mm_or_si128(control, _mm_cmpeq_epi8(x, space));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(separator))) << (16 * i);
  }
  return mask;
#else
  std::uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) {
    mask |= static_cast<std::uint64_t>(IsSeparator(static_cast<unsigned char>(bytes[i]))) << i;
  }
  return mask;
#endif
}

}  // namespace lexset
