#pragma once

#include <string>
#include <vector>

namespace ovc {

// Starting other programs without a command interpreter: the arguments go to
// the program exactly as given, one element each, so no text is ever parsed
// as shell syntax. Standard input, output and error of the started program
// are /dev/null; it gets this process's environment and an empty signal mask.

// The executable file a program name stands for: a name with a '/' as it is,
// otherwise the first executable match in the folders of $PATH (or
// "/usr/local/bin:/usr/bin:/bin" when $PATH is unset). "" when there is none.
std::string FindProgram(const std::string& name);

// Starts argv[0] (looked up by FindProgram) with the arguments argv[1..] in a
// session of its own and returns at once, without waiting for it to finish.
// The program is not a child of this process, so it never becomes a zombie
// here and needs no reaping. Returns true when the program's image was
// started, false when argv is empty, the program is not found or cannot be
// executed. Safe to call from any thread.
bool StartDetached(const std::vector<std::string>& argv);

// Runs argv[0] (looked up by FindProgram) with the arguments argv[1..] and
// waits until it ends. Returns its exit status (0..255), or -1 when it could
// not be started or was ended by a signal. Blocks for as long as the program
// runs.
int RunProgram(const std::vector<std::string>& argv);

}  // namespace ovc
