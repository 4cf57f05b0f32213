#include "data/embedded/catalog_password.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace msu::embedded {

namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t RotateRight(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

class Sha256State {
 public:
  void Update(std::string_view data) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    size_t left = data.size();
    total_bytes_ += left;
    while (left > 0) {
      if (block_used_ == 0 && left >= 64) {
        Compress(bytes);
        bytes += 64;
        left -= 64;
        continue;
      }
      const size_t take = std::min(left, 64 - block_used_);
      std::memcpy(block_ + block_used_, bytes, take);
      block_used_ += take;
      bytes += take;
      left -= take;
      if (block_used_ == 64) {
        Compress(block_);
        block_used_ = 0;
      }
    }
  }

  Sha256Digest Finish() {
    const uint64_t total_bits = total_bytes_ * 8;
    block_[block_used_++] = 0x80;
    if (block_used_ > 56) {
      while (block_used_ < 64) block_[block_used_++] = 0;
      Compress(block_);
      block_used_ = 0;
    }
    while (block_used_ < 56) block_[block_used_++] = 0;
    for (int i = 7; i >= 0; --i)
      block_[block_used_++] = static_cast<uint8_t>(total_bits >> (i * 8));
    Compress(block_);
    Sha256Digest digest;
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 4; ++j) digest[i * 4 + j] = static_cast<uint8_t>(h_[i] >> (24 - j * 8));
    }
    return digest;
  }

 private:
  void Compress(const uint8_t* block) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = (uint32_t{block[i * 4]} << 24) | (uint32_t{block[i * 4 + 1]} << 16) |
             (uint32_t{block[i * 4 + 2]} << 8) | uint32_t{block[i * 4 + 3]};
    }
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
      const uint32_t choice = (e & f) ^ (~e & g);
      const uint32_t t1 = h + s1 + choice + kRoundConstants[i] + w[i];
      const uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
      const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
      const uint32_t t2 = s0 + majority;
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
    h_[5] += f;
    h_[6] += g;
    h_[7] += h;
  }

  uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  uint8_t block_[64] = {};
  size_t block_used_ = 0;
  uint64_t total_bytes_ = 0;
};

std::string_view AsText(const Sha256Digest& digest) {
  return std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size());
}

}  // namespace

Sha256Digest Sha256(std::string_view data) {
  Sha256State state;
  state.Update(data);
  return state.Finish();
}

namespace {

// The states after the key's inner and outer pad blocks. PBKDF2 hashes thousands of messages
// under one key, so these two blocks are hashed once instead of every time.
struct HmacKey {
  Sha256State inner;
  Sha256State outer;
};

HmacKey PrepareHmac(std::string_view key) {
  std::string block_key(64, '\0');
  if (key.size() > 64) {
    const Sha256Digest hashed = Sha256(key);
    std::memcpy(block_key.data(), hashed.data(), hashed.size());
  } else {
    std::memcpy(block_key.data(), key.data(), key.size());
  }
  std::string inner_pad(64, '\0'), outer_pad(64, '\0');
  for (size_t i = 0; i < 64; ++i) {
    inner_pad[i] = static_cast<char>(block_key[i] ^ 0x36);
    outer_pad[i] = static_cast<char>(block_key[i] ^ 0x5c);
  }
  HmacKey prepared;
  prepared.inner.Update(inner_pad);
  prepared.outer.Update(outer_pad);
  return prepared;
}

Sha256Digest Hmac(const HmacKey& key, std::string_view message) {
  Sha256State inner = key.inner;
  inner.Update(message);
  const Sha256Digest inner_digest = inner.Finish();
  Sha256State outer = key.outer;
  outer.Update(AsText(inner_digest));
  return outer.Finish();
}

}  // namespace

Sha256Digest HmacSha256(std::string_view key, std::string_view message) {
  return Hmac(PrepareHmac(key), message);
}

std::string Pbkdf2Sha256(std::string_view password, std::string_view salt, uint32_t iterations,
                         size_t length) {
  const HmacKey key = PrepareHmac(password);
  std::string out;
  for (uint32_t block = 1; out.size() < length; ++block) {
    std::string first(salt);
    for (int shift = 24; shift >= 0; shift -= 8) first += static_cast<char>(block >> shift);
    Sha256Digest u = Hmac(key, first);
    Sha256Digest t = u;
    for (uint32_t i = 1; i < iterations; ++i) {
      u = Hmac(key, AsText(u));
      for (size_t j = 0; j < t.size(); ++j) t[j] ^= u[j];
    }
    out.append(AsText(t).substr(0, std::min(t.size(), length - out.size())));
  }
  return out;
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

std::string FromHex(std::string_view hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) return std::string();
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::string();
    out += static_cast<char>(high * 16 + low);
  }
  return out;
}

PasswordHash HashPassword(std::string_view password, uint32_t iterations) {
  std::random_device random;
  std::string salt;
  for (int i = 0; i < 16; ++i) salt += static_cast<char>(random() & 0xff);
  PasswordHash result;
  result.salt_hex = ToHex(salt);
  result.iterations = iterations;
  result.hash_hex = ToHex(Pbkdf2Sha256(password, salt, iterations, 32));
  return result;
}

bool VerifyPassword(std::string_view password, const PasswordHash& stored) {
  const std::string expected = FromHex(stored.hash_hex);
  if (expected.empty() || stored.iterations == 0) return false;
  const std::string actual =
      Pbkdf2Sha256(password, FromHex(stored.salt_hex), stored.iterations, expected.size());
  unsigned char difference = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned char>(expected[i] ^ actual[i]);
  }
  return difference == 0;
}

}  // namespace msu::embedded
