// Servers and logins: which servers exist, and the numbers a refused login reports, since the
// login check turns exactly these numbers into its messages.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/server_password.h"
#include "data/admin.h"
#include "data/embedded/backend.h"
#include "tests/data/embedded/instance_test_support.h"

namespace msu::embedded {
namespace {

using namespace testing;
using Failure = std::pair<long, std::string>;

template <typename Work>
Failure AdminFailure(Work work) {
  return Thrown<data::AdminError>(work);
}

class LoginTest : public ::testing::Test {
 protected:
  LoginTest() : backend(root.path()) { Instance::Create(root.path(), "ORVANE", kWardenPassword); }
  Failure Connect(const std::string& server, const std::string& login,
                  const std::string& password) {
    return AdminFailure([&] { backend.Connect(server, login, password)->Disconnect(); });
  }
  ScratchFolder root;
  EmbeddedBackend backend;
};

TEST_F(LoginTest, AcceptsTheDerivedServerPasswordWithNamesInAnyCase) {
  auto connection = backend.Connect("ORVANE", "VESTRA", kServerPassword);
  EXPECT_NE(connection->ReadServerProperty().find("Orvane Embedded Server"), std::string::npos);
  connection->Disconnect();
  EXPECT_EQ(Connect("orvane", "vestra", DeriveServerPassword("Secret")).first, 0);
  EXPECT_EQ(Instance::Open(root.path(), "oRvAnE")->Name(), "ORVANE");
}

TEST_F(LoginTest, RefusalsCarryTheNumbersTheLoginCheckMaps) {
  const Failure vestra{data::kErrLoginFailed, "Login failed for user 'VESTRA'."};
  EXPECT_EQ(Connect("ORVANE", "VESTRA", kWardenPassword), vestra);
  EXPECT_EQ(Connect("ORVANE", "VESTRA", "83ECRET"), vestra);  // the rest is case-sensitive
  EXPECT_EQ(Connect("ORVANE", "VESTRA", ""), vestra);
  EXPECT_EQ(Connect("ORVANE", "sa", kServerPassword),
            Failure(data::kErrLoginFailed, "Login failed for user 'sa'."));
  EXPECT_EQ(Connect("NOWHERE", "VESTRA", kServerPassword),
            Failure(data::kErrServerNotFound, "The server NOWHERE does not exist."));
  // An empty server name, as a login check with an empty server list sends.
  EXPECT_EQ(Connect("", "VESTRA", kServerPassword).first, data::kErrServerNotFound);

  Instance::Open(root.path(), "ORVANE")->Stop();
  // A stopped server reports that before it looks at the password.
  const Failure stopped{data::kErrServerStopped, "The server ORVANE is stopped."};
  EXPECT_EQ(Connect("ORVANE", "VESTRA", kServerPassword), stopped);
  EXPECT_EQ(Connect("ORVANE", "VESTRA", "wrong"), stopped);
  Instance::Open(root.path(), "ORVANE")->Start();
  EXPECT_EQ(Connect("ORVANE", "VESTRA", kServerPassword).first, 0);
}

TEST_F(LoginTest, AConnectionStopsWorkingWhenItsServerStopsOrItDisconnects) {
  auto connection = backend.Connect("ORVANE", "VESTRA", kServerPassword);
  auto instance = Instance::Open(root.path(), "ORVANE");
  EXPECT_TRUE(instance->Stop());
  EXPECT_FALSE(instance->Stop());
  EXPECT_EQ(AdminFailure([&] { connection->ListDatabases(); }).first, data::kErrServerStopped);
  EXPECT_TRUE(instance->Start());
  EXPECT_FALSE(instance->Start());
  EXPECT_NO_THROW(connection->ListDatabases());
  connection->Disconnect();
  EXPECT_EQ(AdminFailure([&] { connection->ReadServerProperty(); }).first,
            data::kErrAdminOperation);
}

TEST_F(LoginTest, TheCatalogKeepsNeitherPassword) {
  Instance::Create(root.path(), "SECOND", "Quartermaster-42");
  // Every file of the instance, the catalog's write-ahead log included.
  std::string everything;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "SECOND")) {
    if (entry.is_regular_file()) everything += ReadFile(entry.path().string());
  }
  ASSERT_NE(everything.find("VESTRA"), std::string::npos);
  for (const std::string secret : {"Quartermaster-42", "81uartermaster-42", "uartermaster-42"}) {
    EXPECT_EQ(everything.find(secret), std::string::npos) << secret;
  }
  EXPECT_EQ(Connect("SECOND", "VESTRA", "81uartermaster-42").first, 0);
}

TEST_F(LoginTest, ServersAreListedInNameOrderAndNamesAreUniqueWithoutRegardToCase) {
  for (const char* name : {"alpha", "Zulu", "beta"}) Instance::Create(root.path(), name, "pw");
  // A folder without a catalog is not a server.
  std::filesystem::create_directory(root / "LEFTOVER");
  EXPECT_EQ(backend.ListServers(), (std::vector<std::string>{"alpha", "beta", "ORVANE", "Zulu"}));

  EXPECT_EQ(AdminFailure([&] { Instance::Create(root.path(), "Orvane", "pw"); }),
            Failure(data::kErrAdminOperation, "The server ORVANE already exists."));
  EXPECT_EQ(AdminFailure([&] { Instance::Create(root.path(), "NEW", ""); }),
            Failure(data::kErrAdminOperation, "Password not specified."));
  for (const std::string bad : {"", "../up", "a/b", ".hidden", "with blank"}) {
    EXPECT_EQ(AdminFailure([&] { Instance::Create(root.path(), bad, "pw"); }).first,
              data::kErrAdminOperation)
        << bad;
  }
  EXPECT_EQ(backend.ListServers().size(), 4u);
  EXPECT_FALSE(std::filesystem::exists(root / "NEW"));

  EmbeddedBackend missing(root / "missing");
  EXPECT_TRUE(missing.ListServers().empty());
}

}  // namespace
}  // namespace msu::embedded
