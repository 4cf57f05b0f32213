// orvane-msu: the wizard. No command-line options; everything is asked on the pages.
#include <QApplication>

#include "app/frm_wizard.h"
#include "app/qt_prompt.h"
#include "app/server_services.h"
#include "core/context.h"
#include "data/composite_backend.h"
#include "data/embedded/backend.h"
#include "data/sqlserver/backend.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const std::string folder = msu::ProgramFolder();

  // The window comes first: its logs are where the routines write, through the Context.
  msu::app::QtPrompt prompt;
  msu::app::frmWizard wizard(folder, prompt);
  prompt.SetParent(&wizard);

  // The embedded instances first, then the SQL Servers configured on the machine; each server
  // name chooses its own.
  msu::embedded::EmbeddedBackend embedded(msu::embedded::DefaultInstanceRoot());
  msu::sqlserver::SqlServerBackend sql_server;
  msu::data::CompositeBackend backend({&embedded, &sql_server});
  msu::Context context(folder, wizard.progress(), prompt, backend);
  msu::app::ServerServices services(context, &wizard.ProblemReportViewer());
  wizard.SetServices(&services);

  wizard.show();
  return application.exec();
}
