#pragma once

#include <filesystem>

namespace pelliwick::app {

// Where the cues are: `dataFolder` (relative to the program's folder unless
// absolute) where it exists, as installed; otherwise the program's own
// folder, as in a build tree.
std::filesystem::path cueFolder(const std::filesystem::path& programFolder,
                                const std::filesystem::path& dataFolder);

// The same for this program: the folder of its real executable and the data
// folder the build was configured with. Throws Failure when the executable
// cannot be found.
std::filesystem::path cueFolder();

}  // namespace pelliwick::app
