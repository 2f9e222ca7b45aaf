#include "ui/main/qt/dbus_screen_saver.h"

#include "common/paths.h"
#include "common/trace.h"

#ifdef OVC_HAVE_QT_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace ovc {
namespace {

#ifdef OVC_HAVE_QT_DBUS
constexpr char kService[] = "org.freedesktop.ScreenSaver";
constexpr char kPath[] = "/org/freedesktop/ScreenSaver";
constexpr char kInterface[] = "org.freedesktop.ScreenSaver";
// A screen saver service that hangs must not hold up the start of a
// conversion for long, in milliseconds.
constexpr int kCallTimeout = 2000;
#endif

}  // namespace

DBusScreenSaver::~DBusScreenSaver() { RestoreScreenSaver(); }

void DBusScreenSaver::DisableScreenSaver() {
  if (inhibited_) return;
#ifdef OVC_HAVE_QT_DBUS
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Inhibit");
  call << QString(kProductName) << QString("Converting video");
  const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeout);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    TracePrintf("Screen saver not held off: %s", reply.errorMessage().toUtf8().constData());
    return;
  }
  cookie_ = reply.arguments().first().toUInt();
  inhibited_ = true;
#endif
}

void DBusScreenSaver::RestoreScreenSaver() {
  if (!inhibited_) return;
  inhibited_ = false;
#ifdef OVC_HAVE_QT_DBUS
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "UnInhibit");
  call << static_cast<uint>(cookie_);
  bus.call(call, QDBus::Block, kCallTimeout);
#endif
}

}  // namespace ovc
