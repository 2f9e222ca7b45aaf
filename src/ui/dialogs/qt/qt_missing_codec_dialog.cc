#include "ui/dialogs/qt/qt_missing_codec_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/qt/qt_gui_thread.h"
#include "ui/dialogs/qt/qt_text.h"

namespace ovc {
namespace {

namespace text = missing_codec_text;

// A push button drawn as a web link: keyboard reachable, unlike a link
// inside a label.
QPushButton* LinkButton(const QString& caption, const char* object_name, QWidget* parent) {
  auto* link = new QPushButton(caption, parent);
  link->setObjectName(QString::fromLatin1(object_name));
  link->setFlat(true);
  link->setAutoDefault(false);
  link->setCursor(Qt::PointingHandCursor);
  link->setStyleSheet(QStringLiteral(
      "QPushButton { color: palette(link); text-decoration: underline; border: none;"
      " padding: 2px; text-align: left; }"
      "QPushButton:focus { outline: 1px dotted palette(link); }"));
  return link;
}

}  // namespace

QtMissingCodecDialog::QtMissingCodecDialog(Shell* shell, QWidget* parent)
    : QDialog(parent), shell_(shell) {
  setWindowTitle(QString::fromUtf8(text::kCaption));

  auto* install_label = new QLabel(QString::fromUtf8(text::kInstall), this);
  auto* codec_link = LinkButton(WithMnemonic(text::kCodecLink, 'X'), "CodecLink", this);
  auto* more_label = new QLabel(QString::fromUtf8(text::kMoreCodecs), this);
  auto* more_link = LinkButton(WithMnemonic(text::kMoreCodecsLink, 'h'), "MoreCodecsLink", this);
  auto* close = new QPushButton(QString::fromUtf8(text::kClose), this);
  close->setObjectName(QStringLiteral("CloseBtn"));
  close->setDefault(true);

  auto* grid = new QGridLayout;
  grid->addWidget(install_label, 0, 0);
  grid->addWidget(codec_link, 0, 1, Qt::AlignLeft);
  grid->addWidget(more_label, 1, 0);
  grid->addWidget(more_link, 1, 1, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  connect(codec_link, &QPushButton::clicked, this, [this] { OpenPage(kCodecDownloadUrl); });
  connect(more_link, &QPushButton::clicked, this, [this] { OpenPage(kCodecListUrl); });
  connect(close, &QPushButton::clicked, this, [this] { done(kMissingCodecResult); });
}

void QtMissingCodecDialog::Show() {
  if (OnGuiThread()) {
    if (!isVisible()) exec();
    return;
  }
  // Asked from another thread: shown without holding the user interface
  // thread in a nested event loop (see ShowDialogForOtherThread). Already
  // up for someone else, it is not shown twice.
  ShowDialogForOtherThread([this]() -> QDialog* { return isVisible() ? nullptr : this; },
                           /*delete_when_finished=*/false);
}

void QtMissingCodecDialog::OpenPage(const char* url) {
  done(kMissingCodecResult);
  shell_->Open(url);
}

}  // namespace ovc
