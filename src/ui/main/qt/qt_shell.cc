#include "ui/main/qt/qt_shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cctype>

namespace ovc {

bool LooksLikeAddress(const std::string& target) {
  // A scheme: a letter, then letters, digits, '+', '-' or '.', then ':'.
  // One letter before the colon would be a drive, which this system has not.
  const size_t colon = target.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(target[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(target[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

namespace {

constexpr int kQueryLimitMs = 3000;

// Whether the desktop has a default program for `url`; true where that
// cannot be told (no xdg-mime: the desktop opens things its own way).
bool HasDefaultProgram(const QUrl& url) {
  const QString xdg_mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdg_mime.isEmpty()) return true;
  const QString type = url.isLocalFile()
                           ? QMimeDatabase().mimeTypeForFile(url.toLocalFile()).name()
                           : QStringLiteral("x-scheme-handler/") + url.scheme();
  QProcess query;
  query.start(xdg_mime, {QStringLiteral("query"), QStringLiteral("default"), type});
  if (!query.waitForFinished(kQueryLimitMs) || query.exitStatus() != QProcess::NormalExit)
    return true;
  return !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

bool QtShell::Open(const std::string& path) {
  if (path.empty()) return false;
  const QString text = QString::fromStdString(path);
  const QUrl url = LooksLikeAddress(path) ? QUrl(text)
                                          : QUrl::fromLocalFile(QDir::current().absoluteFilePath(text));
  return url.isValid() && HasDefaultProgram(url) && QDesktopServices::openUrl(url);
}

}  // namespace ovc
