// Reads a cue's WAV file as DirectSound's buffer-from-file helper does,
// keeping its own rate. What it ignores: more than two channels (folded to
// stereo by SDL) and any chunk other than the format and the samples.
#include "platform/sdl_audio/wav_file.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace pelliwick {

namespace {

[[noreturn]] void fail(const std::string& name, const char* what) {
  throw Failure("cannot load sound " + name + ": " + what + ": " +
                SDL_GetError());
}

// The whole file, read only when it is a regular file. A named pipe with no
// writer would block the open for ever, a device could be read without end:
// the open does not wait, and anything but a plain file is refused.
std::vector<std::uint8_t> readRegularFile(const std::filesystem::path& file) {
  const auto refuse = [&](const std::string& why) {
    throw Failure("cannot load sound " + file.string() + ": " + why);
  };
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) refuse(std::strerror(errno));
  struct Close {
    int fd;
    ~Close() { ::close(fd); }
  } close{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) refuse(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) refuse("not a regular file");
  // SDL reads memory of at most INT_MAX bytes.
  if (info.st_size > INT_MAX) refuse("too large");

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) refuse(std::strerror(errno));
    if (got == 0) break;  // shrunk while being read
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace

std::shared_ptr<const PcmSound> loadWavFile(const std::filesystem::path& file) {
  return decodeWav(readRegularFile(file), file.string());
}

std::shared_ptr<const PcmSound> decodeWav(std::span<const std::uint8_t> bytes,
                                          const std::string& name) {
  SDL_AudioSpec spec{};
  Uint8* data = nullptr;
  Uint32 length = 0;
  SDL_RWops* source =
      SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  if (source == nullptr) fail(name, "SDL_RWFromConstMem failed");
  if (SDL_LoadWAV_RW(source, 1, &spec, &data, &length) == nullptr) {
    fail(name, "SDL_LoadWAV failed");
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
    throw Failure("cannot load sound " + name + ": it has no samples");
  }
  // Whole frames only; a torn last frame would read past the data.
  length -= length % bytesPerFrame;

  SDL_AudioCVT cvt;
  if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq,
                        AUDIO_F32SYS, static_cast<Uint8>(channels),
                        spec.freq) < 0) {
    fail(name, "no conversion to float");
  }
  std::vector<Uint8> work(static_cast<std::size_t>(length) * cvt.len_mult);
  std::memcpy(work.data(), data, length);
  cvt.buf = work.data();
  cvt.len = static_cast<int>(length);
  if (SDL_ConvertAudio(&cvt) < 0) fail(name, "conversion to float failed");

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
