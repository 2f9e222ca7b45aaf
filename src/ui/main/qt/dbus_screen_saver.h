#pragma once

#include <cstdint>

#include "engine/playback/screen_saver.h"

namespace ovc {

// Holds the desktop's screen saver off over the session bus
// (org.freedesktop.ScreenSaver Inhibit / UnInhibit) while a conversion
// runs. Without a session bus or a screen-saver service, or in a build of Qt
// without D-Bus, both calls do nothing; failures are traced, never shown.
// GUI thread only.
class DBusScreenSaver final : public ScreenSaverControl {
 public:
  DBusScreenSaver() = default;
  ~DBusScreenSaver() override;
  DBusScreenSaver(const DBusScreenSaver&) = delete;
  DBusScreenSaver& operator=(const DBusScreenSaver&) = delete;

  // A second call while inhibited keeps the first inhibition.
  void DisableScreenSaver() override;
  void RestoreScreenSaver() override;

  bool inhibited() const { return inhibited_; }

 private:
  uint32_t cookie_ = 0;
  bool inhibited_ = false;
};

}  // namespace ovc
