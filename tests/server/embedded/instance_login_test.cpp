// Servers and logins: which servers exist, and the numbers a refused login reports, since the
// login check turns exactly these numbers into its messages.
#include <gtest/gtest.h>

#include <filesystem>

#include "server/admin.h"
#include "server/embedded/backend.h"
#include "server/embedded/instance.h"
#include "server/login.h"
#include "tests/server/embedded/instance_test_support.h"

namespace msu::embedded {
namespace {

using testing::kServerPassword;
using testing::kWardenPassword;
using testing::ReadFile;
using testing::ScratchFolder;

// The number and description of the AdminError `work` throws.
template <typename Work>
std::pair<long, std::string> AdminFailure(Work work) {
  try {
    work();
  } catch (const data::AdminError& error) {
    return {error.number(), error.description()};
  }
  return {0, "no error"};
}

class LoginTest : public ::testing::Test {
 protected:
  LoginTest() : backend(root.path()) { Instance::Create(root.path(), "ORVANE", kWardenPassword); }
  ScratchFolder root;
  EmbeddedBackend backend;
};

TEST_F(LoginTest, AcceptsTheServerPasswordDerivedFromTheWardenPassword) {
  auto connection = backend.Connect("ORVANE", "VESTRA", kServerPassword);
  EXPECT_NE(connection->ReadServerProperty().find("Orvane Embedded Server"), std::string::npos);
  connection->Disconnect();
  // The Warden password typed with an upper-case first letter derives the same password.
  EXPECT_NO_THROW(backend.Connect("ORVANE", "VESTRA", DeriveServerPassword("Secret")));
}

TEST_F(LoginTest, ServerAndLoginNamesIgnoreLetterCase) {
  EXPECT_NO_THROW(backend.Connect("orvane", "vestra", kServerPassword));
  EXPECT_EQ(Instance::Open(root.path(), "oRvAnE")->Name(), "ORVANE");
}

TEST_F(LoginTest, RefusalsCarryTheNumbersTheLoginCheckMaps) {
  EXPECT_EQ(AdminFailure([&] { backend.Connect("ORVANE", "VESTRA", kWardenPassword); }),
            std::make_pair(data::kErrLoginFailed, std::string("Login failed for user 'VESTRA'.")));
  // The rest of the password is case-sensitive.
  EXPECT_EQ(AdminFailure([&] { backend.Connect("ORVANE", "VESTRA", "83ECRET"); }).first,
            data::kErrLoginFailed);
  EXPECT_EQ(AdminFailure([&] { backend.Connect("ORVANE", "VESTRA", ""); }).first,
            data::kErrLoginFailed);
  EXPECT_EQ(AdminFailure([&] { backend.Connect("ORVANE", "sa", kServerPassword); }),
            std::make_pair(data::kErrLoginFailed, std::string("Login failed for user 'sa'.")));

  EXPECT_EQ(AdminFailure([&] { backend.Connect("NOWHERE", "VESTRA", kServerPassword); }),
            std::make_pair(kErrServerNotFound, std::string("The server NOWHERE does not exist.")));
  // An empty server name, as a login check with an empty server list sends.
  EXPECT_EQ(AdminFailure([&] { backend.Connect("", "VESTRA", kServerPassword); }).first,
            kErrServerNotFound);

  Instance::Open(root.path(), "ORVANE")->Stop();
  // A stopped server reports that before it looks at the password.
  EXPECT_EQ(AdminFailure([&] { backend.Connect("ORVANE", "VESTRA", kServerPassword); }),
            std::make_pair(data::kErrServerStopped, std::string("The server ORVANE is stopped.")));
  EXPECT_EQ(AdminFailure([&] { backend.Connect("ORVANE", "VESTRA", "wrong"); }).first,
            data::kErrServerStopped);
  Instance::Open(root.path(), "ORVANE")->Start();
  EXPECT_NO_THROW(backend.Connect("ORVANE", "VESTRA", kServerPassword));
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
  EXPECT_NO_THROW(backend.Connect("SECOND", "VESTRA", "81uartermaster-42"));
}

TEST_F(LoginTest, ServersAreListedInNameOrderAndNamesAreUniqueWithoutRegardToCase) {
  Instance::Create(root.path(), "alpha", "pw");
  Instance::Create(root.path(), "Zulu", "pw");
  Instance::Create(root.path(), "beta", "pw");
  // A folder without a catalog is not a server.
  std::filesystem::create_directory(root / "LEFTOVER");
  EXPECT_EQ(backend.ListServers(), (std::vector<std::string>{"alpha", "beta", "ORVANE", "Zulu"}));

  EXPECT_EQ(
      AdminFailure([&] { Instance::Create(root.path(), "Orvane", "pw"); }),
      std::make_pair(data::kErrAdminOperation, std::string("The server ORVANE already exists.")));
  EXPECT_EQ(AdminFailure([&] { Instance::Create(root.path(), "NEW", ""); }),
            std::make_pair(data::kErrAdminOperation, std::string("Password not specified.")));
  for (const std::string bad : {"", "../up", "a/b", ".hidden", "with blank"}) {
    EXPECT_EQ(AdminFailure([&] { Instance::Create(root.path(), bad, "pw"); }).first,
              data::kErrAdminOperation)
        << bad;
  }
  EXPECT_EQ(backend.ListServers().size(), 4u);
  EXPECT_FALSE(std::filesystem::exists(root / "NEW"));
}

TEST(EmbeddedBackend, ListsNoServersUnderAMissingRootAndNamesItInConnectionStrings) {
  ScratchFolder root;
  EmbeddedBackend backend(root / "missing");
  EXPECT_TRUE(backend.ListServers().empty());
  EXPECT_EQ(backend.DataConnectionString("ORVANE", "W_O_R_K_A"),
            "Provider=Orvane.Embedded;Server=ORVANE;Database=W_O_R_K_A;Instance Root=" +
                (root / "missing"));
}

}  // namespace
}  // namespace msu::embedded
