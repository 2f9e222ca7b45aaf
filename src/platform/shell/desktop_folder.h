#pragma once

#include <string>

namespace ovc {

// The user's desktop folder, without a trailing '/': the XDG_DESKTOP_DIR
// entry of ${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs, else
// $HOME/Desktop. The folder is created when it is missing; a folder that
// cannot be created is not reported (whoever writes into it will be).
// Reads the environment and the file on every call.
std::string DesktopFolder();

// The desktop folder that the text of a user-dirs.dirs file names for the
// home folder `home`, or "" when the text has no usable XDG_DESKTOP_DIR line.
// The file is shell syntax as the xdg-user-dirs tools write it: lines
// XDG_DESKTOP_DIR="$HOME/Desktop" or XDG_DESKTOP_DIR="/absolute/path", '#'
// comments, backslash escapes inside the quotes. A value that is neither
// below "$HOME" nor absolute is ignored; the last usable line wins, as when
// the shell sources the file.
std::string DesktopFolderFromUserDirs(const std::string& text, const std::string& home);

}  // namespace ovc
