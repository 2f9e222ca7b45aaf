#pragma once

#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>

class QMessageBox;

namespace ovc::test {

// A caption as the user sees it: mnemonic markers removed, "&&" shown as '&'.
std::string Shown(const QString& caption);

// Runs `action` from the event loop as soon as `dialog` is the active modal
// window (polled every few milliseconds). When it does not come up within
// five seconds the test fails and the active modal window is closed, so that
// the blocking call under test returns.
void WhenModal(QWidget* dialog, std::function<void()> action);

// Like WhenModal, for the next message box that comes up.
void WhenMessageBox(std::function<void(QMessageBox*)> action);

// Lets queued events run until `done` holds; false after five seconds.
bool SpinUntil(const std::function<bool()>& done);

// The child of `parent` with the object name, failing the test when there
// is none of that type.
template <typename Widget>
Widget* Child(const QWidget& parent, const char* name) {
  auto* child = parent.findChild<Widget*>(QString::fromLatin1(name));
  if (!child) ADD_FAILURE() << "no control named " << name;
  return child;
}

}  // namespace ovc::test
