// multiconv: converts video files from the command line with the main
// window's workflow, without a screen. Started without any argument on a
// display (as the desktop program's "Batch Convert Video Files" starts it),
// it opens the batch window instead, which runs this program once per file.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "app/multiconv/batch_converter.h"
#include "app/multiconv/batch_options.h"
#include "platform/media/library_log.h"

#ifdef OVC_MULTICONV_WINDOW
#include <QApplication>

#include "common/message_box.h"
#include "common/paths.h"
#include "ui/batch/qt/batch_window.h"
#include "ui/dialogs/qt/qt_message_box.h"
#include "ui/main/qt/program_icon.h"
#endif

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) { interrupted.store(true); }

#ifdef OVC_MULTICONV_WINDOW

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int RunBatchWindow(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName("multiconv");
  app.setOrganizationName(ovc::kCompanyWord);
  app.setDesktopFileName("orvane-video-converter");
  app.setWindowIcon(ovc::ProgramIcon());
  // Messages of the start-up centre on the screen, later ones on the window.
  ovc::QtMessageBox screen_box(nullptr);
  ovc::MessageBox* previous = ovc::InstallMessageBox(&screen_box);
  int result = 0;
  {
    ovc::BatchWindow window;
    ovc::QtMessageBox window_box(&window);
    ovc::InstallMessageBox(&window_box);
    window.show();
    result = app.exec();
    ovc::InstallMessageBox(&screen_box);
  }
  ovc::InstallMessageBox(previous);
  return result;
}

#endif

}  // namespace

int main(int argc, char** argv) {
  // The libraries' complaints about damaged files go to the trace log.
  ovc::media::RouteLibraryLogToTrace();

  std::vector<std::string> args(argv + 1, argv + argc);
#ifdef OVC_MULTICONV_WINDOW
  if (args.empty() && HasDisplay()) return RunBatchWindow(argc, argv);
#endif
  char buffer[4096];
  const std::string working_folder = getcwd(buffer, sizeof buffer) ? buffer : ".";
  ovc::BatchOptions options;
  std::string error;
  if (!ovc::ParseBatchOptions(args, working_folder, &options, &error)) {
    std::cerr << "multiconv: " << error << "\n" << ovc::BatchUsage();
    return 2;
  }
  if (options.help) {
    std::cout << ovc::BatchUsage();
    return 0;
  }

  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed pipe on stdout must not kill a conversion half-way.
  signal(SIGPIPE, SIG_IGN);
  // Nor may the file size limit: past it a write fails (EFBIG), which the
  // writers report, finishing what they wrote.
  signal(SIGXFSZ, SIG_IGN);

  return ovc::RunBatch(options, std::cout, std::cerr, &interrupted);
}
