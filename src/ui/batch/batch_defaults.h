#pragma once

#include <string>
#include <vector>

namespace ovc {

// What the batch window shows before the user changes anything: the same
// choices `multiconv` makes when it is given no options.
struct BatchDefaults {
  std::vector<std::string> profiles;  // the profile names, in list order
  int profile_index = -1;             // the stored last profile; -1 without profiles
  std::string output_folder;          // the stored output path's folder, ending in '/'
  int passes = 1;                     // the stored number of passes, 1 or 2
  int stored_split_mb = 0;            // the stored split size, MB; 0 or below: none
};

// Reads the defaults the way the converter's start-up does: prepares the
// program folder (so the shipped profiles are there on a first start),
// loads the stored settings and lists the profiles with the main window's
// profile list, which selects the stored last profile (else the first). It
// therefore writes what that start-up writes ("last_profile", "LastOutput",
// "Version", the codec pass mode), with the values it already had unless
// they named something that no longer exists.
BatchDefaults ReadBatchDefaults();

}  // namespace ovc
