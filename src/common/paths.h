#pragma once

#include <string>

namespace ovc {

// The company word: base name of the trace log and first part of the
// settings root.
inline constexpr const char kCompanyWord[] = "Orvane";
// The product name: main window caption and second part of the settings root.
inline constexpr const char kProductName[] = "Orvane Video Converter Zezivovi";

// The program folder holds the profiles, the language file, the manual and the
// trace log fallback: $OVC_HOME, else ${XDG_DATA_HOME:-~/.local/share}/
// orvane-video-converter. No trailing slash. Read from the environment on
// every call, so tests can point it elsewhere.
std::string ProgramFolder();

// The folder for the trace log and temporary files: $OVC_TEMP, else a folder
// only the user can reach, made when missing: $XDG_RUNTIME_DIR/orvane, else
// ${XDG_CACHE_HOME:-~/.cache}/orvane, else ${TMPDIR:-/tmp}/orvane-<uid>.
// Each must be a real folder (not a link) owned by the user; one that others
// may enter is closed to them (mode 0700). The program folder when none of
// them can be had.
std::string TempFolder();

// The user's home folder: $HOME, else the password database's entry.
std::string HomeFolder();

// The folder that holds the shipped data (profile/, lang_eng.txt, help.html,
// codec.reg, url.reg): <exe>/../share/orvane-video-converter. Empty when the
// executable's path cannot be found or the folder does not exist.
std::string ShippedDataFolder();

// Creates the program folder when missing and copies every shipped file that
// the program folder does not hold yet (files the user changed are kept).
// Returns 0, or -1 when the folder cannot be created.
int PrepareProgramFolder();

// The path with everything from its last '/' on cut off ("" when it has none).
std::string FolderOf(const std::string& path);

// Reads a whole regular file into `contents`. False when it can't be opened
// or read, or is not a regular file (a FIFO or device would block or never
// end); with `follow_links` false, also when the path is a symbolic link.
bool ReadRegularFile(const std::string& path, std::string* contents, bool follow_links = true);

}  // namespace ovc
