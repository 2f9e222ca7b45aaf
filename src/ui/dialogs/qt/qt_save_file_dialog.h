#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <string>

#include "platform/shell/file_dialog.h"

namespace ovc {

// The toolkit's name filters for a save dialog filter of the form
// "Description|*.ext|Description|*.a;*.b": one "Description (*.ext)" entry
// per pair, patterns separated by ';' listed with blanks. A description
// without a pattern is left out; an empty filter gives no entry (every file).
QStringList QtNameFilters(const std::string& filter);

// SaveFileDialog through the toolkit's file dialog, shown modally over
// `parent`. It does not ask before overwriting: the conversion asks that
// itself when it starts. Call on the user interface thread.
class QtSaveFileDialog : public SaveFileDialog {
 public:
  explicit QtSaveFileDialog(QWidget* parent) : parent_(parent) {}

  // Starts in the folder of request.initial_path with its file name filled
  // in; adds request.default_extension to a name typed without one.
  bool Run(const SaveFileRequest& request, std::string* chosen) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace ovc
