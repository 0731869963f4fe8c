#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelliwick::test {

// Writes a minimal WAV file: `format` 1 for integer PCM, 3 for float.
inline void writeWav(const std::filesystem::path& file, int format,
                     int channels, int rate, int bits,
                     const std::vector<std::uint8_t>& data) {
  std::ofstream out(file, std::ios::binary);
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(value >> 8 * i));
  };
  const int blockAlign = channels * bits / 8;
  out.write("RIFF", 4);
  put(36 + static_cast<std::uint32_t>(data.size()), 4);
  out.write("WAVEfmt ", 8);
  put(16, 4);
  put(static_cast<std::uint32_t>(format), 2);
  put(static_cast<std::uint32_t>(channels), 2);
  put(static_cast<std::uint32_t>(rate), 4);
  put(static_cast<std::uint32_t>(rate * blockAlign), 4);
  put(static_cast<std::uint32_t>(blockAlign), 2);
  put(static_cast<std::uint32_t>(bits), 2);
  out.write("data", 4);
  put(static_cast<std::uint32_t>(data.size()), 4);
  out.write(reinterpret_cast<const char*>(data.data()),
            static_cast<std::streamsize>(data.size()));
}

inline std::vector<std::uint8_t> pcm16(const std::vector<std::int16_t>& s) {
  std::vector<std::uint8_t> bytes;
  for (std::int16_t v : s) {
    bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
  }
  return bytes;
}

// A folder of its own for one test, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("pelliwick-audio-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace pelliwick::test
