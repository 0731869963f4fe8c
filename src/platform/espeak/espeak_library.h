#pragma once

// espeak-ng's process-wide lifetime: starting it on its data, listing and
// loading its voices, and one synthesis at a time into a sink. espeak-ng
// keeps its state in globals, so every call here takes one process-wide
// lock and only one speech session may use the library at a time.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/espeak/voice_list.h"

namespace pelliwick::espeak {

// The speech stream's format; espeak-ng must synthesise at this rate.
constexpr int kSampleRate = 22050;

// Receives the samples of one synthesis on the thread that runs it.
class SampleSink {
 public:
  virtual ~SampleSink() = default;
  // Returns true to abort the synthesis at once.
  virtual bool onSamples(const short* samples, int count) = 0;
};

// What one synthesis is asked to say, and how.
struct SynthRequest {
  std::string text;  // UTF-8
  std::string voiceName;
  int wordsPerMinute = 175;
  bool readPunctuation = false;  // name every mark instead of pausing on it
};

// Claims the library for one session; throws Failure while another session
// holds it. Every claim ends with stopLibrary.
void claimLibrary();

// What a started library offers.
struct LibraryData {
  std::filesystem::path folder;   // the data espeak-ng reads
  std::vector<VoiceInfo> voices;  // in espeak-ng's order
};

// Starts espeak-ng on `dataFolder`, or on its own data (which honours
// ESPEAK_DATA_PATH) when none is given, and lists its voices. Throws Failure
// when it cannot start.
LibraryData startLibrary(
    const std::optional<std::filesystem::path>& dataFolder);

// Stops espeak-ng where that is safe and ends the claim.
void stopLibrary();

// Synthesises the request into `sink`; the failure's description, or an
// empty text on success. For a synthesis that the sink aborted, the result
// is whatever espeak-ng made of the abort.
std::string synthesise(const SynthRequest& request, SampleSink& sink);

}  // namespace pelliwick::espeak
