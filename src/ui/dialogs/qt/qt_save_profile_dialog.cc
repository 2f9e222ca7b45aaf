#include "ui/dialogs/qt/qt_save_profile_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

#include "ui/dialogs/qt/qt_text.h"

namespace ovc {
namespace {

namespace text = save_profile_text;

}  // namespace

QtSaveProfileDialog::QtSaveProfileDialog(QWidget* parent) : QDialog(parent), prompt_(this) {
  setWindowTitle(QString::fromUtf8(text::kCaption));

  auto* label = new QLabel(WithMnemonic(text::kPrompt, 'E'), this);
  name_edit_ = new QLineEdit(this);
  name_edit_->setObjectName(QStringLiteral("ProfileNameEdit"));
  name_edit_->setMinimumWidth(260);
  label->setBuddy(name_edit_);

  auto* ok = new QPushButton(QString::fromUtf8(text::kOk), this);
  ok->setObjectName(QStringLiteral("OKBtn"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8(text::kCancel), this);
  cancel->setObjectName(QStringLiteral("CancelBtn"));
  cancel->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(name_edit_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  connect(ok, &QPushButton::clicked, this, [this] { done(kSaveProfileOk); });
  connect(cancel, &QPushButton::clicked, this, [this] { done(kSaveProfileCancel); });
}

bool QtSaveProfileDialog::Ask(std::string* name) {
  if (isVisible()) return false;
  std::optional<std::string> selected;
  if (!name->empty()) selected = *name;
  prompt_.FormShow(selected);
  name_edit_->selectAll();
  name_edit_->setFocus();
  if (exec() != kSaveProfileOk) return false;
  *name = prompt_.ProfileName();
  return true;
}

std::string QtSaveProfileDialog::ProfileName() const { return FromQString(name_edit_->text()); }

void QtSaveProfileDialog::SetProfileName(const std::string& name) {
  name_edit_->setText(ToQString(name));
}

}  // namespace ovc
