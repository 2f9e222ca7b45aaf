#include "ui/main/qt/value_list_editor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace ovc {
namespace {

constexpr int kKeyColumn = 0;
constexpr int kValueColumn = 1;
constexpr int kTextInset = 2;  // pixels from the cell's left and top

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

ValueListEditor::ValueListEditor(QWidget* parent) : QTableWidget(parent) {
  setColumnCount(2);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  // One key column width for every list, so that lists stacked above each
  // other line up.
  horizontalHeader()->setSectionResizeMode(kKeyColumn, QHeaderView::Fixed);
  horizontalHeader()->resizeSection(kKeyColumn,
                                    fontMetrics().horizontalAdvance("Channels=") + 4 * kTextInset + 6);
  // Rows as high as a drop-down editor needs, and no higher.
  QComboBox probe;
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(
      std::max(probe.sizeHint().height(), fontMetrics().height() + 3 * kTextInset));
  horizontalHeader()->setSectionResizeMode(kValueColumn, QHeaderView::Stretch);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                  QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  setTabKeyNavigation(false);
  setShowGrid(true);
  setWordWrap(false);
  setItemDelegate(new ValueListDelegate(this));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  connect(this, &QTableWidget::itemChanged, this, &ValueListEditor::OnItemChanged);
}

void ValueListEditor::SetRows(const std::vector<ValueRow>& rows) {
  filling_ = true;
  // An open editor is released with the old rows; what it commits on the
  // way out lands while filling and is not an edit.
  setCurrentItem(nullptr);
  setRowCount(0);
  rows_ = rows;
  setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    auto* key = new QTableWidgetItem(Q(rows[r].key));
    key->setFlags(Qt::ItemIsEnabled);
    setItem(r, kKeyColumn, key);
    auto* value = new QTableWidgetItem(Q(rows[r].value));
    value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    value->setToolTip(rows[r].read_only ? "Choose from the list" : QString());
    setItem(r, kValueColumn, value);
  }
  filling_ = false;
  updateGeometry();
  setFixedHeight(FittingHeight());
}

std::vector<std::string> ValueListEditor::ValueTexts() const {
  std::vector<std::string> texts;
  for (int r = 0; r < rowCount(); ++r) {
    const QTableWidgetItem* value = item(r, kValueColumn);
    texts.push_back(value ? value->text().toStdString() : std::string());
  }
  return texts;
}

int ValueListEditor::FittingHeight() const {
  const int row_height = verticalHeader()->defaultSectionSize();
  return std::max(rowCount(), 1) * row_height + 2 * frameWidth();
}

QSize ValueListEditor::sizeHint() const { return QSize(220, FittingHeight()); }

QSize ValueListEditor::minimumSizeHint() const { return QSize(160, FittingHeight()); }

void ValueListEditor::OnItemChanged(QTableWidgetItem* item) {
  if (filling_ || item->column() != kValueColumn) return;
  // Delivered after the editor has finished, so the receiver may rebuild the
  // rows (and so delete the editor) without pulling it from under itself.
  const std::vector<std::string> cells = ValueTexts();
  QTimer::singleShot(0, this, [this, cells] { emit cellsEdited(cells); });
}

ValueListDelegate::ValueListDelegate(ValueListEditor* editor)
    : QStyledItemDelegate(editor), list_(editor) {}

void ValueListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QPalette& pal = opt.palette;
  const bool key = index.column() == kKeyColumn;
  const bool selected = !key && (opt.state & QStyle::State_Selected);
  QColor fill = key ? pal.color(QPalette::Button) : pal.color(QPalette::Base);
  QColor ink = key ? pal.color(QPalette::ButtonText) : pal.color(QPalette::Text);
  if (selected) {
    fill = pal.color(QPalette::Highlight);
    ink = pal.color(QPalette::HighlightedText);
  }
  if (!(opt.state & QStyle::State_Enabled)) ink = pal.color(QPalette::Disabled, QPalette::Text);
  painter->save();
  painter->fillRect(opt.rect, fill);
  painter->setPen(ink);
  painter->setFont(opt.font);
  const QRect text_rect = opt.rect.adjusted(kTextInset, kTextInset, -kTextInset, 0);
  QString text = opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, text_rect.width());
  painter->drawText(text_rect, Qt::AlignLeft | Qt::AlignTop, text);

  // Pick lists show that they drop down.
  const size_t row = static_cast<size_t>(index.row());
  if (!key && row < list_->rows().size() && list_->rows()[row].pick_list) {
    const int size = 4;
    const QPoint c(opt.rect.right() - 8, opt.rect.center().y());
    QPolygon arrow;
    arrow << QPoint(c.x() - size, c.y() - size / 2) << QPoint(c.x() + size, c.y() - size / 2)
          << QPoint(c.x(), c.y() + size / 2 + 1);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(selected ? ink : pal.color(QPalette::Mid));
    painter->drawPolygon(arrow);
  }
  if (opt.state & QStyle::State_HasFocus) {
    QPen pen(ink, 1, Qt::DotLine);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(opt.rect.adjusted(0, 0, -1, -1));
  }
  painter->restore();
}

QWidget* ValueListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
  const size_t row = static_cast<size_t>(index.row());
  if (index.column() != kValueColumn || row >= list_->rows().size()) return nullptr;
  const ValueRow& value_row = list_->rows()[row];
  if (!value_row.pick_list) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    return edit;
  }
  auto* combo = new QComboBox(parent);
  combo->setEditable(!value_row.read_only);
  combo->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& choice : value_row.choices) combo->addItem(Q(choice));
  // A choice from the drop-down is an edit at once, as the list's own
  // drop-down works.
  connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this, combo](int) {
    emit const_cast<ValueListDelegate*>(this)->commitData(combo);
    emit const_cast<ValueListDelegate*>(this)->closeEditor(combo);
  });
  (void)option;
  return combo;
}

void ValueListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  const QString text = index.data(Qt::EditRole).toString();
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    const int found = combo->findText(text);
    if (combo->isEditable()) combo->setEditText(text);
    if (found >= 0) combo->setCurrentIndex(found);
    if (!combo->isEditable() && found < 0) combo->setCurrentIndex(-1);
    return;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void ValueListDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                     const QModelIndex& index) const {
  if (auto* combo = qobject_cast<QComboBox*>(editor)) {
    // A read-only list with nothing chosen keeps the cell as it was.
    if (!combo->isEditable() && combo->currentIndex() < 0) return;
    const QString text = combo->currentText();
    if (text != index.data(Qt::EditRole).toString()) model->setData(index, text, Qt::EditRole);
    return;
  }
  auto* edit = qobject_cast<QLineEdit*>(editor);
  if (edit && edit->text() != index.data(Qt::EditRole).toString())
    model->setData(index, edit->text(), Qt::EditRole);
}

}  // namespace ovc
