#pragma once

#include <filesystem>

namespace pelliwick::win32 {

// The folder that holds the running program's executable file
// (GetModuleFileNameW), where its cues are. Throws Failure when Windows
// cannot tell.
std::filesystem::path programFolder();

}  // namespace pelliwick::win32
