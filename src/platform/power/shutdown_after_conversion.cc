#include "platform/power/shutdown_after_conversion.h"

#include "common/message_box.h"
#include "common/trace.h"

namespace ovc {

int ShutdownAfterConversion(PowerControl& power) {
  WriteTraceLine("Shutting down after conversion");
  if (power.PowerOff() == 0) return 0;
  WriteTraceLine("Power off refused");
  ShowMessageBox(kNoShutdownPrivilegeText, MessageKind::kError, kButtonOk,
                 kNoShutdownPrivilegeCaption);
  return -1;
}

}  // namespace ovc
