#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry_store.h"

namespace ovc::registry {

// Registry script files (".reg"), the text format of the system's registry
// editor, both "REGEDIT4" and "Windows Registry Editor Version 5.00":
//
//   Windows Registry Editor Version 5.00
//   ; a comment
//   [HKEY_CURRENT_USER\Software\Maker\Product]    create the key
//   "Name"="text with \\ and \" escaped"           REG_SZ
//   @="the key's default value"                    REG_SZ, name ""
//   "Count"=dword:0000000a                         REG_DWORD
//   "Blob"=hex:01,02,ff,\                          REG_BINARY; a trailing '\'
//     03,04                                          continues the list
//   "Other"=hex(7):41,00,00,00                     type 7, the bytes as listed
//   "Gone"=-                                       delete the value
//   [-HKEY_CURRENT_USER\Software\Old]              delete the key and its subkeys
//
// Hives: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, or HKCU and HKLM. The text
// is UTF-8 (with or without a byte-order mark) or UTF-16LE with its mark.
// hex(N) values keep type N and their bytes unchanged, as the registry
// itself would; the store does not reinterpret them.
//
// Nothing in the file is trusted: a line that does not parse completely (an
// unknown hive, an escape other than \\ and \", more than eight dword digits,
// a byte that is not hex) is skipped and counted, and so is a value line
// outside any usable section. Parsing never stops at a bad line.

struct RegScript {
  int status = kSuccess;  // kInvalidData when the text is no registry script
  std::vector<Change> changes;
  int malformed_lines = 0;
};

// Parses the bytes of a script file.
RegScript ParseRegScript(std::string_view bytes);

// Applies a script file to the store in one transaction (the stand-in for a
// silent import by the registry editor). Returns kSuccess, also when lines
// were skipped; kFileNotFound when the file is missing; kInvalidData when it
// is no registry script or larger than 64 MiB; or the store's failure. The
// skipped lines, including changes the store refused, are counted in
// *malformed_lines and traced.
int ImportRegFile(const std::string& file, Store& store, int* malformed_lines = nullptr);
// The same into DefaultStore().
int ImportRegFile(const std::string& file);

}  // namespace ovc::registry
