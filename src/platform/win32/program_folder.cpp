// What this implements: the folder of the program's executable file, as
// GetModuleFileNameW gives it, however long its path.
#include "platform/win32/program_folder.h"

#include <windows.h>

#include <string>

#include "platform/win32/win32_failure.h"

namespace pelliwick::win32 {

std::filesystem::path programFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(),
                                            static_cast<DWORD>(path.size()));
    if (length == 0) failWithLastError("cannot find the program's folder");
    // A path that filled the buffer may have been cut short.
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace pelliwick::win32
