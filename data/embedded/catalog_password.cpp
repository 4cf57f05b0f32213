#include "data/embedded/catalog_password.h"

#include <sodium.h>

#include <cctype>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace msu::embedded {

namespace {

constexpr const char* kArgon2idPrefix = "$argon2id$";

void StartSodium() {
  if (sodium_init() < 0) throw std::runtime_error("The password library cannot start.");
}

std::string_view AsText(const Sha256Digest& digest) {
  return std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size());
}

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// The HMAC state after the key; PBKDF2 hashes thousands of messages under one key.
crypto_auth_hmacsha256_state PrepareHmac(std::string_view key) {
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, Bytes(key), key.size());
  return state;
}

Sha256Digest Hmac(const crypto_auth_hmacsha256_state& key, std::string_view message) {
  crypto_auth_hmacsha256_state state = key;
  crypto_auth_hmacsha256_update(&state, Bytes(message), message.size());
  Sha256Digest digest{};
  crypto_auth_hmacsha256_final(&state, digest.data());
  return digest;
}

bool IsArgon2id(const PasswordHash& stored) {
  return stored.hash_hex.rfind(kArgon2idPrefix, 0) == 0;
}

}  // namespace

Sha256Digest Sha256(std::string_view data) {
  StartSodium();
  Sha256Digest digest{};
  crypto_hash_sha256(digest.data(), Bytes(data), data.size());
  return digest;
}

Sha256Digest HmacSha256(std::string_view key, std::string_view message) {
  StartSodium();
  return Hmac(PrepareHmac(key), message);
}

std::string Pbkdf2Sha256(std::string_view password, std::string_view salt, uint32_t iterations,
                         size_t length) {
  StartSodium();
  const crypto_auth_hmacsha256_state key = PrepareHmac(password);
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

PasswordHash HashPassword(std::string_view password) {
  StartSodium();
  char encoded[crypto_pwhash_STRBYTES] = {};
  if (crypto_pwhash_str_alg(encoded, password.data(), password.size(),
                            crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("There is not enough memory to hash the password.");
  }
  PasswordHash result;
  result.hash_hex = encoded;
  return result;
}

PasswordHash LegacyPasswordHash(std::string_view password, uint32_t iterations) {
  StartSodium();
  std::string salt(16, '\0');
  randombytes_buf(salt.data(), salt.size());
  PasswordHash result;
  result.salt_hex = ToHex(salt);
  result.iterations = iterations;
  result.hash_hex = ToHex(Pbkdf2Sha256(password, salt, iterations, 32));
  return result;
}

bool VerifyPassword(std::string_view password, const PasswordHash& stored) {
  StartSodium();
  if (IsArgon2id(stored)) {
    return crypto_pwhash_str_verify(stored.hash_hex.c_str(), password.data(), password.size()) == 0;
  }
  const std::string expected = FromHex(stored.hash_hex);
  if (expected.empty() || stored.iterations == 0) return false;
  const std::string actual =
      Pbkdf2Sha256(password, FromHex(stored.salt_hex), stored.iterations, expected.size());
  return sodium_memcmp(expected.data(), actual.data(), expected.size()) == 0;
}

bool NeedsRehash(const PasswordHash& stored) {
  StartSodium();
  return !IsArgon2id(stored) ||
         crypto_pwhash_str_needs_rehash(stored.hash_hex.c_str(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0;
}

}  // namespace msu::embedded

namespace msu::embedded {

LoginProofs::LoginProofs() : key_(crypto_generichash_KEYBYTES, '\0') {
  if (sodium_init() < 0) throw std::runtime_error("The password library cannot start.");
  randombytes_buf(key_.data(), key_.size());
}

LoginProofs::~LoginProofs() {
  sodium_memzero(key_.data(), key_.size());
  for (auto& [name, proof] : proofs_) sodium_memzero(proof.tag.data(), proof.tag.size());
}

std::string LoginProofs::Tag(std::string_view password) const {
  std::string tag(crypto_generichash_BYTES, '\0');
  crypto_generichash(reinterpret_cast<unsigned char*>(tag.data()), tag.size(),
                     reinterpret_cast<const unsigned char*>(password.data()), password.size(),
                     reinterpret_cast<const unsigned char*>(key_.data()), key_.size());
  return tag;
}

std::string LoginProofs::Key(const std::string& folder, std::string_view login) const {
  std::string upper(login);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return folder + '\n' + upper;
}

bool LoginProofs::Holds(const std::string& folder, std::string_view login,
                        std::string_view password, const PasswordHash& stored) const {
  const auto found = proofs_.find(Key(folder, login));
  if (found == proofs_.end()) return false;
  const Proof& proof = found->second;
  if (proof.stored.salt_hex != stored.salt_hex || proof.stored.iterations != stored.iterations ||
      proof.stored.hash_hex != stored.hash_hex) {
    return false;
  }
  const std::string tag = Tag(password);
  return sodium_memcmp(tag.data(), proof.tag.data(), tag.size()) == 0;
}

void LoginProofs::Add(const std::string& folder, std::string_view login, std::string_view password,
                      const PasswordHash& stored) {
  proofs_[Key(folder, login)] = {stored, Tag(password)};
}

}  // namespace msu::embedded
