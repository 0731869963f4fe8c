#include "espeak/voice_list.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pelliwick::espeak
