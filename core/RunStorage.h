//===- RunStorage.h - Where a job keeps words that do not fit in memory --===//
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/ByteStreams.h"

namespace lexset {

class RunStorage {
 public:
  virtual ~RunStorage() = default;
  // A new, empty run file, or null if none can be made (error() says why).
  virtual std::unique_ptr<RunFile> Create() = 0;
  virtual const std::string& error() const = 0;
  // How many of its files may be open at once.
  static constexpr std::size_t kDefaultOpenAtOnce = 64;
  virtual std::size_t OpenAtOnce() const { return kDefaultOpenAtOnce; }
};

}  // namespace lexset
