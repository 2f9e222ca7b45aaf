#pragma once

#include <QStringList>
#include <QTreeView>

#include <string>
#include <vector>

#include "transfer/qt/file_list_model.h"

namespace ovc {

// One file list of the transfer window: a folder in report style with
// several columns, multiple selection and dragging of files. It takes drops
// only from its partner (the other list) and tells the window, which then
// transfers the partner's selection into it.
class FileListView : public QTreeView {
  Q_OBJECT

 public:
  FileListView(FileListModel* model, QWidget* parent);

  FileListModel* fileModel() const { return model_; }
  void SetPartner(FileListView* partner) { partner_ = partner; }
  // Whether a drag from `source` (the widget it started in; null when it
  // comes from another program) may drop here: only from the partner.
  bool AcceptsDropFrom(const QObject* source) const;

  // Full paths of the selected files in list order; folders are left out.
  std::vector<std::string> SelectedFiles() const;
  // The item the title editor follows: the current item while it is
  // selected, else -1 (nothing, or the item was deselected).
  int SelectedItemRow() const;
  // Selects the rows of these paths (the others are deselected) and makes
  // the first of them current.
  void SelectPaths(const std::vector<std::string>& paths);

 signals:
  // Files of the partner were dropped here (delivered after the drag ended).
  void DroppedFromPartner();
  // The Delete key was pressed.
  void DeleteKeyPressed();
  // Backspace: show the folder above.
  void UpRequested();
  // The user changed the selection or the current item.
  void SelectionStateChanged();
  // The folder was read again (the selection is kept where it can be).
  void Reread();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  FileListModel* model_;
  FileListView* partner_ = nullptr;
  // The selection kept across a reading of the folder.
  std::vector<std::string> kept_selection_;
  std::string kept_current_;
};

}  // namespace ovc
