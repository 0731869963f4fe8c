#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace pelliwick {

// A hot key of the key wait: when `keycode` equals `code`, `dialog` runs.
// An entry with no dialog does nothing.
struct HotKey {
  const wchar_t* code;
  std::function<void()> dialog;
};

// The game window. It shows nothing and only receives keys; it owns all the
// state the game shares and runs the whole game from its load event.
//
// The procedures are spread over the subsystem folders: the game flow in
// game/, the key waits in input/, speech and cues in output/ and the two
// hot-key dialogs in settings/.
class Form1 {
 public:
  explicit Form1(Platform& platform);
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // The load event: the game from start-up to shutdown. Returns once the
  // program has ended. A failure during start-up escapes to the caller.
  void Form_Load();
  // Key-down event; runs only inside the event pump.
  void Form_KeyDown(int keyCode, int shift);

  // Keyboard input.
  void clk();
  void getkey();
  void getter(const std::wstring& prompt);
  void dy(double seconds);

  // Speech and sound output.
  void createVoice();
  void selectVoice(int index);
  int readRate();
  void setRate(int value);
  void setVolume(int value);
  void say(const std::wstring& text);
  void say2(const std::wstring& text);
  void stopspeech();
  void saykey();
  void openSoundDevice();
  void play(const std::wstring& name);
  void play2(const std::wstring& name);
  void play3(const std::wstring& name, int pan, int volume);

  // Speech settings, on the hot keys.
  void changevoice();
  void adjrate();

  // The Key record: the last key pressed, as text.
  std::wstring keycode;
  std::wstring keychar;

  int freq = 11026;
  int rate = 0;
  int voicenum = 0;
  int voicecount = 0;
  std::wstring answer;

  std::shared_ptr<SpeechVoice> Voice;
  std::shared_ptr<SoundRoot> dx;
  std::shared_ptr<SoundDevice> ds;
  BufferDesc bufdesc;
  std::shared_ptr<SoundBuffer> buf;

  // Ctrl first, then F4; tested in this order.
  std::array<HotKey, 2> hotKeys;

 private:
  // How one cue differs from the others.
  struct CueStyle {
    int volume = 0;
    std::optional<int> pan;  // left as the new buffer has it when empty
    bool endsOnKey = false;
    bool stopsAfter = true;
  };
  void playCue(const std::wstring& name, const CueStyle& style);
  void idle(WaitingFor reason);
  // Runs the event pump until a key is in the Key record.
  void pumpUntilKey();
  void shutdown();
  void playRounds();
  // Shows a text as it is queued for speech.
  void showSpoken(const std::wstring& text);

  Platform& platform_;
  int chooserDepth_ = 0;  // voice choosers open, one inside the other
  // The texts queued for speech since it was last purged or waited for.
  std::wstring queuedText_;
};

}  // namespace pelliwick
