// Connection strings carry paths and names whole, whatever they hold.
#include "data/connection_string.h"

#include <gtest/gtest.h>

#include "data/embedded/backend.h"
#include "tests/data/embedded/instance_test_support.h"
#include "tests/support/test_files.h"

namespace msu::data {
namespace {

TEST(ConnectionStringTest, ValuesComeBackAsTheyWereSetAndQuotedFormsAreRead) {
  for (const std::string value :
       {"plain", "/a;b/c.mdf", "x}y{z", "=", "\"quoted\"", "it's", " lead", "trail ", ""}) {
    ConnectionString built;
    built.Set("Data Source", value);
    built.Set("Mode", "Read");
    const ConnectionString parsed = ConnectionString::Parse(built.Text());
    EXPECT_EQ(parsed.Get("data source"), value) << built.Text();
    EXPECT_EQ(parsed.Get("MODE"), "Read") << built.Text();
  }
  const ConnectionString parsed = ConnectionString::Parse(
      "Provider = Orvane.Embedded ; A={x;}}y};B=\"p;\"\"q\";C='r;''s';D= bare ;junk;E={open");
  EXPECT_EQ(parsed.Get("Provider"), "Orvane.Embedded");
  EXPECT_EQ(parsed.Get("A"), "x;}y");
  EXPECT_EQ(parsed.Get("B"), "p;\"q");
  EXPECT_EQ(parsed.Get("C"), "r;'s");
  EXPECT_EQ(parsed.Get("D"), "bare");
  EXPECT_EQ(parsed.Get("E"), "open");
  EXPECT_FALSE(parsed.Has("junk"));
}

// An instance under a folder whose name holds every character the string itself uses.
TEST(ConnectionStringTest, AnInstanceUnderAnyFolderServesItsDatabases) {
  msu::testing::ScratchFolder scratch;
  const std::string root = scratch / "a;b={c} \"d\" 'e'";
  embedded::Instance::Create(root, "ORVANE", embedded::testing::kWardenPassword);
  embedded::testing::MakeDatabaseFile(scratch / "x;y.mdf");
  embedded::Instance::Open(root, "ORVANE")->Attach("Alpha {1}", scratch / "x;y.mdf");
  embedded::EmbeddedBackend backend(root);
  const std::string text = backend.DataConnectionString("ORVANE", "Alpha {1}");
  EXPECT_TRUE(backend.OpensConnectionString(text)) << text;
  auto connection = backend.CreateConnection();
  connection->SetConnectionString(text);
  connection->Open();
  EXPECT_EQ(connection->Execute("SELECT Name FROM Incidents")->Get(0).AsText(), "Flood");
  connection->Close();
}

}  // namespace
}  // namespace msu::data
