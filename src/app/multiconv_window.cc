// multiconv-window: the batch window, which runs `multiconv` once per file.
// `multiconv` started without arguments on a display runs this program in
// its place, so the converter itself never loads the windowing libraries.

#include <QApplication>

#include "common/message_box.h"
#include "common/paths.h"
#include "platform/media/library_log.h"
#include "ui/batch/qt/batch_window.h"
#include "ui/dialogs/qt/qt_message_box.h"
#include "ui/main/qt/program_icon.h"

int main(int argc, char** argv) {
  ovc::media::RouteLibraryLogToTrace();
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
