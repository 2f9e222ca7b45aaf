#pragma once

#include <QStyledItemDelegate>
#include <QTableWidget>

#include <string>
#include <vector>

#include "ui/main/profile_panel_cells.h"

namespace ovc {

// A value-list editor (TimeValueList, VideoValueList, AudioValueList): two
// columns, the key ("Codec=") in the fixed-cell colour and the value in the
// normal colour, the text 2 pixels in from the cell's left and top. A value
// is typed (free-text rows), picked from a drop-down that also takes typing
// (pick lists), or only picked (read-only pick lists).
//
// SetRows never emits; an edit by the user emits cellsEdited with every
// value cell's text, top to bottom, once the editor has closed (queued, so
// that a receiver may replace the rows at once).
class ValueListEditor : public QTableWidget {
  Q_OBJECT

 public:
  explicit ValueListEditor(QWidget* parent = nullptr);

  // Replaces the rows, their choices and edit modes. An open editor is
  // closed without committing.
  void SetRows(const std::vector<ValueRow>& rows);
  const std::vector<ValueRow>& rows() const { return rows_; }
  // A cell's editor is open.
  bool editing() const { return state() == QAbstractItemView::EditingState; }
  // The value cells' texts as shown, top to bottom.
  std::vector<std::string> ValueTexts() const;

  // The height that shows every row without scrolling.
  int FittingHeight() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void cellsEdited(const std::vector<std::string>& cells);

 private:
  void OnItemChanged(QTableWidgetItem* item);

  std::vector<ValueRow> rows_;
  bool filling_ = false;
};

// Paints the cells as the value lists want them and gives pick-list rows a
// drop-down editor. Exposed for tests.
class ValueListDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit ValueListDelegate(ValueListEditor* editor);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

 private:
  ValueListEditor* list_;
};

}  // namespace ovc
