#pragma once

#include <string>
#include <utility>

namespace ovc {

// Turns the computer off.
class PowerControl {
 public:
  virtual ~PowerControl() = default;

  // Asks the system to power off now, without asking the user and without
  // waiting for programs that would delay it. Returns 0 when the request was
  // accepted, -1 when it was refused (no right to do it) or could not be made.
  virtual int PowerOff() = 0;
};

// PowerControl through the login manager's PowerOff method on the system
// bus, made with the `busctl` client so that no D-Bus library is needed:
//   busctl call org.freedesktop.login1 /org/freedesktop/login1
//          org.freedesktop.login1.Manager PowerOff b false
// ("false": no interactive authorisation prompt). A refusal by the policy
// makes busctl exit non-zero.
class LogindPowerControl : public PowerControl {
 public:
  // `busctl` is the client program to run, by name or path.
  explicit LogindPowerControl(std::string busctl = "busctl") : busctl_(std::move(busctl)) {}

  // Blocks until the client has delivered the request (the bus call's own
  // time-out bounds it). -1 when the client can't start or exits non-zero.
  int PowerOff() override;

 private:
  std::string busctl_;
};

}  // namespace ovc
