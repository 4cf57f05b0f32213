// Builds a RowDigest (data_access.h) one row at a time: each row's values are hashed (FNV-1a
// over what the caller feeds: a kind byte, then the value's bytes), the row's hash is spread
// over all 64 bits (splitmix64's finaliser) and summed, so the digest does not depend on the
// order of the rows. Both the server's own digests and those read through recordsets are built
// here, so that the same rows fed the same way give the same digest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/data_access.h"

namespace msu::data {

class RowDigestBuilder {
 public:
  explicit RowDigestBuilder(int fields) { digest_.fields = fields; }

  void BeginRow() { hash_ = kOffsetBasis; }
  void Feed(const void* bytes, size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i) {
      hash_ ^= p[i];
      hash_ *= kPrime;
    }
  }
  void EndRow() {
    uint64_t h = hash_;
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    digest_.sum += h ^ (h >> 31);
    ++digest_.rows;
  }

  const RowDigest& digest() const { return digest_; }

 private:
  static constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325ULL;
  static constexpr uint64_t kPrime = 0x100000001b3ULL;
  RowDigest digest_;
  uint64_t hash_ = kOffsetBasis;
};

}  // namespace msu::data
