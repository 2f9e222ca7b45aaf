// ovc: the desktop program. Usage: ovc [VIDEO-FILE]
//
// A file given on the command line (as the desktop's "Open with" passes
// it) is opened and played once the main window is up.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "common/message_box.h"
#include "common/paths.h"
#include "common/trace.h"
#include "engine/record/recording_session.h"
#include "platform/imaging/scaler_code.h"
#include "platform/media/library_log.h"
#include "transfer/qt/qt_transfer_window.h"
#include "ui/dialogs/qt/qt_message_box.h"
#include "ui/main/qt/program_icon.h"
#include "ui/main/qt/qt_main_window.h"
#include "ui/main/qt/screenshot_tour.h"

namespace {

// An exception that leaves an event handler ends the event loop here, where
// it can still be reported, instead of unwinding through the toolkit.
class OvcApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      if (!failed_) {
        failed_ = true;
        exit(1);
      }
      return false;
    }
  }
  bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

struct CommandLine {
  std::string file;              // the video to open, absolute; "" for none
  std::string screenshot_folder; // the hidden --screenshots FOLDER
  bool usage_error = false;
};

// The file argument as a path: a "file:" address is turned into its path;
// a relative path is made absolute now, since the program later works in
// its own folder.
std::string FileArgument(const QString& argument) {
  QString path = argument;
  if (argument.startsWith("file:")) path = QUrl(argument).toLocalFile();
  return QFileInfo(path).absoluteFilePath().toStdString();
}

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine line;
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == "--screenshots" && i + 1 < arguments.size()) {
      line.screenshot_folder = QFileInfo(arguments[++i]).absoluteFilePath().toStdString();
    } else if (argument == "--") {
      if (i + 1 < arguments.size() && line.file.empty()) line.file = FileArgument(arguments[++i]);
    } else if (argument.startsWith("-") && argument != "-") {
      line.usage_error = true;
    } else if (line.file.empty()) {
      line.file = FileArgument(argument);
    } else {
      line.usage_error = true;
    }
  }
  return line;
}

// The PSP transfer window, made when it is first asked for. It opens on the
// kind of PSP video the main window writes now; for other outputs it keeps
// the kind the user chose last.
QWidget* MakeTransferWindow(QWidget* parent) {
  auto* transfer = new ovc::QtTransferWindow(parent);
  if (auto* main = qobject_cast<ovc::QtMainWindow*>(parent)) {
    transfer->SetVideoKindSource([main, transfer] {
      const ovc::OutputConfig& output = main->presenter().output();
      if (!ovc::WritesPspFile(output)) return transfer->state().kind;
      return output.use_h264 ? ovc::PspVideoKind::kAvc : ovc::PspVideoKind::kMpeg4;
    });
  }
  return transfer;
}

}  // namespace

int main(int argc, char** argv) {
  // The libraries' complaints about damaged files go to the trace log.
  ovc::media::RouteLibraryLogToTrace();
  // A file reaching the size limit must fail the write (EFBIG), which the
  // writers report and finish from, not kill the program mid-file.
  signal(SIGXFSZ, SIG_IGN);
  // Before any thread scales a picture or opens a codec.
  ovc::ChooseScalerCode();

  OvcApplication app(argc, argv);
  app.setApplicationName(ovc::kProductName);
  app.setOrganizationName(ovc::kCompanyWord);
  app.setDesktopFileName("orvane-video-converter");
  app.setWindowIcon(ovc::ProgramIcon());

  const CommandLine line = ParseCommandLine(app.arguments());
  if (line.usage_error) {
    std::fprintf(stderr, "usage: ovc [VIDEO-FILE]\n");
    return 2;
  }

  std::unique_ptr<ovc::QtMainWindow> window;
  ovc::QtMessageBox message_box(nullptr);
  ovc::InstallMessageBox(&message_box);
  if (ovc::PrepareProgramFolder() != 0)
    ovc::TracePrintf("Cannot create the program folder %s", ovc::ProgramFolder().c_str());

  int result = 0;
  bool unexpected = false;
  try {
    ovc::QtMainWindowOptions options;
    options.transfer_window = MakeTransferWindow;
    window = std::make_unique<ovc::QtMainWindow>(options);
    // Messages centre on the main window from now on.
    ovc::QtMessageBox centred_box(window.get());
    ovc::InstallMessageBox(&centred_box);
    window->show();
    if (!line.screenshot_folder.empty()) {
      auto* tour = new ovc::ScreenshotTour(window.get(), line.screenshot_folder, line.file);
      tour->Start();
    } else if (!line.file.empty()) {
      ovc::QtMainWindow* shown = window.get();
      const std::string file = line.file;
      QTimer::singleShot(0, shown, [shown, file] { shown->OpenVideoFile(file); });
    }
    result = app.exec();
    ovc::InstallMessageBox(&message_box);
  } catch (...) {
    ovc::InstallMessageBox(&message_box);
    unexpected = true;
  }
  if (unexpected || app.failed()) {
    ovc::WriteTraceLine("Exception!!!!!!!!!!!!!!!!!!!!!");
    ovc::ShowMessageBox("Unexpected Exception", ovc::MessageKind::kError, ovc::kButtonOk, "Error");
    result = 1;
  }
  window.reset();
  ovc::WriteTraceLine("Exit");
  return result;
}
