// orvane-msu: the wizard. Everything is asked on the pages; the command line only answers
// --version and --help.
#include <QApplication>
#include <QMessageBox>
#include <cstring>
#include <exception>
#include <iostream>

#include "app/frm_wizard.h"
#include "app/qt_prompt.h"
#include "app/server_services.h"
#include "app/wizard_texts.h"
#include "core/application_folder.h"
#include "core/context.h"
#include "core/version.h"
#include "data/machine_servers.h"
#include "server_routines/run_locks.h"

namespace {

constexpr const char* kUsage =
    "Usage: orvane-msu [--version | --help]\n"
    "\n"
    "Starts the wizard of the Orvane Merge/Split Utility, which merges two databases of the\n"
    "suite into a new one or splits incidents out of one into a new one.\n"
    "\n"
    "  --version  print the version and exit\n"
    "  --help     show this text and exit\n";

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before Qt starts, so that they need no display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "orvane-msu " << msu::kVersion << "\n";
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kUsage << "\n"
              << msu::DescribeApplicationFolder(msu::RunningProgramsApplicationFolder());
    return 0;
  }

  QApplication application(argc, argv);
  // Ties the windows to the desktop entry (its icon and name on Wayland).
  QGuiApplication::setDesktopFileName("com.orvane.MergeSplit");
  const msu::ApplicationFolder located = msu::RunningProgramsApplicationFolder();
  try {
    msu::PrepareApplicationFolder(located);
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, msu::app::kCaption,
                          QString("The application folder %1 could not be prepared:\n%2")
                              .arg(QString::fromStdString(located.path), error.what()));
    return 1;
  }
  const std::string& folder = located.path;

  // The window comes first: its logs are where the routines write, through the Context.
  msu::app::QtPrompt prompt;
  msu::app::frmWizard wizard(folder, prompt);
  prompt.SetParent(&wizard);

  msu::data::MachineServers servers;
  msu::Context context(folder, wizard.progress(), prompt, servers.backend());
  // What another run is told while this window has working copies.
  context.locks.owner = msu::server_routines::kWindowRunName;
  msu::app::ServerServices services(context, &wizard.ProblemReportViewer());
  wizard.SetServices(&services);

  wizard.show();
  return application.exec();
}
