#pragma once

#include "platform/power/power_control.h"

namespace ovc {

// Text and caption of the message shown when the system refuses to power off.
inline constexpr char kNoShutdownPrivilegeText[] = "No privilege to shutdown";
inline constexpr char kNoShutdownPrivilegeCaption[] = "Error";

// Powers the computer off at the end of a conversion, when the user asked
// for it. When `power` refuses, shows the error message box "No privilege to
// shutdown" (caption "Error", button OK), traces the failure and leaves the
// computer running. Returns PowerOff's result: 0 or -1.
int ShutdownAfterConversion(PowerControl& power);

}  // namespace ovc
