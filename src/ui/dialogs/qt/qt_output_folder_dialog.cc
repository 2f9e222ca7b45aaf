#include "ui/dialogs/qt/qt_output_folder_dialog.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/dialogs/qt/qt_save_file_dialog.h"
#include "ui/dialogs/qt/qt_text.h"

namespace ovc {
namespace {

namespace text = output_folder_text;

}  // namespace

QtOutputFolderDialog::QtOutputFolderDialog(const OutputConfig* output, std::string* output_path,
                                           QWidget* parent, SaveFileDialog* file_dialog)
    : QDialog(parent),
      own_file_dialog_(file_dialog ? nullptr : std::make_unique<QtSaveFileDialog>(this)),
      presenter_(this, file_dialog ? file_dialog : own_file_dialog_.get(), output, output_path) {
  BuildControls();
}

QtOutputFolderDialog::~QtOutputFolderDialog() = default;

void QtOutputFolderDialog::BuildControls() {
  setWindowTitle(QString::fromUtf8(text::kCaption));

  auto* prompt = new QLabel(QString::fromUtf8(text::kPrompt), this);
  // The captions of the first and third choice are set when the dialog opens.
  movie_folder_choice_ = new QRadioButton(this);
  movie_folder_choice_->setObjectName(QStringLiteral("RadioButton1"));
  SetDesktopMovieFolderCaption(DesktopMovieFolderCaption(false));
  auto* desktop_choice = new QRadioButton(WithMnemonic(text::kDesktop, 'D'), this);
  desktop_choice->setObjectName(QStringLiteral("RadioButton2"));
  home_choice_ = new QRadioButton(this);
  home_choice_->setObjectName(QStringLiteral("RadioButton3"));
  auto* other_choice = new QRadioButton(WithMnemonic(text::kOtherFolders, 'O'), this);
  other_choice->setObjectName(QStringLiteral("RadioButton4"));
  browse_button_ = new QPushButton(WithMnemonic(text::kBrowse, 'B'), this);
  browse_button_->setObjectName(QStringLiteral("BrowseButton"));
  browse_button_->setAutoDefault(false);
  // Keep the row's place while the button is hidden.
  QSizePolicy keep_place = browse_button_->sizePolicy();
  keep_place.setRetainSizeWhenHidden(true);
  browse_button_->setSizePolicy(keep_place);
  browse_button_->hide();

  // All choices start unselected; once one is made, one stays selected.
  auto* choices = new QButtonGroup(this);
  for (QRadioButton* choice : {movie_folder_choice_, desktop_choice, home_choice_, other_choice})
    choices->addButton(choice);

  auto* ok = new QPushButton(QString::fromUtf8(text::kOk), this);
  ok->setObjectName(QStringLiteral("TeButton2"));
  ok->setDefault(true);

  auto* other_row = new QHBoxLayout;
  other_row->addWidget(other_choice);
  other_row->addWidget(browse_button_);
  other_row->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  auto* choice_list = new QVBoxLayout;
  choice_list->setContentsMargins(16, 4, 0, 4);
  choice_list->addWidget(movie_folder_choice_);
  choice_list->addWidget(desktop_choice);
  choice_list->addWidget(home_choice_);
  choice_list->addLayout(other_row);
  layout->addLayout(choice_list);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  connect(movie_folder_choice_, &QRadioButton::clicked, this,
          [this] { presenter_.RadioButton1Click(); });
  connect(desktop_choice, &QRadioButton::clicked, this,
          [this] { presenter_.RadioButton2Click(); });
  connect(home_choice_, &QRadioButton::clicked, this, [this] { presenter_.RadioButton3Click(); });
  connect(other_choice, &QRadioButton::clicked, this, [this] { presenter_.RadioButton4Click(); });
  connect(browse_button_, &QPushButton::clicked, this,
          [this] { presenter_.BrowseButtonClick(); });
  connect(ok, &QPushButton::clicked, this, [this] { folder_ = presenter_.TeButton2Click(); });
}

std::string QtOutputFolderDialog::Ask(bool psp_profile) {
  if (isVisible()) return "";
  folder_.clear();
  presenter_.FormShow(psp_profile);
  adjustSize();
  if (exec() != QDialog::Accepted) return "";
  return folder_;
}

void QtOutputFolderDialog::SetDesktopMovieFolderCaption(const std::string& caption) {
  // Alt+F: the "f" of "folder".
  QString shown = LiteralCaption(caption);
  qsizetype at = shown.lastIndexOf(QLatin1String("folder"));
  if (at >= 0) shown.insert(at, QLatin1Char('&'));
  movie_folder_choice_->setText(shown);
}

void QtOutputFolderDialog::SetHomeFolderCaption(const std::string& caption) {
  home_choice_->setText(LiteralCaption(caption));
}

void QtOutputFolderDialog::SetBrowseButtonVisible(bool visible) {
  browse_button_->setVisible(visible);
}

void QtOutputFolderDialog::Close() { accept(); }

}  // namespace ovc
