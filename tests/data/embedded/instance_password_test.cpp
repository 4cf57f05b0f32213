// The password a login is checked with: its derivation from the Warden password, and the
// hash the catalog keeps instead of it. The hash functions are checked against published
// test vectors, since a wrong round would still "work" for passwords it also stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/server_password.h"
#include "data/embedded/catalog.h"
#include "data/embedded/catalog_password.h"
#include "data/embedded/instance.h"
#include "tests/support/test_files.h"

namespace msu::embedded {
namespace {

std::string Hex(const Sha256Digest& digest) {
  return ToHex(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

TEST(DeriveServerPassword, IsTheCodeOfTheUpperCasedFirstCharacterThenTheRest) {
  EXPECT_EQ(DeriveServerPassword("secret"), "83ecret");
  EXPECT_EQ(DeriveServerPassword("Secret"), "83ecret");
  // Only the first character changes; the case of the rest matters.
  EXPECT_EQ(DeriveServerPassword("sEcReT"), "83EcReT");
  EXPECT_NE(DeriveServerPassword("secret"), DeriveServerPassword("SECRET"));
  // A single character gives its code alone; a digit is not a letter and keeps its code.
  EXPECT_EQ(DeriveServerPassword("a"), "65");
  EXPECT_EQ(DeriveServerPassword("1x"), "49x");
  EXPECT_EQ(DeriveServerPassword(" pw"), "32pw");
  // Beyond ASCII, code and case are Windows-1252's: é and É are both 201 (UTF-8 or a bare
  // Windows-1252 byte), œ is 140 (Œ), and a character the code page lacks counts as "?".
  EXPECT_EQ(DeriveServerPassword("\u00e9t\u00e9"), "201t\u00e9");
  EXPECT_EQ(DeriveServerPassword("\u00c9t\u00e9"), "201t\u00e9");
  EXPECT_EQ(DeriveServerPassword("\xe9t\xe9"), "201t\xe9");
  EXPECT_EQ(DeriveServerPassword("\u0153uvre"), "140uvre");
  EXPECT_EQ(DeriveServerPassword("\u20ac1"), "1281");
  EXPECT_EQ(DeriveServerPassword("\u4e2dx"), "63x");
  EXPECT_EQ(DeriveServerPassword(""), "");
}

TEST(Sha256, MatchesThePublishedVectors) {
  EXPECT_EQ(Hex(Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex(Sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the padding no longer fits the first block.
  EXPECT_EQ(Hex(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(Sha256(std::string(1000000, 'a'))),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, HmacMatchesTheRfc4231Vectors) {
  EXPECT_EQ(Hex(HmacSha256("Jefe", "what do ya want for nothing?")),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  // A key longer than a block is hashed first.
  EXPECT_EQ(Hex(HmacSha256(std::string(131, '\xaa'),
                           "Test Using Larger Than Block-Size Key - Hash Key First")),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(Sha256, Pbkdf2MatchesThePublishedVectors) {
  EXPECT_EQ(ToHex(Pbkdf2Sha256("password", "salt", 1, 32)),
            "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
  EXPECT_EQ(ToHex(Pbkdf2Sha256("password", "salt", 2, 32)),
            "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
  EXPECT_EQ(ToHex(Pbkdf2Sha256("password", "salt", 4096, 32)),
            "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
  // More than one block of output.
  EXPECT_EQ(ToHex(Pbkdf2Sha256("passwd", "salt", 1, 64)),
            "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
            "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
}

TEST(PasswordHash, VerifiesOnlyTheHashedPasswordAndSaltsEveryHash) {
  const PasswordHash argon = HashPassword("83ecret");
  EXPECT_EQ(argon.hash_hex.rfind("$argon2id$", 0), 0u) << argon.hash_hex;
  EXPECT_FALSE(NeedsRehash(argon));
  for (const PasswordHash& first : {argon, LegacyPasswordHash("83ecret", 50)}) {
    EXPECT_TRUE(VerifyPassword("83ecret", first));
    EXPECT_FALSE(VerifyPassword("83ecreT", first));
    EXPECT_FALSE(VerifyPassword("secret", first));
    EXPECT_FALSE(VerifyPassword("", first));
    EXPECT_EQ(first.hash_hex.find(ToHex("83ecret")), std::string::npos);
    PasswordHash damaged = first;
    damaged.hash_hex.back() = damaged.hash_hex.back() == 'a' ? 'b' : 'a';
    EXPECT_FALSE(VerifyPassword("83ecret", damaged));
  }
  EXPECT_NE(HashPassword("83ecret").hash_hex, argon.hash_hex);
  const PasswordHash legacy = LegacyPasswordHash("83ecret", 50);
  EXPECT_TRUE(NeedsRehash(legacy));
  EXPECT_NE(LegacyPasswordHash("83ecret", 50).salt_hex, legacy.salt_hex);
  PasswordHash no_rounds = legacy;
  no_rounds.iterations = 0;
  EXPECT_FALSE(VerifyPassword("83ecret", no_rounds));
}

// A clock that never waits and remembers what it was asked to wait; several threads may share
// it.
class FakeClock : public LoginClock {
 public:
  int64_t NowMs() override {
    std::lock_guard<std::mutex> lock(mutex);
    return now;
  }
  void SleepMs(int64_t milliseconds) override {
    std::lock_guard<std::mutex> lock(mutex);
    slept.push_back(milliseconds);
    now += milliseconds;
  }
  std::mutex mutex;
  int64_t now = 1000000;
  std::vector<int64_t> slept;
};

// A run proves its password once: later logins of the same process reuse the proof, which
// holds only for that password, that login (any letter case) of that instance, and the stored
// hash it was proved against.
TEST(Login, AProvedLoginIsNotComputedAgainUntilItsHashChanges) {
  LoginProofs proofs;
  const PasswordHash stored = HashPassword("83ecret");
  EXPECT_FALSE(proofs.Holds("/a", "VESTRA", "83ecret", stored));
  proofs.Add("/a", "VESTRA", "83ecret", stored);
  EXPECT_TRUE(proofs.Holds("/a", "vestra", "83ecret", stored));
  EXPECT_FALSE(proofs.Holds("/a", "VESTRA", "83ecreT", stored));
  EXPECT_FALSE(proofs.Holds("/b", "VESTRA", "83ecret", stored));
  EXPECT_FALSE(proofs.Holds("/a", "OTHER", "83ecret", stored));
  EXPECT_FALSE(proofs.Holds("/a", "VESTRA", "83ecret", HashPassword("83ecret")));

  msu::testing::ScratchFolder root;
  Instance::Create(root.path(), "ORVANE", "secret");
  auto instance = Instance::Open(root.path(), "ORVANE");
  FakeClock clock;
  LoginProofs run;
  EXPECT_TRUE(instance->CheckLogin("VESTRA", "83ecret", clock, &run));
  EXPECT_TRUE(instance->CheckLogin("VESTRA", "83ecret", clock, &run));
  EXPECT_FALSE(instance->CheckLogin("VESTRA", "wrong", clock, &run));
  // The password changed meanwhile (another Warden password): the old one no longer holds.
  Catalog(root / "ORVANE/catalog.db", false).SetLogin("VESTRA", HashPassword("83other"));
  clock.now += 60000;
  EXPECT_FALSE(instance->CheckLogin("VESTRA", "83ecret", clock, &run));
  EXPECT_TRUE(instance->CheckLogin("VESTRA", "83other", clock, &run));
}

// Guesses made at once take turns: each waits for the failures before it, as guesses made one
// after the other would.
TEST(Login, GuessesMadeAtOnceTakeTurns) {
  msu::testing::ScratchFolder root;
  Instance::Create(root.path(), "ORVANE", "secret");
  FakeClock clock;
  std::vector<std::thread> guesses;
  for (int guess = 0; guess < 3; ++guess) {
    guesses.emplace_back([&] {
      // Each its own instance object, as separate processes have.
      EXPECT_FALSE(Instance::Open(root.path(), "ORVANE")->CheckLogin("VESTRA", "wrong", clock));
    });
  }
  for (std::thread& guess : guesses) guess.join();
  std::sort(clock.slept.begin(), clock.slept.end());
  EXPECT_EQ(clock.slept, (std::vector<int64_t>{250, 500}));
}

TEST(Login, FailuresSlowTheNextAttemptsOfEveryProcessAndASuccessRehashesOldForms) {
  msu::testing::ScratchFolder root;
  Instance::Create(root.path(), "ORVANE", "secret");
  // An instance made before: its login keeps the old form.
  Catalog(root / "ORVANE/catalog.db", false).SetLogin("VESTRA", LegacyPasswordHash("83ecret", 50));

  FakeClock clock;
  auto instance = Instance::Open(root.path(), "ORVANE");
  for (int attempt = 0; attempt < 4; ++attempt) {
    EXPECT_FALSE(instance->CheckLogin("VESTRA", "wrong", clock));
  }
  EXPECT_EQ(clock.slept, (std::vector<int64_t>{250, 500, 1000}));
  // The count is the catalog's: another process waits too; time already past is not waited.
  clock.now += 1000;
  EXPECT_TRUE(Instance::Open(root.path(), "orvane")->CheckLogin("vestra", "83ecret", clock));
  EXPECT_EQ(clock.slept.back(), 1000);
  EXPECT_EQ(
      Catalog(root / "ORVANE/catalog.db", false).Login("VESTRA")->hash_hex.rfind("$argon2id$", 0),
      0u);
  // A success clears the count.
  EXPECT_TRUE(instance->CheckLogin("VESTRA", "83ecret", clock));
  EXPECT_FALSE(instance->CheckLogin("VESTRA", "wrong", clock));
  EXPECT_EQ(clock.slept.size(), 4u);

  const int64_t delays[][2] = {{0, 0}, {1, 250}, {2, 500}, {8, 30000}, {9, 30000}, {60, 30000}};
  for (const auto& [failures, delay] : delays) EXPECT_EQ(LoginDelayMs(failures), delay);
}

}  // namespace
}  // namespace msu::embedded
