// Reads a cue's WAV file as DirectSound's buffer-from-file helper does,
// keeping its own rate. What it ignores: more than two channels (folded to
// stereo by SDL) and any chunk other than the format and the samples.
#include "sdl_audio/wav_file.h"

#include <SDL.h>

#include <cstring>
#include <string>
#include <vector>

#include "failure.h"

namespace pelliwick {

namespace {

[[noreturn]] void fail(const std::filesystem::path& file, const char* what) {
  throw Failure("cannot load sound " + file.string() + ": " + what + ": " +
                SDL_GetError());
}

}  // namespace

std::shared_ptr<const PcmSound> loadWavFile(const std::filesystem::path& file) {
  SDL_AudioSpec spec{};
  Uint8* data = nullptr;
  Uint32 length = 0;
  if (SDL_LoadWAV(file.c_str(), &spec, &data, &length) == nullptr) {
    fail(file, "SDL_LoadWAV failed");
  }
  struct Release {
    Uint8* data;
    ~Release() { SDL_FreeWAV(data); }
  } release{data};

  const int channels = spec.channels >= 2 ? 2 : 1;
  const auto bytesPerFrame =
      static_cast<std::uint32_t>(SDL_AUDIO_BITSIZE(spec.format) / 8) *
      spec.channels;
  if (bytesPerFrame == 0 || length < bytesPerFrame) {
    throw Failure("cannot load sound " + file.string() + ": it has no samples");
  }
  // Whole frames only; a torn last frame would read past the data.
  length -= length % bytesPerFrame;

  SDL_AudioCVT cvt;
  if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq,
                        AUDIO_F32SYS, static_cast<Uint8>(channels),
                        spec.freq) < 0) {
    fail(file, "no conversion to float");
  }
  std::vector<Uint8> work(static_cast<std::size_t>(length) * cvt.len_mult);
  std::memcpy(work.data(), data, length);
  cvt.buf = work.data();
  cvt.len = static_cast<int>(length);
  if (SDL_ConvertAudio(&cvt) < 0) fail(file, "conversion to float failed");

  auto sound = std::make_shared<PcmSound>();
  sound->channels = channels;
  sound->sampleRate = spec.freq;
  sound->bytesPerFrame = bytesPerFrame;
  sound->samples.resize(static_cast<std::size_t>(cvt.len_cvt) / sizeof(float));
  std::memcpy(sound->samples.data(), work.data(),
              sound->samples.size() * sizeof(float));
  return sound;
}

}  // namespace pelliwick
