#include "platform/espeak/voice_list.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace pelliwick::espeak {
namespace {

using Codes = std::vector<std::string>;

TEST(LocaleLanguages, TakesTheFirstSetVariableAndEndsWithEnglish) {
  EXPECT_EQ(localeLanguages(nullptr, nullptr, "en_US.UTF-8"),
            (Codes{"en-us", "en"}));
  EXPECT_EQ(localeLanguages("de_DE.UTF-8@euro", "fr_FR", "en_US"),
            (Codes{"de-de", "de", "en"}));
  EXPECT_EQ(localeLanguages("", "pt_BR", "en_US"),
            (Codes{"pt-br", "pt", "en"}));
  EXPECT_EQ(localeLanguages(nullptr, nullptr, "fi"), (Codes{"fi", "en"}));
  EXPECT_EQ(localeLanguages("en_GB.UTF-8", nullptr, nullptr),
            (Codes{"en-gb", "en"}));
  for (const char* english : {"C", "POSIX", "C.UTF-8", ""}) {
    EXPECT_EQ(localeLanguages(nullptr, nullptr, english), Codes{"en"})
        << english;
  }
  EXPECT_EQ(localeLanguages(nullptr, nullptr, nullptr), Codes{"en"});
}

VoiceInfo voice(std::string name, std::vector<VoiceLanguage> languages) {
  return {std::move(name), "", std::move(languages)};
}

std::vector<std::string> names(const std::vector<VoiceInfo>& voices) {
  std::vector<std::string> result;
  for (const auto& v : voices) {
    result.push_back(v.name);
  }
  return result;
}

TEST(PutLocaleVoiceFirst, MovesTheBestFitAndKeepsTheRestInOrder) {
  const std::vector<VoiceInfo> espeakOrder = {
      voice("Afrikaans", {{5, "af"}}),
      voice("Caribbean", {{5, "en-029"}, {10, "en"}}),
      voice("Britain", {{2, "en-gb"}, {2, "en"}}),
      voice("Scotland", {{5, "en-gb-scotland"}, {4, "en"}}),
      voice("America", {{2, "en-us"}, {3, "en"}}),
      voice("German", {{5, "de"}}),
  };
  auto voices = espeakOrder;
  putLocaleVoiceFirst(voices, {"en-us", "en"});
  EXPECT_EQ(names(voices), (Codes{"America", "Afrikaans", "Caribbean",
                                  "Britain", "Scotland", "German"}));

  // The lowest priority wins, not the first voice listing the language.
  voices = espeakOrder;
  putLocaleVoiceFirst(voices, {"en"});
  EXPECT_EQ(names(voices)[0], "Britain");

  // A region without a voice falls back to the language alone.
  voices = espeakOrder;
  putLocaleVoiceFirst(voices, {"de-at", "de", "en"});
  EXPECT_EQ(names(voices)[0], "German");

  voices = espeakOrder;
  putLocaleVoiceFirst(voices, {"xx"});
  EXPECT_EQ(names(voices), names(espeakOrder));
}

TEST(VoiceFilesReadable, NeedsTheVoiceFileAndTheDictionaryItNames) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "voices-XXXXXX").string();
  const fs::path data = mkdtemp(pattern.data());
  const auto write = [&](const fs::path& path, const std::string& text) {
    fs::create_directories((data / path).parent_path());
    std::ofstream(data / path) << text;
  };
  write("lang/gmw/en-US", "name English (America)\nlanguage en-us 2\n");
  write("lang/art/lfn", "name Lingua\r\nlanguage lfn\r\n");
  write("lang/gmq/nb", "language nb\nlanguage no\ndictionary no\n");
  write("lang/x/plain", "name No language\n");
  write("lang/x/de", "language de\n");
  write("voices/mb/mb-de1", "language de 6\ndictionary en\n");
  write("lang/x/empty", "language em\n");
  fs::create_directories(data / "lang/x/folder");
  for (const char* dictionary : {"en", "lfn", "no"}) {
    write(std::string(dictionary) + "_dict", "data");
  }
  write("em_dict", "");
  fs::create_directories(data / "de_dict");

  struct Case {
    const char* identifier;
    bool readable;
  };
  for (const Case& c : {
           Case{"gmw/en-US", true},  // dictionary "en", region dropped
           Case{"art/lfn", true},    // CRLF lines
           Case{"gmq/nb", true},     // "dictionary" overrides the language
           Case{"x/plain", true},    // no language: English
           Case{"mb/mb-de1", true},  // under voices/
           Case{"x/de", false},      // its dictionary is a folder
           Case{"x/empty", false},   // its dictionary is empty
           Case{"x/folder", false},  // the voice is a folder
           Case{"x/gone", false},    // no such voice file
           Case{"", false},
       }) {
    EXPECT_EQ(voiceFilesReadable(data, c.identifier), c.readable)
        << c.identifier;
  }
  fs::remove_all(data);
}

}  // namespace
}  // namespace pelliwick::espeak
