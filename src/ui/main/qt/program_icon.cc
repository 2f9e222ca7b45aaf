#include "ui/main/qt/program_icon.h"

#include <string>

#include "common/paths.h"

namespace ovc {

QIcon ProgramIcon() {
  QIcon icon = QIcon::fromTheme("orvane-video-converter");
  if (!icon.isNull()) return icon;
  const std::string shipped = ShippedDataFolder();
  if (!shipped.empty())
    icon = QIcon(QString::fromStdString(shipped + "/desktop/orvane-video-converter.svg"));
  return icon;
}

}  // namespace ovc
