#include "platform/win32/wave_data.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>

#include "platform/failure.h"
#include "platform/win32/program_folder.h"
#include "platform/win32/wave_file.h"

namespace pelliwick::win32 {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& out, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i)
    out.push_back(static_cast<std::uint8_t>(value >> 8 * i));
}

void tag(Bytes& out, const char* name) {
  // One byte at a time: GCC 12 takes a four-byte insert for an overflow.
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(name[i]));
}

// A WAV file in memory; `extra` follows the 16 usual bytes of the format.
Bytes wave(int format, int channels, int rate, int blockAlign, int bits,
           const Bytes& data, const Bytes& extra = {}) {
  Bytes out;
  tag(out, "RIFF");
  put(out, static_cast<std::uint32_t>(28 + 8 + extra.size() + data.size()), 4);
  tag(out, "WAVE");
  tag(out, "fmt ");
  put(out, static_cast<std::uint32_t>(16 + extra.size()), 4);
  put(out, static_cast<std::uint32_t>(format), 2);
  put(out, static_cast<std::uint32_t>(channels), 2);
  put(out, static_cast<std::uint32_t>(rate), 4);
  put(out, static_cast<std::uint32_t>(rate * blockAlign), 4);
  put(out, static_cast<std::uint32_t>(blockAlign), 2);
  put(out, static_cast<std::uint32_t>(bits), 2);
  out.insert(out.end(), extra.begin(), extra.end());
  tag(out, "data");
  put(out, static_cast<std::uint32_t>(data.size()), 4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

TEST(WaveData, ReadsEveryFormatTheLinuxBuildReads) {
  // 8-bit unsigned stereo.
  auto u8 = decodeWave(wave(1, 2, 22050, 2, 8, {128, 192, 64, 128}), "u8");
  EXPECT_EQ(u8.channels, 2);
  EXPECT_EQ(u8.sampleRate, 22050);
  EXPECT_EQ(u8.samples, (std::vector<std::int16_t>{0, 16384, -16384, 0}));
  // 24-bit mono: 0x400000 is half scale.
  auto s24 =
      decodeWave(wave(1, 1, 11025, 3, 24, {0, 0, 0x40, 0, 0, 0xC0}), "s24");
  EXPECT_EQ(s24.samples, (std::vector<std::int16_t>{16384, -16384}));
  // 32-bit integer and float.
  auto s32 = decodeWave(wave(1, 1, 8000, 4, 32, {0, 0, 0, 0x80}), "s32");
  EXPECT_EQ(s32.samples, (std::vector<std::int16_t>{-32768}));
  Bytes floats(8);
  const float values[] = {0.25f, 2.0f};  // the second is clipped
  std::memcpy(floats.data(), values, 8);
  auto f32 = decodeWave(wave(3, 1, 48000, 4, 32, floats), "f32");
  EXPECT_EQ(f32.samples, (std::vector<std::int16_t>{8192, 32767}));
  // Mu-law: 0xFF is zero, 0x80 the largest positive value.
  auto ulaw = decodeWave(wave(7, 1, 8000, 1, 8, {0xFF, 0x80}), "ulaw");
  EXPECT_EQ(ulaw.samples[0], 0);
  EXPECT_EQ(ulaw.samples[1], 32124);
  // The extensible format names its sub-format by the plain format's tag.
  Bytes extensible = {22, 0, 16,   0, 4,    0, 0, 0,    1, 0,    0,    0,
                      0,  0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  auto ext =
      decodeWave(wave(0xFFFE, 1, 11025, 2, 16, {0, 0x40}, extensible), "ext");
  EXPECT_EQ(ext.samples, (std::vector<std::int16_t>{16384}));
  // Four channels fold to two: the even ones left, the odd ones right.
  auto quad = decodeWave(wave(1, 4, 11025, 4, 8, {192, 64, 192, 128}), "quad");
  EXPECT_EQ(quad.channels, 2);
  EXPECT_EQ(quad.samples, (std::vector<std::int16_t>{16384, -8192}));
}

TEST(WaveData, DecodesImaAdpcmBlocks) {
  // One mono block of 8 bytes: a header (predictor 1000, step index 0) and
  // 8 nibbles, which make 9 samples.
  Bytes block = {0xE8, 0x03, 0, 0, 0x07, 0x07, 0x08, 0x00};
  Bytes extra = {2, 0, 9, 0};
  auto adpcm = decodeWave(wave(0x11, 1, 8000, 8, 4, block, extra), "adpcm");
  ASSERT_EQ(adpcm.samples.size(), 9u);
  EXPECT_EQ(adpcm.samples[0], 1000);
  // Nibble 7 with step 7: 7/8 + 7/4 + 7/2 + 7 in integer steps is 11.
  EXPECT_EQ(adpcm.samples[1], 1011);
  // Nibbles 0, 7, 0 climb on with a growing step; nibble 8 is the smallest
  // step down.
  EXPECT_EQ(adpcm.samples[4], 1041);
  EXPECT_EQ(adpcm.samples[5], 1038);
}

TEST(WaveData, OddHeadersFailCleanly) {
  const Bytes good = wave(1, 1, 11025, 2, 16, {1, 2, 3, 4});
  auto changed = [&](std::size_t at, std::uint8_t value) {
    Bytes bytes = good;
    bytes[at] = value;
    return bytes;
  };
  const std::vector<std::pair<const char*, Bytes>> broken = {
      {"empty", {}},
      {"not riff", changed(0, 'X')},
      {"no channels", changed(22, 0)},
      {"rate too low", changed(25, 0)},
      {"no block size", changed(32, 0)},
      {"block size not the sample size", changed(32, 3)},
      {"12-bit", changed(34, 12)},
      {"unknown format", changed(20, 2)},
      {"format chunk too short", changed(16, 8)},
      {"format chunk longer than the file", changed(17, 0x7F)},
      {"no data", wave(1, 1, 11025, 2, 16, {})},
      {"half a frame", wave(1, 1, 11025, 2, 16, {1})},
      {"ADPCM without its block layout", wave(0x11, 1, 8000, 3, 4, {0, 0, 0})},
  };
  for (const auto& [what, bytes] : broken) {
    EXPECT_THROW(decodeWave(bytes, what), Failure) << what;
  }
  // A data size beyond the file is read as far as the file goes.
  auto cut = decodeWave(changed(41, 0x10), "cut");
  EXPECT_EQ(cut.samples.size(), 2u);
}

// Every prefix of a file, and every byte of its header set to a few odd
// values: each decodes or throws Failure, and nothing reads out of bounds.
TEST(WaveData, TruncatedAndScrambledFilesNeverCrash) {
  Bytes block(36, 0x5A);
  block[2] = 3;
  const std::vector<Bytes> files = {
      wave(1, 2, 11025, 4, 16, Bytes(64, 0x33)),
      wave(0x11, 1, 8000, 36, 4, block, {2, 0, 65, 0}),
      wave(3, 1, 8000, 8, 64, Bytes(24, 0x40)),
  };
  for (const Bytes& file : files) {
    for (std::size_t size = 0; size <= file.size(); ++size) {
      const Bytes prefix(file.begin(), file.begin() + static_cast<long>(size));
      try {
        decodeWave(prefix, "prefix");
      } catch (const Failure&) {
      }
    }
    for (std::size_t at = 0; at < 48 && at < file.size(); ++at) {
      for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
        Bytes odd = file;
        odd[at] = value;
        try {
          const auto decoded = decodeWave(odd, "odd");
          EXPECT_TRUE(decoded.channels == 1 || decoded.channels == 2);
          EXPECT_EQ(decoded.samples.size() % decoded.channels, 0u);
        } catch (const Failure&) {
        }
      }
    }
  }
}

// Only a file on disk is read: a folder or a device is refused at once.
TEST(WaveFile, MissingFoldersAndDevicesAreRefused) {
  const auto folder = programFolder();
  try {
    loadWaveFile(folder / "nothing.wav");
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("nothing.wav"),
              std::string::npos);
  }
  for (const std::filesystem::path& file :
       {folder, std::filesystem::path("NUL"),
        std::filesystem::path("CONIN$")}) {
    EXPECT_THROW(loadWaveFile(file), Failure) << file.string();
  }
  // A pipe is opened (its server waits) but never read.
  HANDLE server =
      CreateNamedPipeW(L"\\\\.\\pipe\\pelliwick-cue", PIPE_ACCESS_DUPLEX,
                       PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  try {
    loadWaveFile(L"\\\\.\\pipe\\pelliwick-cue");
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("not a regular file"),
              std::string::npos)
        << failure.what();
  }
  CloseHandle(server);
  // The real cues read.
  const auto ding = loadWaveFile(folder / "ding.wav");
  EXPECT_EQ(ding.channels, 1);
  EXPECT_EQ(ding.sampleRate, 11025);
  EXPECT_NEAR(static_cast<double>(ding.frames()) / 11025, 0.35, 0.035);
}

}  // namespace
}  // namespace pelliwick::win32
