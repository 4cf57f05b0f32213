// How the catalog keeps a login's password: never the password itself, only a salted,
// iterated hash (PBKDF2 with HMAC-SHA-256) that a login attempt recomputes and compares.
// The hash functions are written here so that the embedded server needs nothing beyond
// SQLite.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace msu::embedded {

using Sha256Digest = std::array<uint8_t, 32>;

// SHA-256 of `data` (FIPS 180-4).
Sha256Digest Sha256(std::string_view data);

// HMAC-SHA-256 of `message` under `key` (RFC 2104).
Sha256Digest HmacSha256(std::string_view key, std::string_view message);

// PBKDF2-HMAC-SHA-256 (RFC 8018): `length` bytes derived from `password` and `salt` with
// `iterations` rounds.
std::string Pbkdf2Sha256(std::string_view password, std::string_view salt, uint32_t iterations,
                         size_t length);

// Lower-case hexadecimal form of bytes, and back. FromHex returns an empty text for text that
// is not an even number of hexadecimal digits.
std::string ToHex(std::string_view bytes);
std::string FromHex(std::string_view hex);

// A stored password: salt and hash as hexadecimal text, and the rounds used.
struct PasswordHash {
  std::string salt_hex;
  uint32_t iterations = 0;
  std::string hash_hex;
};

// Rounds used for new hashes. Stored with every hash, so it can be raised later without
// invalidating the logins already created.
inline constexpr uint32_t kPasswordIterations = 20000;

// Hashes `password` with a fresh random salt.
PasswordHash HashPassword(std::string_view password, uint32_t iterations = kPasswordIterations);

// True when `password` is the one `stored` was made from. Compares in constant time.
bool VerifyPassword(std::string_view password, const PasswordHash& stored);

}  // namespace msu::embedded
