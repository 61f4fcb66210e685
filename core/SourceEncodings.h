//===- SourceEncodings.h - The sources of a job agree on one encoding ----===//
#pragma once

#include <cstddef>

#include "core/TextEncoding.h"

namespace lexset {

// There is one result, so the sources must agree on its encoding; an empty
// source has no say.
class EncodingAgreement {
 public:
  // Takes the encoding of source `i`; false if an earlier one had another.
  bool Take(std::size_t i, const SourceText& text) {
    if (text.empty()) return true;
    if (!known_) {
      known_ = true;
      encoding_ = text.encoding();
      first_ = i;
    }
    return text.encoding() == encoding_;
  }
  bool known() const { return known_; }
  TextEncoding encoding() const { return encoding_; }
  std::size_t first() const { return first_; }

 private:
  bool known_ = false;
  TextEncoding encoding_ = TextEncoding::kBytes;
  std::size_t first_ = 0;
};

}  // namespace lexset
