#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/window.h"

namespace pelliwick {

// Flag word of a buffer description: a control may only be used on a buffer
// whose description asked for it.
constexpr std::uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr std::uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr std::uint32_t DSBCAPS_CTRLVOLUME = 0x80;

constexpr int DSSCL_PRIORITY = 2;

// Play flag, and status bits.
constexpr std::uint32_t DSBPLAY_LOOPING = 1;
constexpr int DSBSTATUS_PLAYING = 1;
constexpr int DSBSTATUS_LOOPING = 4;

// Volume and pan limits, in hundredths of a decibel; frequency in Hz.
constexpr int DSBVOLUME_MIN = -10000;
constexpr int DSBVOLUME_MAX = 0;
constexpr int DSBPAN_LEFT = -10000;
constexpr int DSBPAN_RIGHT = 10000;
constexpr int DSBFREQUENCY_MIN = 100;
constexpr int DSBFREQUENCY_MAX = 200000;

struct BufferDesc {
  std::uint32_t flags = 0;
};

// A sound made from a WAV file. Every method throws Failure when it fails,
// including a value out of range or a control its flags did not ask for.
class SoundBuffer {
 public:
  virtual ~SoundBuffer() = default;
  virtual void setCurrentPosition(std::uint32_t byteOffset) = 0;
  virtual void setVolume(int hundredthsOfDb) = 0;
  virtual void setPan(int hundredthsOfDb) = 0;
  virtual void setFrequency(int hz) = 0;
  // Flags 0 plays once, DSBPLAY_LOOPING until stopped.
  virtual void play(std::uint32_t flags) = 0;
  // DSBSTATUS_PLAYING while playing (with DSBSTATUS_LOOPING when looping),
  // 0 after the last sample or a stop.
  virtual int getStatus() = 0;
  virtual void stop() = 0;
};

class SoundDevice {
 public:
  virtual ~SoundDevice() = default;
  virtual void setCooperativeLevel(WindowHandle window, int level) = 0;
  // The buffer's size and format come from the file; its starting
  // frequency is the file's sample rate. Throws when the file is missing
  // or unreadable.
  virtual std::shared_ptr<SoundBuffer> createBufferFromFile(
      const std::filesystem::path& wavFile, const BufferDesc& desc) = 0;
};

// The root object from which the default device is created.
class SoundRoot {
 public:
  virtual ~SoundRoot() = default;
  virtual std::shared_ptr<SoundDevice> directSoundCreate() = 0;
};

class SoundSystem {
 public:
  virtual ~SoundSystem() = default;
  virtual std::shared_ptr<SoundRoot> createRoot() = 0;
};

}  // namespace pelliwick
