#pragma once

#include <QIcon>

namespace ovc {

// The program's icon: the installed one, else the one shipped beside the
// executable in the build tree.
QIcon ProgramIcon();

}  // namespace ovc
