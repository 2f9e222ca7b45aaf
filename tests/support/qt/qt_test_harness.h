#pragma once

#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

class QMessageBox;

namespace ovc::test {

// The Qt test programs: linking ovc_qt_test_application gives each one
// QApplication for the whole program, on the offscreen platform unless
// QT_QPA_PLATFORM chooses another. These helpers run the event loop on the
// thread that runs the tests.

// How long a wait on a condition lasts before the test counts it as failed.
inline constexpr std::chrono::milliseconds kUiWaitLimit = std::chrono::seconds(20);

// Runs the event loop until `done` holds (checked after every few
// milliseconds of events); false when `limit` passed first.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = kUiWaitLimit);

// Runs every event posted so far (queued signals, messages other threads
// posted before the call), then returns: what a test checks afterwards has
// seen them all.
void RunPostedEvents();

// Runs `action` from the event loop as soon as `dialog` is the active modal
// window. When it does not come up within the wait limit the test fails
// and the active modal window is closed, so that the blocking call under
// test returns.
void WhenModal(QWidget* dialog, std::function<void()> action);

// Like WhenModal, for the next message box that comes up.
void WhenMessageBox(std::function<void(QMessageBox*)> action);

// A caption as the user sees it: mnemonic markers removed, "&&" shown as '&'.
std::string Shown(const QString& caption);

// The child of `parent` with the object name, failing the test when there
// is none of that type.
template <typename Widget>
Widget* Child(const QWidget& parent, const char* name) {
  auto* child = parent.findChild<Widget*>(QString::fromLatin1(name));
  if (!child) ADD_FAILURE() << "no control named " << name;
  return child;
}

}  // namespace ovc::test
