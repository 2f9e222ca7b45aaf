#pragma once

#include <QString>

#include <string>

namespace ovc {

// Our texts are UTF-8 byte strings.
inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }
inline std::string FromQString(const QString& text) { return text.toStdString(); }

// A text for a button or label caption shown as it is: every '&' doubled so
// that none is taken for a mnemonic marker.
inline QString LiteralCaption(const std::string& text) {
  return ToQString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

// A fixed caption with the keyboard mnemonic on the first occurrence of
// `letter` (the caption shows unchanged, the letter underlined). Without
// that letter the caption has no mnemonic.
inline QString WithMnemonic(const char* text, char letter) {
  QString caption = QString::fromUtf8(text);
  qsizetype at = caption.indexOf(QLatin1Char(letter));
  if (at >= 0) caption.insert(at, QLatin1Char('&'));
  return caption;
}

}  // namespace ovc
