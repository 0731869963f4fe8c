// SAPI under Wine with Wine's own voice object, which lists a voice but
// speaks nothing: the game must find no voice.
#include <gtest/gtest.h>

#include "failure.h"
#include "win32/com_apartment.h"
#include "win32/sapi_engine.h"
#include "win32/sapi_voice_list.h"

namespace pelliwick::win32::test {
namespace {

TEST(SapiWithWinesOwnVoice, ListsAVoiceButCountsNone) {
  ComApartment com;
  EXPECT_FALSE(installedVoices().empty());
  SapiEngine engine({});
  const auto voice = engine.createVoice();
  EXPECT_THROW(voice->selectVoice(0), Failure);
}

}  // namespace
}  // namespace pelliwick::win32::test
