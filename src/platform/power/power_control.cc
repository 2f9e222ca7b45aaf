#include "platform/power/power_control.h"

#include "platform/shell/process.h"

namespace ovc {

int LogindPowerControl::PowerOff() {
  int status = RunProgram({busctl_, "call", "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "PowerOff", "b", "false"});
  return status == 0 ? 0 : -1;
}

}  // namespace ovc
