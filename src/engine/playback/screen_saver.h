#pragma once

namespace ovc {

// Keeps the screen saver off while a conversion runs (when the output
// settings ask for it).
class ScreenSaverControl {
 public:
  virtual ~ScreenSaverControl() = default;
  virtual void DisableScreenSaver() = 0;
  // Puts back what DisableScreenSaver found.
  virtual void RestoreScreenSaver() = 0;
};

// Without a desktop session there is no screen saver to hold off.
class HeadlessScreenSaver final : public ScreenSaverControl {
 public:
  void DisableScreenSaver() override {}
  void RestoreScreenSaver() override {}
};

}  // namespace ovc
