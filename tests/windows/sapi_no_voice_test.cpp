// SAPI under Wine with Wine's own voice object, which lists a voice but
// speaks nothing: the game must find no voice.
#include <gtest/gtest.h>

#include "platform/failure.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/sapi_engine.h"
#include "platform/win32/sapi_voice_list.h"

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
