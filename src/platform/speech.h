#pragma once

#include <functional>
#include <memory>
#include <string>

namespace pelliwick {

// Speak flags, with the values the game was designed around.
enum SpeakFlags : unsigned {
  SVSFDefault = 0,           // speak and return when the text has been heard
  SVSFlagsAsync = 1,         // queue and return at once; spoken in order
  SVSFPurgeBeforeSpeak = 2,  // drop everything queued or being spoken first
};

// Asked, while a text is being waited for, whether the program is ending
// (the window was closed), so that the text need not be heard to its end.
using GiveUp = std::function<bool()>;

// One voice object. Every method throws Failure when the engine fails.
class SpeechVoice {
 public:
  virtual ~SpeechVoice() = default;

  // Makes voice `index` (counted from 0) of the engine's list of all
  // installed voices the current one. Throws past the end of the list.
  virtual void selectVoice(int index) = 0;
  // Whether voice `index` would now be heard as itself: a voice of a speech
  // server that has gone away would not. A local engine's always is.
  virtual bool voiceAvailable(int /*index*/) { return true; }

  // Rate in signed integer steps, 0 being the engine's normal rate.
  virtual int rate() = 0;
  virtual void setRate(int rate) = 0;
  // Volume from 0 to 100.
  virtual void setVolume(int volume) = 0;

  // An empty text stands for the null text: with SVSFPurgeBeforeSpeak it
  // only silences.
  virtual void speak(const std::wstring& text, unsigned flags) = 0;
};

class SpeechEngine {
 public:
  virtual ~SpeechEngine() = default;
  virtual std::shared_ptr<SpeechVoice> createVoice() = 0;
};

}  // namespace pelliwick
