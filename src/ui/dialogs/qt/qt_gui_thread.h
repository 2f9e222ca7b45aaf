#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <functional>
#include <type_traits>
#include <utility>

class QDialog;

namespace ovc {

// Whether the calling thread is the one that runs the application's user
// interface (false while no application object exists).
inline bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

// Runs `func` on the user interface thread and returns its result. On that
// thread it is a plain call; from any other thread the call is queued to the
// application object and the caller blocks until it has run. The user
// interface thread must therefore keep processing events while another
// thread may be waiting here: a user interface thread that waits for such a
// thread without processing events deadlocks. Not for anything that waits
// for the user: see ShowDialogForOtherThread. Requires an application
// object.
template <typename Func>
auto CallOnGuiThread(Func&& func) -> std::invoke_result_t<Func&> {
  using Result = std::invoke_result_t<Func&>;
  if (OnGuiThread()) return func();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&func] { func(); },
                              Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&func, &result] { result = func(); },
                              Qt::BlockingQueuedConnection);
    return result;
  }
}

// Shows a modal dialog on behalf of a thread other than the user interface
// thread and blocks that thread until the dialog is finished; returns the
// dialog's result (the code QDialog::finished carries; for a message box
// the standard button pressed).
//
// `open` runs on the user interface thread and returns the dialog to show,
// or null when there is nothing to show (the result is then 0). The dialog
// is shown application modal but without a nested event loop: the user
// interface thread goes straight back to what it was doing, so an answer
// never waits for that thread to unwind, and the thread may even be waiting
// (RunProcessingEvents) for the caller. `delete_when_finished` deletes the
// dialog once it has answered. A dialog destroyed unanswered, or a request
// dropped because the application went away, gives 0. Call on the user
// interface thread itself is a mistake (exec() the dialog there); it
// returns 0 at once, as does a call without an application object.
int ShowDialogForOtherThread(std::function<QDialog*()> open, bool delete_when_finished);

// Runs `work` (which waits for other threads) and returns when it has
// returned. On the user interface thread, `work` runs on a helper thread
// while this thread goes on processing its events: dialogs that other
// threads show through ShowDialogForOtherThread (those threads may be what
// `work` waits for), posted messages and timers; user input only while a
// modal dialog is up, which keeps it from every other window. Elsewhere, or
// without an application object, `work` simply runs here.
void RunProcessingEvents(const std::function<void()>& work);

}  // namespace ovc
