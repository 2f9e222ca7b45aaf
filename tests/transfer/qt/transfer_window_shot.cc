// Shows the transfer window over the drives that OVC_DRIVES names and saves
// a picture of it:
//
//   transfer-window-shot OUTPUT.png [--avc] [--select NAME] [--size WIDTHxHEIGHT]
//
// --select chooses a file of the PSP list, so that the title editor shows
// it. Runs on any Qt platform (offscreen, xvfb).

#include <QApplication>
#include <QFile>
#include <QPixmap>

#include <cstdio>
#include <cstring>
#include <string>

#include "transfer/qt/file_list_view.h"
#include "transfer/qt/qt_transfer_window.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s OUTPUT.png [--avc] [--select NAME] [--size WIDTHxHEIGHT]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  const char* output = argv[1];
  bool avc = false;
  std::string select;
  int width = 0, height = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--avc") == 0) {
      avc = true;
    } else if (std::strcmp(argv[i], "--select") == 0 && i + 1 < argc) {
      select = argv[++i];
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc &&
               std::sscanf(argv[++i], "%dx%d", &width, &height) == 2) {
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n", argv[0], argv[i]);
      return 2;
    }
  }

  ovc::QtTransferWindow window(nullptr);
  window.SetVideoKindSource(
      [avc] { return avc ? ovc::PspVideoKind::kAvc : ovc::PspVideoKind::kMpeg4; });
  if (width > 0 && height > 0) window.resize(width, height);
  window.ShowWindow();
  auto* psp_list = window.findChild<ovc::FileListView*>(QStringLiteral("TeShellListView2"));
  if (!select.empty() && psp_list) {
    std::string folder = psp_list->fileModel()->folder();
    psp_list->SelectPaths({folder + "/" + select});
    psp_list->setFocus();
  }
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  if (!window.grab().save(QFile::decodeName(output), "PNG")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], output);
    return 1;
  }
  return 0;
}
