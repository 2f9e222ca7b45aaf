#pragma once

#include <QString>

namespace ovc {

// The main window's light theme on top of the desktop's own style: the
// Convert button and the video source button stand out, the other buttons
// and the value lists keep the desktop's look.
QString MainWindowStyleSheet();

}  // namespace ovc
