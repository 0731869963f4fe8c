#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/espeak/voice_list.h"
#include "platform/speech.h"
#include "platform/speech_common/voice_front.h"
#include "platform/speech_stream.h"

namespace pelliwick::espeak {

class SpeechSession;

// The speech engine on espeak-ng. Its audio goes into the speech stream
// that `stream` hands out; `stream` is first called by the first speak, so
// the sound device may be opened after the engine is made. The stream must
// outlive the engine and its voices.
class EspeakEngine : public SpeechEngine {
 public:
  // With no `dataFolder`, espeak-ng finds its own data and honours
  // ESPEAK_DATA_PATH.
  explicit EspeakEngine(
      StreamSource stream,
      std::optional<std::filesystem::path> dataFolder = std::nullopt,
      GiveUp giveUp = {});
  ~EspeakEngine() override;

  // The first call starts espeak-ng and its speech thread; every voice
  // shares them, and they stop when the engine and its last voice are gone.
  // Throws Failure when espeak-ng cannot start.
  std::shared_ptr<SpeechVoice> createVoice() override;

 private:
  StreamSource stream_;
  std::optional<std::filesystem::path> dataFolder_;
  GiveUp giveUp_;
  std::mutex mutex_;
  std::shared_ptr<SpeechSession> session_;
};

// A voice of the engine. Voice, rate and volume are taken when a text is
// queued, so changing them does not touch texts already queued.
class EspeakVoice : public VoiceFront {
 public:
  explicit EspeakVoice(std::shared_ptr<SpeechSession> session,
                       GiveUp giveUp = {});

  // The voices in the order selectVoice counts them, the locale's first.
  const std::vector<VoiceInfo>& voices() const;

 protected:
  std::string engineName() const override { return "espeak-ng"; }
  int voiceCount() override;
  void chooseVoice(int index) override;
  void silence() override;
  void queue(const std::wstring& text, bool waited,
             bool namesCharacter) override;

 private:
  std::shared_ptr<SpeechSession> session_;
  GiveUp giveUp_;
  std::atomic<int> voiceIndex_{0};
};

}  // namespace pelliwick::espeak
