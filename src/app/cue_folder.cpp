#include "app/cue_folder.h"

#include <string>
#include <system_error>

#include "platform/failure.h"

namespace pelliwick::app {

std::filesystem::path cueFolder(const std::filesystem::path& programFolder,
                                const std::filesystem::path& dataFolder) {
  const auto data = (programFolder / dataFolder).lexically_normal();
  std::error_code error;
  return std::filesystem::is_directory(data, error) ? data : programFolder;
}

std::filesystem::path cueFolder() {
  std::error_code error;
  // The real executable, whatever link it was started through.
  const auto executable =
      std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    throw Failure("cannot find the program's folder: " + error.message());
  }
  return cueFolder(executable.parent_path(), PELLIWICK_DATA_FOLDER);
}

}  // namespace pelliwick::app
