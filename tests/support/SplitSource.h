// A byte source that hands out its text in reads of chosen sizes, for the tests and the fuzz
// target of the stream decoders: every way of cutting the input must decode alike.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/Base64.h"

namespace lorvex::support {

// Reads of the given sizes in turn, starting again after the last; a size of 0, or no sizes
// at all, stands for "as much as fits".
class SplitSource final : public ByteSource {
 public:
  SplitSource(std::string_view text, std::vector<size_t> sizes)
      : rest_(text), sizes_(std::move(sizes)) {}
  size_t Read(char* buffer, size_t capacity) override {
    size_t n = std::min(capacity, rest_.size());
    if (!sizes_.empty()) {
      const size_t size = sizes_[next_++ % sizes_.size()];
      if (size != 0) n = std::min(n, size);
    }
    rest_.copy(buffer, n);
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
  std::vector<size_t> sizes_;
  size_t next_ = 0;
};

}  // namespace lorvex::support
