#pragma once

#include <string>

namespace ovc {

// The open dialog's filter as the workflow writes it, "Description|*.a;*.b|All
// files|*.*" (pairs separated by '|', patterns by ';' with optional blanks),
// as a Qt name-filter list: "Description (*.a *.A *.b *.B);;All files (*)".
// Each extension pattern is offered in upper case too, since file names are
// case-sensitive here and cameras write ".AVI"; "*.*" means every file and
// becomes "*". A pair with no patterns, and a lone description at the end,
// are dropped. An empty filter gives "".
std::string OpenDialogNameFilters(const std::string& filter);

}  // namespace ovc
