// The SQL Server backend's administration and server list through a scripted stand-in for the
// ODBC calls: the statements it sends, how it reads the sp_who and file-list shapes, the
// login page's messages for the ODBC diagnostics, the connection strings, and the set-based
// copy with its fallback. The suite's routines run on top, as in the programs.
#include "data/sqlserver/backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/context.h"
#include "core/text.h"
#include "data/composite_backend.h"
#include "data/sqlserver/local_records.h"
#include "merge/row_copy.h"
#include "page_rules/login_check.h"
#include "scripted_odbc.h"
#include "server_routines/attachment.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Table = ScriptedOdbc::Table;

std::string Padded(std::string text, size_t width) {
  text.resize(std::max(width, text.size()), ' ');
  return text;
}

// A row of sys.master_files as the backend asks for it: the path in column 9.
std::vector<std::optional<std::string>> FileRow(const std::string& id, const std::string& name,
                                                const std::string& path) {
  return {id, "1", "128", "-1", "10", "0", "0", name, path};
}

// A row of sp_who: spid in column 1, dbname (padded) in column 7.
std::vector<std::optional<std::string>> WhoRow(const std::string& spid,
                                               std::optional<std::string> database) {
  return {spid, "0", "sleeping", "sa", "host", "0", std::move(database), "AWAITING COMMAND", "0"};
}

class SqlServerAdminTest : public ::testing::Test {
 protected:
  SqlServerAdminTest() {
    // The record of detached databases goes to the state folder, here the scratch folder's.
    ::setenv("XDG_STATE_HOME", folder_.path().c_str(), 1);
    WriteFile(folder_ / "freetds.conf",
              "[global]\n\ttds version = auto\n"
              "[SYBASE]\n\thost = old\n\ttds version = 5.0\n"
              // FreeTDS's own example, as Debian ships it: nobody's server.
              "[egServer73]\n\thost = ntmachine.domain.com\n\tport = 1433\n"
              "\ttds version = 7.3\n"
              "[SQLPROD]  ; the suite's server\n\thost = 127.0.0.1\n\tport = 1433\n"
              "\ttds version = 7.4\n");
    odbc_->AddDriver("FreeTDS", "Driver=libtdsodbc.so;Setup=libtdsS.so");
    odbc_->AddDriver("SQLite3", "Driver=libsqlite3odbc.so");
    odbc_->AddDriver("ODBC Driver 18 for SQL Server", "Driver=libmsodbcsql-18.so");
    odbc_->AddDataSource("Reports", "SQLite3");
    odbc_->AddDataSource("Suite", "ODBC Driver 18 for SQL Server");
    odbc_->AddDataSource("sqlprod", "FreeTDS");
    backend_ = std::make_unique<sqlserver::SqlServerBackend>(
        odbc_, std::vector<std::string>{folder_ / "freetds.conf", folder_ / "missing.conf"});
    context_ = std::make_unique<Context>(folder_.path(), progress_, prompt_, *backend_);
    context_->server = {"SQLPROD", "79rvane;}"};
    odbc_->Answer("SELECT CAST(SERVERPROPERTY", {{{"v"}, {{"16.0.1000.6"}}}});
  }

  ScratchFolder folder_;
  std::shared_ptr<ScriptedOdbc> odbc_ = std::make_shared<ScriptedOdbc>();
  std::unique_ptr<sqlserver::SqlServerBackend> backend_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  std::unique_ptr<Context> context_;
};

TEST_F(SqlServerAdminTest, TheServerListHoldsConfiguredSqlServersOnly) {
  EXPECT_THAT(backend_->ListServers(), ElementsAre("SQLPROD", "Suite"));
  EXPECT_TRUE(backend_->Serves("sqlprod"));
  EXPECT_TRUE(backend_->Serves("HOST\\SQLEXPRESS"));
  EXPECT_TRUE(backend_->Serves("10.0.0.5,1433"));
  EXPECT_FALSE(backend_->Serves("ORVANE"));

  // The programs put the embedded server first; each name goes to its own product.
  sqlserver::SqlServerBackend& sql = *backend_;
  struct Empty : data::Backend {
    std::vector<std::string> ListServers() override { return {"ORVANE"}; }
    std::unique_ptr<data::AdminConnection> Connect(const std::string&, const std::string&,
                                                   const std::string&) override {
      throw data::AdminError(data::kErrServerNotFound, "embedded");
    }
    std::unique_ptr<data::Connection> CreateConnection() override { return nullptr; }
    std::string DataConnectionString(const std::string&, const std::string&) override {
      return "Provider=Orvane.Embedded";
    }
    bool OpensConnectionString(const std::string& text) override {
      return text.rfind("Provider=Orvane.Embedded", 0) == 0;
    }
  } embedded;
  data::CompositeBackend both({&embedded, &sql});
  EXPECT_THAT(both.ListServers(), ElementsAre("ORVANE", "SQLPROD", "Suite"));
  EXPECT_EQ(&both.ProductFor("orvane"), &embedded);
  EXPECT_EQ(&both.ProductFor("SQLPROD"), &sql);
  EXPECT_EQ(&both.ProductFor("HOST\\SQLEXPRESS"), &sql);
  EXPECT_EQ(&both.ProductFor("NOWHERE"), &embedded) << "whose error names the missing server";
}

TEST_F(SqlServerAdminTest, ConnectionStringsNameTheServerTheWayItIsConfigured) {
  struct Case {
    const char* server;
    const char* expected;
  };
  const Case cases[] = {
      {"SQLPROD", "Driver=FreeTDS;Servername=SQLPROD;Database=W_O_R_K_A;ClientCharset=UTF-8"},
      {"Suite", "DSN=Suite;Database=W_O_R_K_A"},
      {"HOST\\SQLEXPRESS",
       "Driver=FreeTDS;Server=HOST\\SQLEXPRESS;Database=W_O_R_K_A;ClientCharset=UTF-8"},
      {"db.local, 1433",
       "Driver=FreeTDS;Server=db.local;Port=1433;Database=W_O_R_K_A;ClientCharset=UTF-8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(backend_->DataConnectionString(c.server, "W_O_R_K_A"), c.expected) << c.server;
    EXPECT_TRUE(backend_->OpensConnectionString(c.expected));
  }
  EXPECT_FALSE(backend_->OpensConnectionString("Provider=Orvane.Embedded;Server=ORVANE"));
}

// The login page's three messages come from the ODBC diagnostics of the connect.
TEST_F(SqlServerAdminTest, LoginFailuresShowTheLoginPagesMessages) {
  struct Case {
    ScriptedOdbc::Failure failure;
    std::string message;
  };
  const Case cases[] = {
      {{"08001", 20009, "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable"},
       "The server is stopped."},
      {{"HYT00", 0, "[FreeTDS][SQL Server]Login timeout expired"}, "The server is stopped."},
      {{"28000", 18456, "[FreeTDS][SQL Server]Login failed for user 'VESTRA'."},
       "Password incorrect."},
      {{"42000", 18456, "[FreeTDS][SQL Server]Login failed for user 'VESTRA'."},
       "Password incorrect."},
      {{"01000", 0, "[unixODBC][Driver Manager]Can't open lib 'FreeTDS' : file not found"},
       "Error, number 3706"},
      {{"IM002", 0, "[unixODBC][Driver Manager]Data source name not found"}, "Error, number 3706"},
      {{"42000", 4060, "Cannot open database \"master\" requested by the login."},
       "Error, number -2147199229"},
  };
  for (const Case& c : cases) {
    odbc_->FailConnect(c.failure);
    EXPECT_EQ(CheckLogin(*context_, "SQLPROD", "orvane", kMoveNext).message, c.message)
        << c.failure.message;
  }
  odbc_->ConnectSucceeds();
  const LoginResult ok = CheckLogin(*context_, "SQLPROD", "orvane", kMoveNext);
  EXPECT_TRUE(ok.ok) << ok.message;
  EXPECT_EQ(odbc_->connection_strings.back(),
            "Driver=FreeTDS;Servername=SQLPROD;Database=master;ClientCharset=UTF-8;UID=VESTRA;"
            "PWD=79rvane");
  EXPECT_EQ(odbc_->login_timeouts.back(), 15) << "a server that does not answer is not awaited";
  EXPECT_EQ(odbc_->statements.back(),
            "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))");
  EXPECT_EQ(odbc_->LiveHandles(), 1u) << "only the environment outlives the login";
}

// Data connections log in with what the login remembered; a password with ";" or "}" is
// braced so that the driver reads it back whole.
TEST_F(SqlServerAdminTest, DataConnectionsUseTheLoginOfTheirServer) {
  backend_->Connect("SQLPROD", "VESTRA", "79rvane;}")->Disconnect();
  auto connection = backend_->CreateConnection();
  connection->SetConnectionString(backend_->DataConnectionString("sqlprod", "Fire1") +
                                  ";Connect Timeout=5");
  odbc_->Answer("SELECT DB_NAME()", {{{"name"}, {{"Fire1"}}}});
  connection->Open();
  EXPECT_EQ(odbc_->connection_strings.back(),
            "Driver=FreeTDS;Servername=SQLPROD;Database=Fire1;ClientCharset=UTF-8;UID=VESTRA;"
            "PWD={79rvane;}}}");
  EXPECT_EQ(odbc_->login_timeouts.back(), 5);
  connection.reset();
  EXPECT_EQ(odbc_->LiveHandles(), 1u);
}

TEST_F(SqlServerAdminTest, DetachFindsTheDatabaseByItsFileAndEndsItsProcesses) {
  odbc_->Answer("SELECT name FROM sys.databases", {{{"name"}, {{"master"}, {"Fire1"}, {"Fire2"}}}});
  odbc_->Answer(
      "SELECT file_id AS fileid",
      {{{"fileid", "groupid", "size", "maxsize", "growth", "type", "state", "name", "filename"},
        {FileRow("1", "master", "/data/master.mdf")}}});
  odbc_->Answer(
      "SELECT file_id AS fileid, data_space_id AS groupid, size, max_size AS maxsize, "
      "growth, CAST(type AS int) AS type, CAST(state AS int) AS state, name, "
      "physical_name AS filename FROM sys.master_files WHERE database_id = "
      "DB_ID(N'Fire1')",
      {{{"fileid", "groupid", "size", "maxsize", "growth", "type", "state", "name", "filename"},
        {FileRow("1", "Fire1", Padded("/data/Fire1.mdf", 260)),
         FileRow("2", "Fire1_log", "/data/Fire1_log.LDF")}}});
  odbc_->Answer(
      "EXEC sp_who",
      {{{"spid", "ecid", "status", "loginame", "hostname", "blk", "dbname", "cmd", "request_id"},
        {WhoRow("51", "master"), WhoRow("53", Padded("Fire1", 30)), WhoRow("54", std::nullopt),
         WhoRow("57", "Fire1")}}});
  odbc_->Answer("KILL ", {});
  odbc_->Answer("EXEC sp_detach_db", {});

  EXPECT_EQ(server_routines::DetachDatabaseFile(*context_, "/data/Fire1.mdf",
                                                server_routines::AfterDetach::kAttachAgain),
            "Fire1");
  std::vector<std::string> changes;
  for (const std::string& statement : odbc_->statements) {
    if (statement.rfind("KILL", 0) == 0 || statement.rfind("EXEC sp_detach", 0) == 0) {
      changes.push_back(statement);
    }
  }
  EXPECT_THAT(changes, ElementsAre("KILL 53", "KILL 57",
                                   "EXEC sp_detach_db @dbname = N'Fire1', @skipchecks = N'false'"));
  EXPECT_TRUE(prompt_.Boxes().empty());
  // Written before the detach, kept on this machine until the database is attached again.
  std::vector<data::PendingAttachment> pending =
      sqlserver::PendingRecordFile::ForServer("sqlprod").Entries();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].name, "Fire1");
  EXPECT_EQ(Trim(pending[0].data_file), "/data/Fire1.mdf");
}

TEST_F(SqlServerAdminTest, TheLocalRecordKeepsAnyTextAndReplacesByName) {
  sqlserver::PendingRecordFile record = sqlserver::PendingRecordFile::ForServer("HOST\\SQL,1433");
  record.Record({"Fire\t1", "/data/a\tb\\c\n.mdf", 42, "msu", "2026-01-02 03:04:05"});
  record.Record({"Fire2", "/data/Fire2.mdf", 43, "orvane-msu", "2026-01-02 03:04:06"});
  record.Record({"FIRE2", "/data/other.mdf", 44, "msu", "2026-01-02 03:04:07"});
  EXPECT_THAT(record.Entries(),
              ElementsAre(data::PendingAttachment{"Fire\t1", "/data/a\tb\\c\n.mdf", 42, "msu",
                                                  "2026-01-02 03:04:05"},
                          data::PendingAttachment{"FIRE2", "/data/other.mdf", 44, "msu",
                                                  "2026-01-02 03:04:07"}));
  record.Remove("fire\t1");
  record.Remove("fire2");
  EXPECT_TRUE(record.Entries().empty());
  EXPECT_NE(backend_->RunLockFile("HOST\\SQL,1433").find(folder_.path()), std::string::npos);
}

TEST_F(SqlServerAdminTest, AttachNamesOnlyTheDataFileAndQuotesNames) {
  odbc_->Answer("SELECT name FROM sys.databases", {{{"name"}, {{"master"}}}});
  odbc_->Answer(
      "SELECT file_id AS fileid",
      {{{"fileid", "groupid", "size", "maxsize", "growth", "type", "state", "name", "filename"},
        {FileRow("1", "master", "/data/master.mdf")}}});
  odbc_->Answer("EXEC sp_attach_single_file_db", {});
  std::string name;
  server_routines::AttachDatabaseFile(*context_, "/data/O'Neil.mdf", name);
  EXPECT_EQ(name, "O'Neil");
  EXPECT_EQ(odbc_->statements.back(),
            "EXEC sp_attach_single_file_db @dbname = N'O''Neil', @physname = N'/data/O''Neil.mdf'");

  // The server's refusal reaches the box without the driver's prefixes.
  odbc_->Fail("EXEC sp_attach_single_file_db",
              {"42000", 1801, "[FreeTDS][SQL Server]Database 'O''Neil' already exists."});
  server_routines::AttachDatabaseFile(*context_, "/data/O'Neil.mdf", name);
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text, "Database 'O''Neil' already exists. -2147199229");

  // A database the server does not have has no files.
  auto admin = backend_->Connect("SQLPROD", "VESTRA", "x");
  odbc_->Answer("SELECT file_id AS fileid", {{{"fileid"}, {}}});
  const auto missing = Thrown<data::AdminError>([&] { admin->ListDatabaseFiles("Nowhere"); });
  EXPECT_EQ(missing, std::make_pair(data::kErrAdminOperation,
                                    std::string("The database Nowhere does not exist on the "
                                                "server SQLPROD.")));
  odbc_->Fail("EXEC sp_who", {"08S01", 0, "[FreeTDS][SQL Server]Write to the server failed"});
  EXPECT_EQ(Thrown<data::AdminError>([&] { admin->ListProcesses(); }).first,
            data::kErrServerStopped);
}

// The set-based copy runs on the destination connection across the two working databases; a
// failure undoes it and the row copy runs instead, with the same statements it always sends.
TEST_F(SqlServerAdminTest, TheSetBasedCopyFallsBackToTheRowCopy) {
  backend_->Connect("SQLPROD", "VESTRA", "x")->Disconnect();
  const auto open = [&](const std::string& database) {
    auto connection = backend_->CreateConnection();
    connection->SetConnectionString(backend_->DataConnectionString("SQLPROD", database));
    odbc_->Answer("SELECT DB_NAME()", {{{"name"}, {{database}}}});
    connection->Open();
    return connection;
  };
  auto a = open("W_O_R_K_A");
  auto b = open("W_O_R_K_B");
  odbc_->Answer(
      "SELECT * FROM L_Kind WHERE Standard = 0",
      {{{"KindCode", "Description"}, {{"ENG", std::nullopt}, {std::nullopt, "O'Brien"}}}});
  odbc_->Answer("BEGIN TRANSACTION", {});
  odbc_->Answer("SAVE TRANSACTION", {});
  odbc_->Answer("COMMIT TRANSACTION", {});
  odbc_->Answer("INSERT INTO [W_O_R_K_B]..L_Kind", {{{}, {}, 7}});
  odbc_->statements.clear();
  EXPECT_EQ(merge::CopyRows(*context_, *a, *b, true, "L_Kind"), 7);
  EXPECT_THAT(odbc_->statements,
              ElementsAre("SELECT * FROM L_Kind WHERE Standard = 0", "BEGIN TRANSACTION",
                          "SAVE TRANSACTION msu_bulk_copy",
                          "INSERT INTO [W_O_R_K_B]..L_Kind ([KindCode], [Description]) SELECT "
                          "[KindCode], [Description] FROM [W_O_R_K_A]..L_Kind WHERE Standard = 0",
                          "COMMIT TRANSACTION"));

  odbc_->Fail("INSERT INTO [W_O_R_K_B]..L_Kind",
              {"23000", 2627, "Violation of PRIMARY KEY constraint 'PK_L_Kind'."});
  odbc_->Answer("IF XACT_STATE()", {});
  odbc_->Answer("INSERT INTO L_Kind ( [KindCode],[Description]) VALUES ('ENG',NULL)",
                {{{}, {}, 1}});
  odbc_->Fail("INSERT INTO L_Kind ( [KindCode],[Description]) VALUES (NULL,",
              {"23000", 515, "Cannot insert the value NULL into column 'KindCode'."});
  odbc_->statements.clear();
  EXPECT_EQ(merge::CopyRows(*context_, *a, *b, true, "L_Kind"), 0);
  EXPECT_THAT(odbc_->statements[4], HasSubstr("ROLLBACK TRANSACTION msu_bulk_copy"));
  EXPECT_THAT(progress_.Texts(LogPage::kMerge),
              ElementsAre("Error, merge stopped, ",
                          "Error is -2147217900 - Cannot insert the value NULL into column "
                          "'KindCode'."));
  EXPECT_EQ(odbc_->statements.back(),
            "INSERT INTO L_Kind ( [KindCode],[Description]) VALUES (NULL,'O''Brien')");
}

}  // namespace
}  // namespace msu::testing
