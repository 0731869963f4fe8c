#include "platform/sdl_audio/wav_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "platform/failure.h"
#include "wav_writer.h"

namespace pelliwick {
namespace {

TEST(WavFile, Reads16BitMonoAtItsOwnRate) {
  test::ScratchFolder folder;
  const auto file = folder.path() / "a.wav";
  test::writeWav(file, 1, 1, 11025, 16, test::pcm16({0, 16384, -16384, 32767}));
  auto sound = loadWavFile(file);
  EXPECT_EQ(sound->channels, 1);
  EXPECT_EQ(sound->sampleRate, 11025);
  EXPECT_EQ(sound->bytesPerFrame, 2u);
  ASSERT_EQ(sound->frames(), 4u);
  EXPECT_FLOAT_EQ(sound->samples[1], 0.5f);
  EXPECT_FLOAT_EQ(sound->samples[2], -0.5f);
}

TEST(WavFile, ReadsOtherFormats) {
  test::ScratchFolder folder;
  // 8-bit unsigned stereo.
  test::writeWav(folder.path() / "u8.wav", 1, 2, 22050, 8,
                 {128, 192, 64, 128, 128, 128});
  auto u8 = loadWavFile(folder.path() / "u8.wav");
  EXPECT_EQ(u8->channels, 2);
  EXPECT_EQ(u8->sampleRate, 22050);
  EXPECT_EQ(u8->bytesPerFrame, 2u);
  ASSERT_EQ(u8->frames(), 3u);
  EXPECT_FLOAT_EQ(u8->samples[0], 0.0f);
  EXPECT_FLOAT_EQ(u8->samples[1], 0.5f);
  EXPECT_FLOAT_EQ(u8->samples[2], -0.5f);

  // 32-bit float mono.
  std::vector<std::uint8_t> bytes(3 * sizeof(float));
  const float values[] = {0.25f, -0.75f, 0.0f};
  std::memcpy(bytes.data(), values, bytes.size());
  test::writeWav(folder.path() / "f32.wav", 3, 1, 48000, 32, bytes);
  auto f32 = loadWavFile(folder.path() / "f32.wav");
  EXPECT_EQ(f32->sampleRate, 48000);
  EXPECT_EQ(f32->bytesPerFrame, 4u);
  ASSERT_EQ(f32->frames(), 3u);
  EXPECT_FLOAT_EQ(f32->samples[1], -0.75f);
}

TEST(WavFile, MissingOrBrokenFilesThrow) {
  test::ScratchFolder folder;
  try {
    loadWavFile(folder.path() / "nothing.wav");
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("nothing.wav"),
              std::string::npos);
  }
  std::ofstream(folder.path() / "text.wav") << "not a sound at all";
  EXPECT_THROW(loadWavFile(folder.path() / "text.wav"), Failure);
  test::writeWav(folder.path() / "empty.wav", 1, 1, 11025, 16, {});
  EXPECT_THROW(loadWavFile(folder.path() / "empty.wav"), Failure);
}

// Refused at once: a pipe with no writer would block the open for ever, a
// device could be read without end.
TEST(WavFile, AnythingButARegularFileIsRefusedWithoutWaiting) {
  test::ScratchFolder folder;
  const auto pipe = folder.path() / "pipe.wav";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::filesystem::create_directory(folder.path() / "folder.wav");
  for (const auto& file : {pipe, folder.path() / "folder.wav",
                           std::filesystem::path("/dev/zero")}) {
    SCOPED_TRACE(file.string());
    try {
      loadWavFile(file);
      FAIL() << "no failure";
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("not a regular file"),
                std::string::npos)
          << failure.what();
    }
  }
}

struct CueShape {
  const char* name;
  double seconds;
};

// The cues the build puts beside the game.
TEST(CueFiles, AreShortCleanMonoSoundsAt11025Hz) {
  for (const CueShape cue :
       {CueShape{"wild.wav", 1.5}, CueShape{"dong.wav", 0.5},
        CueShape{"ding.wav", 0.35}}) {
    SCOPED_TRACE(cue.name);
    auto sound =
        loadWavFile(std::filesystem::path(PELLIWICK_CUE_FOLDER) / cue.name);
    EXPECT_EQ(sound->channels, 1);
    EXPECT_EQ(sound->sampleRate, 11025);
    EXPECT_EQ(sound->bytesPerFrame, 2u);
    const double seconds = static_cast<double>(sound->frames()) / 11025;
    EXPECT_NEAR(seconds, cue.seconds, 0.1 * cue.seconds);
    const auto& s = sound->samples;
    EXPECT_EQ(s.front(), 0.0f);
    EXPECT_EQ(s.back(), 0.0f);
    float peak = 0;
    for (float v : s) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.5f);
    EXPECT_LT(peak, 0.8f);  // leaves room for speech on top
    // No click: the first and last half milliseconds stay near zero.
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_LT(std::fabs(s[i]), 0.05f * peak) << "sample " << i;
      EXPECT_LT(std::fabs(s[s.size() - 1 - i]), 0.05f * peak);
    }
  }
}

}  // namespace
}  // namespace pelliwick
