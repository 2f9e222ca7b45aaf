#include "ui/dialogs/qt/qt_save_file_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include "ui/dialogs/qt/qt_text.h"

namespace ovc {

QStringList QtNameFilters(const std::string& filter) {
  QStringList parts = ToQString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    patterns = patterns.simplified();
    if (patterns.isEmpty()) continue;
    filters << parts[i].trimmed() + QLatin1String(" (") + patterns + QLatin1Char(')');
  }
  return filters;
}

bool QtSaveFileDialog::Run(const SaveFileRequest& request, std::string* chosen) {
  QFileDialog dialog(parent_);
  if (request.pick_folder) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!request.initial_path.empty()) dialog.setDirectory(ToQString(request.initial_path));
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList folders = dialog.selectedFiles();
    if (folders.isEmpty() || folders.first().isEmpty()) return false;
    *chosen = FromQString(folders.first());
    return true;
  }
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  QStringList filters = QtNameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(ToQString(request.default_extension));
  if (!request.initial_path.empty()) {
    QFileInfo initial(ToQString(request.initial_path));
    if (initial.absoluteDir().exists()) dialog.setDirectory(initial.absolutePath());
    dialog.selectFile(initial.fileName());
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return false;
  *chosen = FromQString(files.first());
  return true;
}

}  // namespace ovc
