#pragma once

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pelliwick::testing {

// When a scripted key reaches the game. Keys arrive only inside the event
// pump, in script order: a key waits until those before it have arrived.
enum class When {
  AtKeyWait,    // the next time the game waits for a key
  AfterPumps,   // after a number of pumps
  DuringCue,    // while a cue is playing
  DuringSay,    // while a text is being spoken to its end
  DuringPause,  // during a timed pause
};

struct Utterance {
  std::wstring text;
  unsigned flags;
  int voice;  // index of the voice selected when it was spoken
  int rate;
};

// One set of test doubles for every platform service, sharing a timeline
// of the calls the game makes, so tests can check their order.
class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();

  Platform& platform() { return platform_; }

  // Keyboard script.
  void key(int code, When when = When::AtKeyWait, int pumps = 1);
  void keys(const std::vector<int>& codes);  // each at its key wait
  void type(const std::wstring& text);       // digits, letters, Enter as \r
  // A held key: the first key-down and its auto-repeats, each reaching the
  // next key wait (repeats come every 40 ms, slower than the game answers).
  void hold(int code, int repeats);
  bool scriptDone() const { return script_.empty() && pending_.empty(); }
  // True when the game waited for a key after the script ran out; the
  // window is then closed so that the game ends.
  bool ranOutOfKeys() const { return ranOut_; }

  // Speech engine.
  int voices = 1;
  // Voices that would not sound as themselves (their server is gone).
  std::set<int> unavailableVoices;
  int initialRate = 0;
  std::vector<Utterance> utterances;
  int selectedVoice = -1;
  int currentRate = 0;

  // Sound device.
  int cuePolls = 2;  // status polls for which a cue reports playing
  std::vector<std::wstring> missingFiles;
  // Cues stopped or dropped while they still reported playing.
  std::vector<std::string> cutShort;

  // Braille display: each text shown, an entry as "prompt[answer]".
  std::vector<std::wstring> braille;

  // Clock and random source. The time of day moves on with the pauses.
  float timeOfDay = 3600.5f;
  // Length of each timed pause the game made, in order.
  std::vector<double> pauses;
  std::deque<double> draws;

  // Every call, in order, e.g. "speak1  no ", "cue freq 8000", "release buf".
  std::vector<std::string> timeline;
  // Off for long runs whose memory is measured: nothing is added to
  // `timeline` or `utterances`.
  bool keepLog = true;
  // Makes `times` calls whose timeline entry starts with `prefix` fail,
  // after letting `skip` such calls through. Failed calls are logged with
  // "FAILED " in front.
  void failOn(const std::string& prefix, int times = 1, int skip = 0);

  // Timeline entries that start with `prefix`.
  std::vector<std::string> entries(const std::string& prefix) const;
  // Texts of the utterances, in order, with their flags as "N:text".
  std::vector<std::wstring> spoken() const;

  // Called by the doubles.
  void log(const std::string& entry);
  void pump();
  void idle(WaitingFor reason);
  void saying();
  void setKeyHandler(KeyDownHandler handler) { handler_ = std::move(handler); }
  double now() const { return monotonic_; }

 private:
  struct Scripted {
    int code;
    When when;
    int pumps;
  };
  void release(When moment);

  std::deque<Scripted> script_;
  std::deque<int> pending_;
  KeyDownHandler handler_;
  bool closing_ = false;
  bool ranOut_ = false;
  int idleWithoutKey_ = 0;
  bool pausing_ = false;
  double monotonic_ = 1000.0;
  struct Failing {
    int times;
    int skip;
  };
  std::map<std::string, Failing> failures_;

  class Window;
  class Clocks;
  class Random;
  class Speech;
  class Sound;
  class Braille;
  std::unique_ptr<Window> window_;
  std::unique_ptr<Clocks> clock_;
  std::unique_ptr<Random> random_;
  std::unique_ptr<Speech> speech_;
  std::unique_ptr<Sound> sound_;
  std::unique_ptr<Braille> braille_;
  Platform platform_;
};

std::string narrow(const std::wstring& text);

}  // namespace pelliwick::testing
