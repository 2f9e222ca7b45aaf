#pragma once

#include <QPointer>
#include <QProgressDialog>

#include "transfer/file_transfer.h"

namespace ovc {

// The progress window of a copy: the file being copied, a bar over the
// bytes of all files, and Cancel. It is modal to the window that copies and
// keeps the windows painted while the copy, which runs on the user
// interface thread, goes on.
class CopyProgressWindow {
 public:
  explicit CopyProgressWindow(QWidget* parent);
  ~CopyProgressWindow();
  CopyProgressWindow(const CopyProgressWindow&) = delete;
  CopyProgressWindow& operator=(const CopyProgressWindow&) = delete;

  // The progress callback of CopyFilesToFolder: shows the state and returns
  // false once the user pressed Cancel.
  bool Update(const CopyProgress& progress);
  CopyProgressCallback Callback() {
    return [this](const CopyProgress& progress) { return Update(progress); };
  }

  QProgressDialog* dialog() const { return dialog_; }

 private:
  QPointer<QProgressDialog> dialog_;
};

}  // namespace ovc
