// Shows the batch window converting the given files and saves pictures of
// it into OUT_FOLDER: ready to start, converting the last file, finished.
//
//   batch-window-shot OUT_FOLDER PROGRAM FILE...
//
// PROGRAM is the converter the window runs (multiconv). The output goes to
// the stored output folder of the settings store in use. Runs on any Qt
// platform (offscreen, xvfb).

#include <QApplication>
#include <QDir>
#include <QProgressBar>

#include <chrono>
#include <cstdio>
#include <functional>

#include "support/qt/qt_test_harness.h"
#include "ui/batch/qt/batch_window.h"

namespace {

bool Save(QWidget* window, const QString& path) {
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  if (window->grab().save(path, "PNG")) return true;
  std::fprintf(stderr, "batch-window-shot: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s OUT_FOLDER PROGRAM FILE...\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  const QDir out(QString::fromLocal8Bit(argv[1]));
  ovc::BatchWindowOptions options;
  options.program = QString::fromLocal8Bit(argv[2]);
  ovc::BatchWindow window(options);
  QStringList files;
  for (int i = 3; i < argc; ++i) files.append(QString::fromLocal8Bit(argv[i]));
  window.AddFiles(files);
  window.show();
  if (!Save(&window, out.filePath("14-batch-ready.png"))) return 1;

  auto* bar = window.findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
  const QString last = QStringLiteral("Converting %1 of %1").arg(files.size());
  bool converting_taken = false;  // set before saving: saving runs the event loop
  bool converting_saved = false;
  QObject::connect(bar, &QProgressBar::valueChanged, &window, [&](int value) {
    if (converting_taken || value < 25) return;
    auto* label = window.findChild<QWidget*>(QStringLiteral("CurrentFileLabel"));
    if (!label || !label->property("text").toString().startsWith(last)) return;
    converting_taken = true;
    converting_saved = Save(&window, out.filePath("15-batch-converting.png"));
  });
  window.StartConversion();
  if (!ovc::test::WaitUntil([&] { return !window.converting(); }, std::chrono::minutes(4))) {
    std::fprintf(stderr, "batch-window-shot: the conversion did not end\n");
    return 1;
  }
  if (!converting_saved) {
    std::fprintf(stderr, "batch-window-shot: the last file ended before it could be shown\n");
    return 1;
  }
  return Save(&window, out.filePath("16-batch-finished.png")) ? 0 : 1;
}
