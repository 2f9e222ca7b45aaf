#include "ui/main/qt/main_window_style.h"

namespace ovc {

QString MainWindowStyleSheet() {
  return QStringLiteral(R"css(
QFrame#Panel1 {
  background: #101010;
  border: 1px solid #5a5a5a;
}
QPushButton#StartRecordingButton {
  font-size: 13pt;
  font-weight: bold;
  color: #143d00;
  padding: 8px 22px;
  border: 1px solid #4d8a22;
  border-radius: 6px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #d9f5bd, stop:1 #8fd155);
}
QPushButton#StartRecordingButton:hover {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e7fbd3, stop:1 #a2dd6c);
}
QPushButton#StartRecordingButton:pressed {
  background: #86c74d;
}
QPushButton#StartRecordingButton:focus {
  border: 2px solid #2f6b0c;
}
QPushButton#StartRecordingButton:disabled {
  color: #7a7a7a;
  border-color: #b0b0b0;
  background: #e2e2e2;
}
QPushButton#OpenDVDButton {
  font-weight: bold;
  color: #0f3160;
  padding: 5px 14px;
  border: 1px solid #5b83b8;
  border-radius: 5px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e4efff, stop:1 #b5cff2);
}
QPushButton#OpenDVDButton:hover {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #eff6ff, stop:1 #c7dbf6);
}
QPushButton#OpenDVDButton:focus {
  border: 2px solid #2c5a97;
}
QPushButton#OpenDVDButton:disabled {
  color: #7a7a7a;
  border-color: #b0b0b0;
  background: #e2e2e2;
}
QPushButton#OpenDVDButton::menu-indicator {
  subcontrol-origin: padding;
  subcontrol-position: center right;
  right: 4px;
}
QLabel#SectionCaption {
  font-weight: bold;
  color: #3a3a3a;
}
QLabel#EstimatedSizeLabel, QLabel#MBperMinLabel {
  color: #2d4f7a;
}
)css");
}

}  // namespace ovc
