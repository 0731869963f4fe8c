#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelliwick::espeak {

// One language a voice speaks; a lower priority means a better fit.
struct VoiceLanguage {
  int priority = 0;
  std::string code;  // lower case, e.g. "en-us"
};

// What the engine keeps of one of espeak-ng's voices.
struct VoiceInfo {
  std::string name;        // e.g. "English (America)"; what the voice is set by
  std::string identifier;  // e.g. "gmw/en-US"
  std::vector<VoiceLanguage> languages;
};

// Whether espeak-ng, reading `dataFolder`, finds what it needs to speak
// with the voice: its file (under voices/ or lang/) and the dictionary that
// file names. espeak-ng 1.51 itself accepts a voice whose file has gone
// (and then crashes in the next synthesis) or whose dictionary cannot be
// read (and then speaks silence).
bool voiceFilesReadable(const std::filesystem::path& dataFolder,
                        const std::string& identifier);

// Reads espeak-ng's packed language list: [priority byte][code\0]... up to
// a zero priority byte. A null pointer gives an empty list.
std::vector<VoiceLanguage> parseLanguages(const char* packed);

// The language codes to look for, best first, for the player's locale taken
// from LC_ALL, then LC_MESSAGES, then LANG (null or empty means unset):
// "en_US.UTF-8" gives "en-us" then "en". English always closes the list, so
// a locale without a voice still gets one that can read the game's texts.
std::vector<std::string> localeLanguages(const char* lcAll,
                                         const char* lcMessages,
                                         const char* lang);

// Moves the voice that best fits the first code with any match to the
// front; the others keep their order. Among voices speaking the same code
// the lowest priority wins, then the earlier voice.
void putLocaleVoiceFirst(std::vector<VoiceInfo>& voices,
                         const std::vector<std::string>& languages);

}  // namespace pelliwick::espeak
