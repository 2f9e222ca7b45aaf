#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <type_traits>
#include <utility>

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
// thread without processing events deadlocks. Requires an application object.
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

}  // namespace ovc
