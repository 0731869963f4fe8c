// espeak-ng's bootstrap, apart from the speech thread that uses it: it
// stands in for the part of a SAPI engine that enumerates and loads voices.
// It ignores espeak-ng's own audio output (we synthesise to memory and play
// through the mixer) and its asynchronous mode.
#include "platform/espeak/espeak_library.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/espeak/library_warnings.h"
#include "platform/failure.h"
#include "platform/report.h"

namespace pelliwick::espeak {

namespace {

// espeak-ng's process-wide state, and who uses it.
struct Library {
  std::mutex mutex;  // held around every espeak-ng call
  // Apart from the lock: a synthesis holds that for as long as it runs.
  std::atomic<bool> claimed = false;
  bool initialised = false;
  std::string dataKey;  // which data the library was started with
  int initialisations = 0;
};

Library& library() {
  static Library instance;
  return instance;
}

// espeak-ng 1.51 hangs in espeak_Terminate, and in the calls after it, once
// it has been initialised a second time in a process. So only the first
// initialisation is ever terminated; a later one stays up and is reused by
// the next session that asks for the same data.
bool terminatable(const Library& lib) { return lib.initialisations == 1; }

std::string dataKeyFor(const std::optional<std::filesystem::path>& folder) {
  if (folder) {
    return "folder:" + folder->string();
  }
  const char* fromEnvironment = std::getenv("ESPEAK_DATA_PATH");
  return fromEnvironment != nullptr ? std::string("env:") + fromEnvironment
                                    : std::string("default");
}

std::string describe(espeak_ng_STATUS status, espeak_ng_ERROR_CONTEXT context) {
  // Only the printing call names the file that could not be read.
  char* buffer = nullptr;
  std::size_t size = 0;
  std::string text;
  if (FILE* out = open_memstream(&buffer, &size)) {
    espeak_ng_PrintStatusCodeMessage(status, out, context);
    std::fclose(out);
    text.assign(buffer, size);
    std::free(buffer);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) {
    char message[512] = {};
    espeak_ng_GetStatusCodeMessage(status, message, sizeof message);
    text = message;
  }
  return text;
}

thread_local SampleSink* currentSink = nullptr;

int synthCallback(short* samples, int count, espeak_EVENT*) {
  if (currentSink == nullptr) {
    return 1;
  }
  return currentSink->onSamples(samples, count) ? 1 : 0;
}

std::vector<VoiceInfo> listVoices() {
  std::vector<VoiceInfo> voices;
  const espeak_VOICE** list = espeak_ListVoices(nullptr);
  for (; list != nullptr && *list != nullptr; ++list) {
    const espeak_VOICE& voice = **list;
    if (voice.name == nullptr) {
      continue;  // could not be selected by name
    }
    voices.push_back({voice.name,
                      voice.identifier != nullptr ? voice.identifier : "",
                      parseLanguages(voice.languages)});
  }
  return voices;
}

}  // namespace

void claimLibrary() {
  bool wasClaimed = false;
  if (!library().claimed.compare_exchange_strong(wasClaimed, true)) {
    throw Failure(
        "espeak-ng is already in use by another speech engine of this "
        "program");
  }
}

// espeak_Initialize cannot be used: with espeakINITIALIZE_DONT_EXIT it
// still returns the old sample rate after a failed restart, and without it
// espeak-ng ends the process when its data is missing.
LibraryData startLibrary(
    const std::optional<std::filesystem::path>& dataFolder) {
  Library& lib = library();
  std::lock_guard lock(lib.mutex);
  const std::string key = dataKeyFor(dataFolder);
  if (!lib.initialised || lib.dataKey != key) {
    lib.initialised = false;
    const std::string folder = dataFolder ? dataFolder->string() : "";
    espeak_ng_InitializePath(dataFolder ? folder.c_str() : nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    if (status == ENS_OK) {
      status =
          espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    }
    if (status != ENS_OK) {
      const std::string message = describe(status, context);
      espeak_ng_ClearErrorContext(&context);
      throw Failure("espeak-ng could not start: " + message);
    }
    ++lib.initialisations;
    lib.initialised = true;
    lib.dataKey = key;
  }
  const int rate = espeak_ng_GetSampleRate();
  if (rate != kSampleRate) {
    throw Failure("espeak-ng could not start: it synthesises at " +
                  std::to_string(rate) + " Hz, the speech stream plays " +
                  std::to_string(kSampleRate) + " Hz");
  }
  espeak_SetSynthCallback(synthCallback);
  const char* folder = nullptr;
  espeak_Info(&folder);
  return {folder != nullptr ? folder : "", listVoices()};
}

void stopLibrary() {
  Library& lib = library();
  std::lock_guard lock(lib.mutex);
  if (lib.initialised && terminatable(lib)) {
    lib.initialised = false;
    const espeak_ERROR result = espeak_Terminate();
    if (result != EE_OK) {
      // Nobody is left to throw to: the last voice is being destroyed.
      report("espeak-ng could not stop cleanly (error " +
             std::to_string(result) + ")");
    }
  }
  lib.claimed = false;
}

std::string synthesise(const SynthRequest& request, SampleSink& sink) {
  std::lock_guard lock(library().mutex);
  // Exactly these calls per text: the end-to-end tests interpose them to
  // hear what is spoken, in which voice and at which rate.
  // Loading a voice may warn about its dictionary on the standard error.
  espeak_ERROR selected = EE_OK;
  withWarningsAsOwnLines(
      [&] { selected = espeak_SetVoiceByName(request.voiceName.c_str()); });
  if (selected != EE_OK) {
    return "espeak-ng could not select the voice " + request.voiceName;
  }
  if (espeak_SetParameter(espeakRATE, request.wordsPerMinute, 0) != EE_OK) {
    return "espeak-ng refused the rate of " +
           std::to_string(request.wordsPerMinute) + " words per minute";
  }
  // espeak-ng 1.51 applies this setting yet reports EE_INTERNAL_ERROR for
  // it, so its result says nothing.
  espeak_SetParameter(
      espeakPUNCTUATION,
      request.readPunctuation ? espeakPUNCT_ALL : espeakPUNCT_NONE, 0);
  currentSink = &sink;
  const espeak_ERROR result =
      espeak_Synth(request.text.c_str(), request.text.size() + 1, 0,
                   POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
  currentSink = nullptr;
  if (result != EE_OK) {
    return "espeak-ng could not synthesise the text (error " +
           std::to_string(result) + ")";
  }
  return "";
}

}  // namespace pelliwick::espeak
