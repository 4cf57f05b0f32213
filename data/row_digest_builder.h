// Builds a RowDigest (data_access.h) one row at a time: each row's values are hashed (what the
// caller feeds, a kind byte, then the value's bytes, taken eight bytes at a time, each step a
// multiplication and a shift that lose nothing of the state), the row's hash is spread over all
// 64 bits (splitmix64's finaliser) and summed, so the digest does not depend on the order of
// the rows. Both the server's own digests and those read through recordsets are built
// here, so that the same rows fed the same way give the same digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "data/data_access.h"

namespace msu::data {

class RowDigestBuilder {
 public:
  explicit RowDigestBuilder(int fields) { digest_.fields = fields; }

  void BeginRow() { hash_ = kOffsetBasis; }
  void Feed(const void* bytes, size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (; size >= 8; p += 8, size -= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      Mix(word);
    }
    if (size == 0) return;
    uint64_t tail = 0;
    std::memcpy(&tail, p, size);
    Mix(tail ^ (static_cast<uint64_t>(size) << 59));
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

  // Both steps can be undone, so two rows fed the same number of words that differ in one
  // word never share a hash.
  void Mix(uint64_t word) {
    hash_ = (hash_ ^ word) * 0x9e3779b97f4a7c15ULL;
    hash_ ^= hash_ >> 32;
  }
  RowDigest digest_;
  uint64_t hash_ = kOffsetBasis;
};

}  // namespace msu::data
