// How the catalog keeps a login's password: never the password itself, only a salted hash that
// a login attempt recomputes and compares. New hashes are libsodium's Argon2id at its
// interactive limits, kept as its encoded text ("$argon2id$v=19$m=...,t=...,p=...$salt$hash",
// which carries salt and costs). Catalogs made before hold PBKDF2-HMAC-SHA-256 (salt, rounds,
// hash as hexadecimal text); those are still read, and replaced at the next successful login
// (NeedsRehash).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace msu::embedded {

using Sha256Digest = std::array<uint8_t, 32>;

// SHA-256 of `data`, and HMAC-SHA-256 of `message` under a key of any length (libsodium's).
Sha256Digest Sha256(std::string_view data);
Sha256Digest HmacSha256(std::string_view key, std::string_view message);

// PBKDF2-HMAC-SHA-256 (RFC 8018): `length` bytes derived from `password` and `salt` with
// `iterations` rounds. Only the old catalogs' hashes are checked with it.
std::string Pbkdf2Sha256(std::string_view password, std::string_view salt, uint32_t iterations,
                         size_t length);

// Lower-case hexadecimal form of bytes, and back. FromHex returns an empty text for text that
// is not an even number of hexadecimal digits.
std::string ToHex(std::string_view bytes);
std::string FromHex(std::string_view hex);

// A stored password, as the catalog's columns hold it: for Argon2id an empty salt, 0 rounds
// and the encoded text in `hash_hex`; for the old PBKDF2 form salt and hash as hexadecimal
// text and the rounds used.
struct PasswordHash {
  std::string salt_hex;
  uint32_t iterations = 0;
  std::string hash_hex;
};

// Rounds of the old PBKDF2 form.
inline constexpr uint32_t kLegacyPasswordIterations = 20000;

// Hashes `password` with Argon2id and a fresh random salt. Throws std::runtime_error when
// libsodium cannot start or has not the memory the hash needs.
PasswordHash HashPassword(std::string_view password);

// The old PBKDF2 form with a fresh random salt: what catalogs made before kept (tests make
// such catalogs with it).
PasswordHash LegacyPasswordHash(std::string_view password,
                                uint32_t iterations = kLegacyPasswordIterations);

// True when `password` is the one `stored` was made from, in either form. Compares in constant
// time; a damaged entry verifies nothing.
bool VerifyPassword(std::string_view password, const PasswordHash& stored);

// True when `stored` should be made again with HashPassword: the old form, or Argon2id below
// today's interactive limits.
bool NeedsRehash(const PasswordHash& stored);

// What a process keeps of the logins it has proved, so that its later connections of one run
// need no second Argon2id computation (a tenth of a second or more each): for each instance
// folder and login, the stored hash it was proved against and a keyed hash (BLAKE2b) of the
// password under a key made at random for this object, held in memory only and never written.
// A password that is not the one proved, or a stored hash that changed since, holds no proof.
class LoginProofs {
 public:
  LoginProofs();
  ~LoginProofs();  // wipes the key and the proofs
  LoginProofs(const LoginProofs&) = delete;
  LoginProofs& operator=(const LoginProofs&) = delete;

  // True when `password` for `login` of the instance in `folder` was proved against `stored`.
  bool Holds(const std::string& folder, std::string_view login, std::string_view password,
             const PasswordHash& stored) const;
  // Keeps the proof of a login that VerifyPassword has just accepted.
  void Add(const std::string& folder, std::string_view login, std::string_view password,
           const PasswordHash& stored);

 private:
  std::string Tag(std::string_view password) const;
  std::string Key(const std::string& folder, std::string_view login) const;

  std::string key_;
  struct Proof {
    PasswordHash stored;
    std::string tag;
  };
  std::map<std::string, Proof> proofs_;
};

}  // namespace msu::embedded
