#pragma once

#include <string>

namespace ovc {

// A pseudo-terminal pair for one child process: the child gets the far end
// (the "slave") as its standard error, so it reports progress as it does on
// a terminal, at once and in place, instead of the few whole lines it
// writes into a pipe. The near end (the "master") is read here without
// blocking. The far end is in raw mode: bytes pass unchanged, "\n" stays
// "\n".
//
// Use: Open(), start the child with slave_fd() duplicated onto its fd 2,
// CloseSlave() at once in this process (the end of the child's output is
// then seen as soon as the child and its descendants have closed theirs),
// read with ReadAvailable() whenever master_fd() is readable, and Drain()
// after the child has ended. Both ends are opened close-on-exec, so no other
// child inherits them. Not thread-safe.
class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Opens a fresh pair (closing any earlier one). Returns 0, or -1 when the
  // system has no pseudo-terminal to give.
  int Open();
  // Closes both ends.
  void Close();
  void CloseSlave();

  int master_fd() const { return master_; }
  int slave_fd() const { return slave_; }

  // Appends what can be read now to `bytes`. Returns false once the output
  // has ended (every writer closed the far end, or the pair is closed), true
  // while more may come.
  bool ReadAvailable(std::string* bytes);

  // Reads to the end of the output, waiting at most `limit_ms` milliseconds
  // in all for bytes still on their way. For use after the child has ended.
  void Drain(std::string* bytes, int limit_ms);

 private:
  int master_ = -1;
  int slave_ = -1;
};

}  // namespace ovc
