#include "transfer/qt/copy_progress_window.h"

#include <QCoreApplication>
#include <QFile>

namespace ovc {

namespace {

// The bar counts thousandths of the bytes to copy.
constexpr int kBarSteps = 1000;

QString NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return QFile::decodeName(
      QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
}

}  // namespace

CopyProgressWindow::CopyProgressWindow(QWidget* parent)
    : dialog_(new QProgressDialog(parent)) {
  dialog_->setWindowTitle(QStringLiteral("Copying"));
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setMinimumDuration(0);
  dialog_->setRange(0, kBarSteps);
  dialog_->setMinimumWidth(360);
}

CopyProgressWindow::~CopyProgressWindow() { delete dialog_.data(); }

bool CopyProgressWindow::Update(const CopyProgress& progress) {
  if (!dialog_) return false;
  dialog_->setLabelText(QStringLiteral("Copying \"%1\" (%2 of %3)")
                            .arg(NameOf(progress.source))
                            .arg(progress.file_index + 1)
                            .arg(progress.file_count));
  int step = progress.bytes_total == 0
                 ? 0
                 : static_cast<int>(std::min<uint64_t>(progress.bytes_done, progress.bytes_total) *
                                    kBarSteps / progress.bytes_total);
  if (!dialog_->isVisible()) dialog_->show();
  dialog_->setValue(step);
  QCoreApplication::processEvents();
  return dialog_ && !dialog_->wasCanceled();
}

}  // namespace ovc
