// Preloaded into the game by the end-to-end tests: records what is spoken,
// in which voice and at which rate, then calls the real espeak-ng. Each call
// appends one line "<CLOCK_MONOTONIC seconds> <kind> <value>" to the file
// named by PELLIWICK_SPEECH_LOG. A text equal to PELLIWICK_SPEECH_STALL
// keeps espeak_Synth busy for 30 s first, as a synthesiser stuck in a call.
#include <dlfcn.h>
#include <espeak-ng/speak_lib.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "speech_log_line.h"

namespace {

template <typename Function>
Function* realFunction(const char* name) {
  void* symbol = dlsym(RTLD_NEXT, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "speech log: %s not found: %s\n", name, dlerror());
    std::abort();
  }
  return reinterpret_cast<Function*>(symbol);
}

// One write() per line on an O_APPEND file, so lines from several threads
// never interleave.
void logLine(const char* kind, const std::string& value) {
  const char* path = std::getenv("PELLIWICK_SPEECH_LOG");
  if (path == nullptr) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%lld.%09ld",
                static_cast<long long>(now.tv_sec), now.tv_nsec);
  const std::string line = pelliwick::e2e::speechLogLine(stamp, kind, value);
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] const ssize_t written = write(fd, line.data(), line.size());
  ::close(fd);
}

}  // namespace

extern "C" {

espeak_ERROR espeak_Synth(const void* text, size_t size, unsigned int position,
                          espeak_POSITION_TYPE position_type,
                          unsigned int end_position, unsigned int flags,
                          unsigned int* unique_identifier, void* user_data) {
  static auto* real = realFunction<decltype(espeak_Synth)>("espeak_Synth");
  if (text != nullptr) {
    const char* chars = static_cast<const char*>(text);
    const std::string said(
        chars, size > 0 ? strnlen(chars, size) : std::strlen(chars));
    logLine("synth", said);
    const char* stall = std::getenv("PELLIWICK_SPEECH_STALL");
    if (stall != nullptr && said == stall) sleep(30);
  }
  return real(text, size, position, position_type, end_position, flags,
              unique_identifier, user_data);
}

espeak_ERROR espeak_SetVoiceByName(const char* name) {
  static auto* real =
      realFunction<decltype(espeak_SetVoiceByName)>("espeak_SetVoiceByName");
  logLine("voice", name != nullptr ? name : "");
  return real(name);
}

espeak_ERROR espeak_SetParameter(espeak_PARAMETER parameter, int value,
                                 int relative) {
  static auto* real =
      realFunction<decltype(espeak_SetParameter)>("espeak_SetParameter");
  const std::string text =
      std::to_string(value) + (relative ? " relative" : "");
  if (parameter == espeakRATE) {
    logLine("rate", text);
  } else if (parameter == espeakVOLUME) {
    logLine("volume", text);
  } else {
    logLine(("param" + std::to_string(parameter)).c_str(), text);
  }
  return real(parameter, value, relative);
}

}  // extern "C"
