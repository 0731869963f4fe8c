// Reads a cue's WAV file from disk with CreateFileW and ReadFile, as
// DirectSound's buffer-from-file helpers do. What it ignores: files larger
// than 64 MB (no cue is), and sharing: the file is opened for reading while
// others may read or write it.
#include "platform/win32/wave_file.h"

#include <windows.h>

#include <vector>

#include "platform/win32/win32_failure.h"

namespace pelliwick::win32 {

namespace {
constexpr LONGLONG kLargestFile = 64 << 20;
}

WaveData loadWaveFile(const std::filesystem::path& file) {
  const std::string name = file.string();
  const std::string what = "cannot load sound " + name;
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) failWithLastError(what);
  struct Close {
    HANDLE handle;
    ~Close() { CloseHandle(handle); }
  } close{handle};
  // Before any read: reading a pipe or a console could wait for ever.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    throw Failure(what + ": not a regular file");
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) failWithLastError(what);
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    throw Failure(what + ": not a regular file");
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle, &size)) failWithLastError(what);
  if (size.QuadPart > kLargestFile) throw Failure(what + ": too large");

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(handle, bytes.data() + done,
                  static_cast<DWORD>(bytes.size() - done), &got, nullptr)) {
      failWithLastError(what);
    }
    if (got == 0) break;  // shrunk while being read
    done += got;
  }
  bytes.resize(done);
  return decodeWave(bytes, name);
}

}  // namespace pelliwick::win32
