#include "platform/espeak/voice_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace pelliwick::espeak {

namespace {

std::string lowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return result;
}

const char* firstSet(const char* a, const char* b, const char* c) {
  for (const char* value : {a, b, c}) {
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return nullptr;
}

// A regular file with something in it that this process may read.
bool readableFile(const std::filesystem::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         status.st_size > 0 && ::access(path.c_str(), R_OK) == 0;
}

// The dictionary a voice file names, as espeak-ng picks it: that of the
// first "language" line without its region, unless a "dictionary" line
// follows; English when there is neither.
std::string dictionaryOf(std::istream& voiceFile) {
  std::string dictionary = "en";
  bool languageSeen = false;
  std::string line;
  while (std::getline(voiceFile, line)) {
    std::istringstream words(line);  // also drops the \r of CRLF files
    std::string key;
    std::string value;
    words >> key >> value;
    if (key == "language" && !languageSeen && !value.empty()) {
      languageSeen = true;
      dictionary = value.substr(0, value.find('-'));
    } else if (key == "dictionary" && !value.empty()) {
      dictionary = value;
    }
  }
  return dictionary;
}

}  // namespace

bool voiceFilesReadable(const std::filesystem::path& dataFolder,
                        const std::string& identifier) {
  if (identifier.empty()) {
    return false;
  }
  for (const char* folder : {"voices", "lang"}) {
    const auto path = dataFolder / folder / identifier;
    if (readableFile(path)) {
      std::ifstream voiceFile(path);
      return readableFile(dataFolder / (dictionaryOf(voiceFile) + "_dict"));
    }
  }
  return false;
}

std::vector<VoiceLanguage> parseLanguages(const char* packed) {
  std::vector<VoiceLanguage> result;
  if (packed == nullptr) {
    return result;
  }
  while (*packed != '\0') {
    const int priority = static_cast<unsigned char>(*packed);
    const char* code = packed + 1;
    const std::size_t length = std::strlen(code);
    result.push_back({priority, lowerCase(code)});
    packed = code + length + 1;
  }
  return result;
}

std::vector<std::string> localeLanguages(const char* lcAll,
                                         const char* lcMessages,
                                         const char* lang) {
  std::vector<std::string> result;
  const char* locale = firstSet(lcAll, lcMessages, lang);
  if (locale != nullptr) {
    std::string_view name(locale);
    // Codeset and modifier do not choose a voice: "de_DE.UTF-8@euro".
    name = name.substr(0, name.find_first_of(".@"));
    if (name != "C" && name != "POSIX" && !name.empty()) {
      std::string code = lowerCase(name);
      std::replace(code.begin(), code.end(), '_', '-');
      result.push_back(code);
      const auto dash = code.find('-');
      if (dash != std::string::npos) {
        result.push_back(code.substr(0, dash));
      }
    }
  }
  if (std::find(result.begin(), result.end(), "en") == result.end()) {
    result.push_back("en");
  }
  return result;
}

void putLocaleVoiceFirst(std::vector<VoiceInfo>& voices,
                         const std::vector<std::string>& languages) {
  for (const std::string& wanted : languages) {
    auto best = voices.end();
    int bestPriority = 0;
    for (auto voice = voices.begin(); voice != voices.end(); ++voice) {
      for (const VoiceLanguage& language : voice->languages) {
        if (language.code == wanted &&
            (best == voices.end() || language.priority < bestPriority)) {
          best = voice;
          bestPriority = language.priority;
        }
      }
    }
    if (best != voices.end()) {
      std::rotate(voices.begin(), best, best + 1);
      return;
    }
  }
}

}  // namespace pelliwick::espeak
