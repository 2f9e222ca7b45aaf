#pragma once

#include <map>
#include <string>

namespace ovc {

// Returns the language file's text for exactly this message (byte for byte,
// case-sensitive), else the message itself. The returned pointer stays valid
// for the rest of the run. The table is loaded from "./lang_eng.txt" (the
// current directory is the program folder) on the first call, once per run;
// safe to call from any thread.
const char* TranslateMessage(const char* message);

// Parses a language file into key -> text. Lines before the first line that
// begins with '@' are ignored; '@key' starts an entry (trailing white space
// cut from the key); each following line is appended as '\n' + the line as
// read; trailing line feeds and form feeds are cut from the text. Lines are
// read in pieces of at most 1023 characters, each piece counting as a line.
// The last entry of a key wins. A file that cannot be opened gives an empty
// table.
std::map<std::string, std::string> LoadTranslationTable(const std::string& path);

}  // namespace ovc
