#pragma once

#include <string>
#include <vector>

namespace ovc {

// What the batch converter says about the files of a conversion that a
// failure of its output ended (a write, or an encoder, failed): which of
// `parts` (every file the conversion opened, first part first) are still
// there and hold what was converted before the failure, or that nothing
// of it was kept (a writer removes a file it could not make playable; a
// removed folder takes the file with it).
std::string FailedOutputNote(const std::vector<std::string>& parts);

}  // namespace ovc
