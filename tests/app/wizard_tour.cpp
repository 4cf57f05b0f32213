// wizard_tour STAGE OUT: drives the real wizard over the demo (scripts/demo.sh) through a whole
// merge, with a server that does not answer, a stop half-way and a consolidation, and a whole
// split, as a user would, and writes a picture of the screen at every page and every question
// into OUT (NN-name.png). Not a test: scripts/screenshots.sh builds and runs it under Xvfb, and
// a person looks at the pictures. On the way it runs `msu check` beside the window, before the
// window has working copies and while it has them, and keeps what msu said and what a picture
// cannot show (NN-name.txt).
//
// The demo's databases are in ~/Orvane/Databases, on the embedded server ORVANE with the Warden
// password "orvane"; the script sets HOME to a scratch folder. Exit status 0 when every page
// was reached, 1 (with the page that was not) otherwise.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/frm_view.h"
#include "app/frm_wizard.h"
#include "app/print_report.h"
#include "app/qt_prompt.h"
#include "app/server_services.h"
#include "core/context.h"
#include "data/composite_backend.h"
#include "data/embedded/backend.h"
#include "data/sqlserver/backend.h"
#include "server_routines/run_locks.h"

namespace {

using msu::app::frmWizard;

constexpr const char* kServer = "ORVANE";
constexpr const char* kWarden = "orvane";

class Tour {
 public:
  Tour(QString stage, QString out) : stage_(std::move(stage)), out_(std::move(out)) {
    databases_ = QDir::home().filePath("Orvane/Databases");
    password_file_ = out_ + "/.warden";
    QFile file(password_file_);
    if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write " + Std(out_));
    file.write(QByteArray(kWarden) + "\n");
  }

  ~Tour() { QFile::remove(password_file_); }

  void Merge();
  void Split();

 private:
  static std::string Std(const QString& text) { return text.toStdString(); }

  // A wizard over the real services, as main.cpp makes it, in the stage folder.
  void Open() {
    prompt_ = std::make_unique<msu::app::QtPrompt>();
    wizard_ = std::make_unique<frmWizard>(Std(stage_), *prompt_);
    prompt_->SetParent(wizard_.get());
    embedded_ = std::make_unique<msu::embedded::EmbeddedBackend>();
    sql_server_ = std::make_unique<msu::sqlserver::SqlServerBackend>();
    backend_ = std::make_unique<msu::data::CompositeBackend>(
        std::vector<msu::data::Backend*>{embedded_.get(), sql_server_.get()});
    context_ =
        std::make_unique<msu::Context>(Std(stage_), wizard_->progress(), *prompt_, *backend_);
    context_->locks.owner = msu::server_routines::kWindowRunName;
    services_ =
        std::make_unique<msu::app::ServerServices>(*context_, &wizard_->ProblemReportViewer());
    wizard_->SetServices(services_.get());
    wizard_->move(20, 20);
    wizard_->show();
    Settle();
  }

  void Close() {
    wizard_->close();
    Settle();
    services_.reset();
    context_.reset();
    wizard_.reset();
    backend_.reset();
    sql_server_.reset();
    embedded_.reset();
    prompt_.reset();
  }

  static void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }

  template <class T>
  T* Get(const char* name) {
    T* widget = wizard_->findChild<T*>(name);
    if (widget == nullptr) throw std::runtime_error(std::string("no control ") + name);
    return widget;
  }

  void Nav(int index) { Get<QPushButton>(("cmdNav" + std::to_string(index)).c_str())->click(); }
  void Next() { Nav(msu::app::kNavNext); }
  void Back() { Nav(msu::app::kNavBack); }

  void Expect(int step, const char* what) {
    Settle();
    if (wizard_->CurrentStep() != step) {
      throw std::runtime_error(std::string(what) + ": the wizard is on step " +
                               std::to_string(wizard_->CurrentStep()) + ", not " +
                               std::to_string(step));
    }
  }

  void Type(const char* box, const QString& text) { Get<QLineEdit>(box)->setText(text); }

  // The screen around every window on it, as the user sees it.
  void Shot(const QString& name) {
    Settle();
    QRect area;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible()) area = area.united(window->frameGeometry());
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    area = area.adjusted(-10, -10, 10, 10).intersected(screen->geometry());
    const QString file =
        QString("%1/%2-%3.png").arg(out_).arg(++shots_, 2, 10, QChar('0')).arg(name);
    screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file);
    std::printf("%s\n", Std(file).c_str());
  }

  // Runs `act` on the next modal window as soon as it is on screen (a question, a file dialog):
  // the code that opens it waits inside the window's own event loop meanwhile. The watch ends
  // with the first such window; deleting the timer returned ends it before.
  QPointer<QTimer> OnModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      act(modal);
    });
    timer->start();
    return timer;
  }

  // Answers the next message box with `button`, after its picture.
  void Answer(const QString& name, QMessageBox::StandardButton button) {
    OnModal([this, name, button](QWidget* modal) {
      Shot(name);
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box != nullptr && box->button(button) != nullptr) {
        box->button(button)->click();
      } else {
        modal->close();
      }
    });
  }

  // `msu-server ARGS` with the Warden password, for the state of the demo's server.
  void RunServer(const QStringList& args) {
    QProcess server;
    server.start(stage_ + "/msu-server", args + QStringList{"--password-file", password_file_});
    if (!server.waitForFinished(60000) || server.exitCode() != 0) {
      throw std::runtime_error("msu-server " + Std(args.join(' ')) + " failed");
    }
  }

  // `msu ARGS` beside the window; its exit status and output go into NN-name.txt.
  void RunMsu(const QString& name, const QStringList& args) {
    QProcess msu;
    msu.setProcessChannelMode(QProcess::MergedChannels);
    msu.start(stage_ + "/msu", args + QStringList{"--password-file", password_file_});
    // The window keeps drawing while msu works.
    while (!msu.waitForFinished(100)) QApplication::processEvents();
    const QString file =
        QString("%1/%2-%3.txt").arg(out_).arg(++shots_, 2, 10, QChar('0')).arg(name);
    QFile text(file);
    if (text.open(QIODevice::WriteOnly)) {
      text.write(("$ msu " + args.join(' ') + "\n").toUtf8());
      text.write(msu.readAll());
      text.write(QString("(exit status %1)\n").arg(msu.exitCode()).toUtf8());
    }
    std::printf("%s\n", Std(file).c_str());
  }

  // A line of what the tour saw that a picture does not show, in NN-name.txt.
  void Note(const QString& name, const QString& text) {
    const QString file =
        QString("%1/%2-%3.txt").arg(out_).arg(++shots_, 2, 10, QChar('0')).arg(name);
    QFile note(file);
    if (note.open(QIODevice::WriteOnly)) note.write((text + "\n").toUtf8());
    std::printf("%s\n", Std(file).c_str());
  }

  QStringList CheckArgs() const {
    return {"check",
            "--server",
            kServer,
            "--db1",
            databases_ + "/Fire1.mdf",
            "--db2",
            databases_ + "/Fire2.mdf",
            "--new",
            databases_ + "/FromMsu.mdf"};
  }

  QTreeWidget* Log(int index) {
    return Get<QTreeWidget>(("lstProgress" + std::to_string(index)).c_str());
  }

  void LogIn(bool split) {
    Get<QRadioButton>(split ? "optSplitMerge0" : "optSplitMerge1")->setChecked(true);
    Shot(split ? "split-operation" : "merge-operation");
    Next();
    Expect(msu::app::kStepServer, "server page");
    Get<QLineEdit>("txtPassword")->setText(kWarden);
  }

  QString stage_;
  QString out_;
  QString databases_;
  QString password_file_;
  int shots_ = 0;
  std::unique_ptr<msu::app::QtPrompt> prompt_;
  std::unique_ptr<frmWizard> wizard_;
  std::unique_ptr<msu::embedded::EmbeddedBackend> embedded_;
  std::unique_ptr<msu::sqlserver::SqlServerBackend> sql_server_;
  std::unique_ptr<msu::data::CompositeBackend> backend_;
  std::unique_ptr<msu::Context> context_;
  std::unique_ptr<msu::app::ServerServices> services_;
};

void Tour::Merge() {
  Open();
  LogIn(false);
  // The list holds the servers a user set up, nothing else.
  Get<QComboBox>("cboServers")->showPopup();
  Shot("merge-server-list");
  Get<QComboBox>("cboServers")->hidePopup();

  // A name no server answers to.
  Get<QComboBox>("cboServers")->setEditText("NOWHERE");
  Next();
  Expect(msu::app::kStepServer, "unknown server");
  Shot("merge-server-unknown");

  // A server that does not answer; then Cancel, which closes the window without a box.
  RunServer({"stop", kServer});
  Get<QComboBox>("cboServers")->setEditText(kServer);
  Next();
  Expect(msu::app::kStepServer, "stopped server");
  Shot("merge-server-stopped");
  bool boxed = false;
  QPointer<QTimer> watch = OnModal([this, &boxed](QWidget* modal) {
    boxed = true;
    Shot("merge-cancel-box");
    modal->close();
  });
  Nav(msu::app::kNavCancel);
  Settle();
  delete watch.data();
  Note("merge-cancel-after-stopped-server",
       boxed ? "Cancel after the stopped server: a box appeared while the window closed"
             : "Cancel after the stopped server: the window closed without a box");
  Close();
  RunServer({"start", kServer});

  Open();
  LogIn(false);
  Next();
  Expect(msu::app::kStepMergePaths, "merge database page");
  // Logged in, no working copies yet: the command line works beside the window.
  RunMsu("msu-check-beside-login", CheckArgs());

  // An existing file at the new database's path: the question, and the label naming the file.
  QFile(databases_ + "/Merged.mdf").open(QIODevice::WriteOnly);
  Type("txtDataBasePath0", databases_ + "/Fire1.mdf");
  Type("txtDataBasePath1", databases_ + "/Fire2.mdf");
  Type("txtDataBasePath2", "Merged");
  Shot("merge-paths");
  Answer("merge-overwrite-question", QMessageBox::No);
  Next();
  Expect(msu::app::kStepMergePaths, "overwrite refused");
  Answer("merge-overwrite-question-again", QMessageBox::Yes);
  Next();
  Expect(msu::app::kStepCheck, "check page");
  Shot("merge-check-page");
  Get<QPushButton>("cmdCheckDB")->click();
  Settle();
  Shot("merge-check-done");
  // The window has working copies now: msu is told whose they are.
  RunMsu("msu-check-while-window-checked", CheckArgs());

  // The report full screen, saved under a bare name, printed to a PDF file.
  Next();
  Expect(msu::app::kStepMerge, "merge page");
  msu::app::frmView* viewer = wizard_->Viewer();
  if (viewer == nullptr) throw std::runtime_error("the report viewer did not open");
  viewer->resize(900, 620);
  viewer->move(60, 60);
  Shot("merge-report-viewer");
  OnModal([this](QWidget* modal) {
    Shot("merge-report-save-dialog");
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) {
      modal->close();
      return;
    }
    // As a user does it: a bare name in the name box, then Save.
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
    if (name == nullptr || buttons == nullptr ||
        buttons->button(QDialogButtonBox::Save) == nullptr) {
      dialog->reject();
      return;
    }
    name->setText("problem-report");
    buttons->button(QDialogButtonBox::Save)->click();
  });
  viewer->cmdSave()->click();
  Settle();
  const QString saved = databases_ + "/problem-report.rtf";
  Note("merge-report-saved", "Save, with the bare name problem-report typed: " + saved +
                                 (QFile::exists(saved) ? " was written" : " is missing"));
  const QString pdf = out_ + "/problem-report.pdf";
  wizard_->Printing().SetChoosePrinter([pdf](QPrinter& printer, QWidget*) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return true;
  });
  viewer->cmdPrint()->click();
  Shot("merge-report-printed");
  viewer->cmdClose()->click();

  // A merge stopped half-way by Back: the check page says what follows.
  Shot("merge-page");
  auto* stopper = new QTimer;
  stopper->setInterval(5);
  QObject::connect(stopper, &QTimer::timeout, [this, stopper] {
    if (Log(2)->topLevelItemCount() < 4) return;
    stopper->stop();
    stopper->deleteLater();
    Back();
  });
  stopper->start();
  Get<QPushButton>("cmdMerge")->click();
  Expect(msu::app::kStepCheck, "stopped merge");
  Shot("merge-stopped-check-page");
  Next();  // disabled: nothing happens
  Expect(msu::app::kStepCheck, "Next after a stopped merge");
  Get<QPushButton>("cmdCheckDB")->click();
  Settle();
  Shot("merge-check-again");
  Next();
  Expect(msu::app::kStepMerge, "merge page again");
  if (wizard_->Viewer() != nullptr) wizard_->Viewer()->hide();
  Shot("merge-page-clean");
  Get<QPushButton>("cmdMerge")->click();
  Settle();
  Shot("merge-done");
  RunMsu("msu-check-after-window-merged", CheckArgs());

  // All incidents into one.
  Answer("merge-incidents-question", QMessageBox::Yes);
  Next();
  Expect(msu::app::kStepMergeIncidents, "incident list");
  Shot("merge-incident-list");
  QTreeWidget* incidents = Get<QTreeWidget>("lstMergeInc");
  if (incidents->topLevelItemCount() == 0) throw std::runtime_error("no incidents listed");
  incidents->topLevelItem(0)->setCheckState(0, Qt::Checked);
  Shot("merge-incident-ticked");
  Next();
  Expect(msu::app::kStepMergeFinished, "merge summary");
  Shot("merge-finished");
  Nav(msu::app::kNavFinish);
  Settle();
  Close();
}

void Tour::Split() {
  Open();
  LogIn(true);
  Next();
  Expect(msu::app::kStepSplitPaths, "split database page");

  // A database file the server does not know.
  QFile::remove(databases_ + "/Detached.mdf");
  QFile::copy(databases_ + "/Split1.mdf", databases_ + "/Detached.mdf");
  Type("txtDataBasePath3", databases_ + "/Detached.mdf");
  Type("txtDataBasePath4", "SplitResult");
  Next();
  Expect(msu::app::kStepSplitPaths, "unattached database");
  Shot("split-not-attached");
  QFile::remove(databases_ + "/Detached.mdf");

  Type("txtDataBasePath3", databases_ + "/Split1.mdf");
  Shot("split-paths");
  Next();
  Expect(msu::app::kStepSplitSelect, "incident selection");
  Shot("split-incidents");
  QTreeWidget* incidents = Get<QTreeWidget>("lstIncidents");
  for (int i = 1; i < incidents->topLevelItemCount() && i < 4; i += 2) {
    incidents->topLevelItem(i)->setCheckState(0, Qt::Checked);
  }
  Shot("split-incidents-ticked");
  Next();
  Expect(msu::app::kStepSplit, "split page");
  Shot("split-page");
  Get<QPushButton>("cmdSplit")->click();
  Settle();
  Shot("split-done");
  Next();
  Expect(msu::app::kStepSplitFinished, "split summary");
  Shot("split-finished");
  Nav(msu::app::kNavFinish);
  Settle();
  Close();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: wizard_tour STAGE_FOLDER OUT_FOLDER\n");
    return 2;
  }
  QDir().mkpath(argv[2]);
  // A page that never comes must not hold the script for ever.
  QTimer::singleShot(600000, [] {
    std::fprintf(stderr, "wizard_tour: still running after 10 minutes; given up\n");
    std::_Exit(1);
  });
  try {
    Tour tour(QDir(argv[1]).absolutePath(), QDir(argv[2]).absolutePath());
    tour.Merge();
    tour.Split();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "wizard_tour: %s\n", error.what());
    return 1;
  }
  return 0;
}
