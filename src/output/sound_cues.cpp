// The sound device and the three cues.
#include <string>

#include "game/form1.h"

namespace pelliwick {

void Form1::openSoundDevice() {
  dx = platform_.sound.createRoot();
  ds = dx->directSoundCreate();
  ds->setCooperativeLevel(platform_.window.handle(), DSSCL_PRIORITY);
  bufdesc.flags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
}

void Form1::playCue(const std::wstring& name, const CueStyle& style) {
  clk();
  const std::filesystem::path file =
      platform_.programFolder.native() +
      std::filesystem::path::preferred_separator +
      std::filesystem::path(name + L".wav").native();
  buf = ds->createBufferFromFile(file, bufdesc);
  buf->setCurrentPosition(0);
  buf->setVolume(style.volume);
  if (style.pan) buf->setPan(*style.pan);
  buf->setFrequency(freq);
  buf->play(0);
  for (;;) {
    platform_.window.pumpEvents();
    if (buf->getStatus() != DSBSTATUS_PLAYING) break;
    if (style.endsOnKey && !keycode.empty()) break;
    idle(WaitingFor::Sound);
  }
  if (style.stopsAfter) buf->stop();
  buf.reset();
}

void Form1::play(const std::wstring& name) { playCue(name, {}); }

void Form1::play2(const std::wstring& name) {
  CueStyle style;
  style.endsOnKey = true;
  playCue(name, style);
}

void Form1::play3(const std::wstring& name, int pan, int volume) {
  // Only plays that end on their own: no stop needed afterwards.
  CueStyle style;
  style.volume = volume;
  style.pan = pan;
  style.stopsAfter = false;
  playCue(name, style);
}

}  // namespace pelliwick
