// The connection string for a database: the server product's own, plus what the suite's ini
// file adds.
#include "server_routines/connection_settings.h"

#include "data/data_access.h"
#include "routine_world.h"

namespace msu::testing {
namespace {

class ConnectionSettingsTest : public RoutineWorld {
 protected:
  // The string, or the description of the DataError thrown instead.
  std::string Get(const std::string& ini, const std::string& database = "W_O_R_K_A") {
    try {
      return server_routines::GetConnectionString(*context_, "CVN", ini, "ORVANE", database);
    } catch (const data::DataError& error) {
      EXPECT_EQ(error.number(), data::kErrConnection);
      return error.description();
    }
  }
  std::string Ini(const std::string& text) { return AppFileWith("cvn.ini", text); }
};

TEST_F(ConnectionSettingsTest, ServerStringForTheDatabaseWithTheSectionsOptions) {
  EXPECT_EQ(Get(Ini("[CVN]\n")), "Provider=Fake;Server=ORVANE;Database=W_O_R_K_A");
  EXPECT_EQ(Get(Ini("; suite\r\n[cvn]\r\nProvider=SQLOLEDB.1\r\n"), "Merged"),
            "Provider=Fake;Server=ORVANE;Database=Merged");
  EXPECT_EQ(Get(Ini("[Other]\nOptions=Wrong=1\n[CVN]\n  options = ;Application Name=CVN;\n")),
            "Provider=Fake;Server=ORVANE;Database=W_O_R_K_A;Application Name=CVN;");
}

TEST_F(ConnectionSettingsTest, MissingFileOrSectionNamesTheFile) {
  const std::string ini = AppFile("cvn.ini");
  EXPECT_EQ(Get(ini), "The suite's settings file \"" + ini +
                          "\" was not found; it is needed to connect to the database W_O_R_K_A.");
  Ini("[CVNX]\nOptions=a=b\n[ CVN\n");
  EXPECT_EQ(Get(ini), "The suite's settings file \"" + ini + "\" has no section [CVN].");
}

}  // namespace
}  // namespace msu::testing
