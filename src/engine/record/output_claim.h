#pragma once

#include <string>
#include <vector>

namespace ovc {

// Whether two paths name one file: the same device and inode once links are
// followed. False when either cannot be read.
bool SameFile(const std::string& a, const std::string& b);

// Every path a conversion into `output_path` may write: the file itself,
// its split parts "<base> - 02.<ext>" … "<base> - 99.<ext>" and, for a PSP
// file, its thumbnail "<base>.THM" (or ".thm").
std::vector<std::string> PathsAConversionWrites(const std::string& output_path, bool psp_file);

// The first of PathsAConversionWrites that is the file `source_path`
// itself (by identity, not by spelling: "./", links and hard links
// included), or "" when none is.
std::string OutputThatIsTheSource(const std::string& source_path, const std::string& output_path,
                                  bool psp_file);

// The message that refuses such an output.
std::string OutputIsTheSourceText(const std::string& path);

// The path of a split part: "<base> - NN.<ext>", the extension being what
// follows the last '.' of the file name (none when the name has no '.').
std::string PartPath(const std::string& first_part, int number);

// A claim on an output file while it is written: another conversion (in
// this program or another) asking for the same file is refused, so that
// two writers never interleave in one file. The claim is an advisory lock
// on the file, taken without truncating it; it ends with Release or the
// object.
class OutputClaim {
 public:
  OutputClaim() = default;
  OutputClaim(const OutputClaim&) = delete;
  OutputClaim& operator=(const OutputClaim&) = delete;
  ~OutputClaim() { Release(); }

  // Claims `path` (creating it empty when missing). False when another
  // writer holds it, or it cannot be opened (errno says why).
  bool Take(const std::string& path);
  // Claims `path` only by creating it: false (errno EEXIST) when any file
  // of that name is there already, so two conversions that chose the same
  // new name cannot both take it.
  bool TakeNew(const std::string& path);
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace ovc
