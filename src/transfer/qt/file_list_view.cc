#include "transfer/qt/file_list_view.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>

namespace ovc {

FileListView::FileListView(FileListModel* model, QWidget* parent)
    : QTreeView(parent), model_(model) {
  setModel(model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::CopyAction);
  setDropIndicatorShown(false);
  setSortingEnabled(true);
  sortByColumn(FileListModel::kNameColumn, Qt::AscendingOrder);
  header()->setStretchLastSection(true);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  // Wide enough for a PSP file name, a size and a short title; the date
  // takes the rest.
  const QFontMetrics metrics = fontMetrics();
  setColumnWidth(FileListModel::kNameColumn,
                 metrics.horizontalAdvance(QStringLiteral("M4V00000.MP4")) + 44);
  setColumnWidth(FileListModel::kSizeColumn,
                 metrics.horizontalAdvance(QStringLiteral("0000MB")) + 20);
  setColumnWidth(FileListModel::kTitleColumn,
                 metrics.horizontalAdvance(QStringLiteral("A title of some length")));

  // A reading of the folder resets the model; keep what was selected.
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
    kept_selection_.clear();
    for (const QModelIndex& index : selectionModel()->selectedRows())
      kept_selection_.push_back(model_->entry(index.row()).path);
    QModelIndex current = currentIndex();
    kept_current_ = current.isValid() ? model_->entry(current.row()).path : std::string();
  });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    if (!kept_current_.empty()) {
      auto at = std::find(kept_selection_.begin(), kept_selection_.end(), kept_current_);
      if (at != kept_selection_.end()) std::rotate(kept_selection_.begin(), at, at + 1);
    }
    {
      const QSignalBlocker quiet(selectionModel());
      SelectPaths(kept_selection_);
    }
    viewport()->update();
    emit Reread();
  });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit SelectionStateChanged(); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { emit SelectionStateChanged(); });
}

std::vector<std::string> FileListView::SelectedFiles() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::string> paths;
  for (const QModelIndex& index : rows) {
    const FileListEntry& entry = model_->entry(index.row());
    if (!entry.is_folder) paths.push_back(entry.path);
  }
  return paths;
}

int FileListView::SelectedItemRow() const {
  QModelIndex current = currentIndex();
  if (!current.isValid() || !selectionModel()->isRowSelected(current.row(), QModelIndex()))
    return -1;
  return current.row();
}

void FileListView::SelectPaths(const std::vector<std::string>& paths) {
  QItemSelection selection;
  QModelIndex first;
  for (const std::string& path : paths) {
    int row = model_->RowOf(path);
    if (row < 0) continue;
    QModelIndex index = model_->index(row, 0);
    if (!first.isValid()) first = index;
    selection.select(index, model_->index(row, FileListModel::kColumns - 1));
  }
  selectionModel()->clearSelection();
  if (first.isValid()) {
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::Select);
  } else {
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
}

bool FileListView::AcceptsDropFrom(const QObject* source) const {
  return partner_ && source == partner_;
}

void FileListView::dragEnterEvent(QDragEnterEvent* event) {
  if (AcceptsDropFrom(event->source())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void FileListView::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsDropFrom(event->source())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void FileListView::dropEvent(QDropEvent* event) {
  if (!AcceptsDropFrom(event->source())) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // The copy shows windows of its own; let the drag finish first.
  QTimer::singleShot(0, this, [this] { emit DroppedFromPartner(); });
}

void FileListView::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Delete) {
      emit DeleteKeyPressed();
      return;
    }
    if (event->key() == Qt::Key_Backspace) {
      emit UpRequested();
      return;
    }
  }
  QTreeView::keyPressEvent(event);
}

}  // namespace ovc
