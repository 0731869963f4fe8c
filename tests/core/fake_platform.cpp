#include "fake_platform.h"

#include <algorithm>

#include "platform/failure.h"

namespace pelliwick::testing {

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      out += "\\u" + std::to_string(static_cast<unsigned>(c));
    }
  }
  return out;
}

class FakePlatform::Window : public WindowSystem {
 public:
  explicit Window(FakePlatform& fake) : fake_(fake) {}
  void show(const std::wstring& caption) override {
    fake_.log("show " + narrow(caption));
  }
  void setKeyDownHandler(KeyDownHandler handler) override {
    fake_.setKeyHandler(std::move(handler));
  }
  void pumpEvents() override { fake_.pump(); }
  void idle(WaitingFor reason, std::chrono::microseconds atMost) override {
    // A wait for an event passes 10 ms of game time, as a pass used to.
    const auto passed =
        atMost == kUntilAnEvent ? std::chrono::microseconds(10000) : atMost;
    const double seconds = static_cast<double>(passed.count()) / 1e6;
    fake_.monotonic_ += seconds;
    if (reason == WaitingFor::Time && fake_.keepLog) {
      if (!fake_.pausing_) fake_.pauses.push_back(0);
      fake_.pauses.back() += seconds;
    }
    fake_.pausing_ = reason == WaitingFor::Time;
    fake_.idle(reason);
  }
  WindowHandle handle() override { return this; }
  void messageBox(const std::wstring& text) override {
    fake_.log("messagebox " + narrow(text));
  }
  void close() override { fake_.log("close"); }

 private:
  FakePlatform& fake_;
};

class FakePlatform::Clocks : public Clock {
 public:
  explicit Clocks(FakePlatform& fake) : fake_(fake) {}
  float secondsSinceMidnight() override {
    return fake_.timeOfDay + static_cast<float>(fake_.monotonic_ - 1000.0);
  }
  double monotonicSeconds() override { return fake_.monotonic_; }

 private:
  FakePlatform& fake_;
};

class FakePlatform::Random : public RandomSource {
 public:
  explicit Random(FakePlatform& fake) : fake_(fake) {}
  void reseed(double seed) override {
    fake_.log("reseed " + std::to_string(seed));
  }
  double next() override {
    if (fake_.draws.empty()) return 0.41;  // draws 42
    const double value = fake_.draws.front();
    fake_.draws.pop_front();
    return value;
  }

 private:
  FakePlatform& fake_;
};

class FakeVoice : public SpeechVoice {
 public:
  explicit FakeVoice(FakePlatform& fake) : fake_(fake) {
    fake_.currentRate = fake_.initialRate;
  }
  ~FakeVoice() override { fake_.log("release Voice"); }
  void selectVoice(int index) override {
    fake_.log("select " + std::to_string(index));
    if (index < 0 || index >= fake_.voices) throw Failure("no such voice");
    fake_.selectedVoice = index;
  }
  bool voiceAvailable(int index) override {
    return fake_.unavailableVoices.count(index) == 0;
  }
  int rate() override {
    fake_.log("read rate");
    return fake_.currentRate;
  }
  void setRate(int value) override {
    fake_.log("rate " + std::to_string(value));
    fake_.currentRate = value;
  }
  void setVolume(int value) override {
    fake_.log("volume " + std::to_string(value));
  }
  void speak(const std::wstring& text, unsigned flags) override {
    fake_.log("speak" + std::to_string(flags) + " " + narrow(text));
    if (fake_.keepLog) {
      fake_.utterances.push_back(
          {text, flags, fake_.selectedVoice, fake_.currentRate});
    }
    if (flags == SVSFDefault) fake_.saying();
  }

 private:
  FakePlatform& fake_;
};

class FakePlatform::Speech : public SpeechEngine {
 public:
  explicit Speech(FakePlatform& fake) : fake_(fake) {}
  std::shared_ptr<SpeechVoice> createVoice() override {
    fake_.log("create voice");
    return std::make_shared<FakeVoice>(fake_);
  }

 private:
  FakePlatform& fake_;
};

class FakeBuffer : public SoundBuffer {
 public:
  FakeBuffer(FakePlatform& fake, std::string name)
      : fake_(fake), name_(std::move(name)) {}
  ~FakeBuffer() override {
    if (pollsLeft_ > 0) fake_.cutShort.push_back(name_);
    fake_.log("release buf " + name_);
  }
  void setCurrentPosition(std::uint32_t offset) override {
    fake_.log("cue position " + std::to_string(offset));
  }
  void setVolume(int value) override {
    fake_.log("cue volume " + std::to_string(value));
  }
  void setPan(int value) override {
    fake_.log("cue pan " + std::to_string(value));
  }
  void setFrequency(int hz) override {
    fake_.log("cue freq " + std::to_string(hz));
  }
  void play(std::uint32_t flags) override {
    fake_.log("cue play " + std::to_string(flags));
    pollsLeft_ = fake_.cuePolls;
  }
  int getStatus() override {
    if (pollsLeft_ > 0) {
      --pollsLeft_;
      return DSBSTATUS_PLAYING;
    }
    return 0;
  }
  void stop() override {
    fake_.log("cue stop");
    if (pollsLeft_ > 0) fake_.cutShort.push_back(name_);
    pollsLeft_ = 0;
  }

 private:
  FakePlatform& fake_;
  std::string name_;
  int pollsLeft_ = 0;
};

class FakeDevice : public SoundDevice {
 public:
  explicit FakeDevice(FakePlatform& fake) : fake_(fake) {}
  ~FakeDevice() override { fake_.log("release ds"); }
  void setCooperativeLevel(WindowHandle window, int level) override {
    fake_.log("cooperative level " + std::to_string(level) +
              (window != nullptr ? " window" : " none"));
  }
  std::shared_ptr<SoundBuffer> createBufferFromFile(
      const std::filesystem::path& file, const BufferDesc& desc) override {
    const std::string name = file.filename().string();
    // Recorded with "/" whatever the platform's separator, so that the same
    // expectations hold on Windows.
    const std::string entry = "buffer " + file.generic_string() + " flags " +
                              std::to_string(desc.flags);
    const std::wstring wide = file.filename().wstring();
    if (std::find(fake_.missingFiles.begin(), fake_.missingFiles.end(), wide) !=
        fake_.missingFiles.end()) {
      fake_.timeline.push_back("FAILED " + entry);
      throw Failure("cannot open " + name);
    }
    fake_.log(entry);
    return std::make_shared<FakeBuffer>(fake_, name);
  }

 private:
  FakePlatform& fake_;
};

class FakeRoot : public SoundRoot {
 public:
  explicit FakeRoot(FakePlatform& fake) : fake_(fake) {}
  ~FakeRoot() override { fake_.log("release dx"); }
  std::shared_ptr<SoundDevice> directSoundCreate() override {
    fake_.log("open device");
    return std::make_shared<FakeDevice>(fake_);
  }

 private:
  FakePlatform& fake_;
};

class FakePlatform::Sound : public SoundSystem {
 public:
  explicit Sound(FakePlatform& fake) : fake_(fake) {}
  std::shared_ptr<SoundRoot> createRoot() override {
    fake_.log("create root");
    return std::make_shared<FakeRoot>(fake_);
  }

 private:
  FakePlatform& fake_;
};

class FakePlatform::Braille : public BrailleDisplay {
 public:
  explicit Braille(FakePlatform& fake) : fake_(fake) {}
  void show(const std::wstring& text) override {
    if (fake_.keepLog) fake_.braille.push_back(text);
  }
  void showEntry(const std::wstring& prompt,
                 const std::wstring& answer) override {
    if (fake_.keepLog) fake_.braille.push_back(prompt + L"[" + answer + L"]");
  }

 private:
  FakePlatform& fake_;
};

FakePlatform::FakePlatform()
    : window_(std::make_unique<Window>(*this)),
      clock_(std::make_unique<Clocks>(*this)),
      random_(std::make_unique<Random>(*this)),
      speech_(std::make_unique<Speech>(*this)),
      sound_(std::make_unique<Sound>(*this)),
      braille_(std::make_unique<Braille>(*this)),
      platform_{*window_, *clock_,  *random_, *speech_,
                *sound_,  "/games", *braille_} {}

FakePlatform::~FakePlatform() = default;

void FakePlatform::key(int code, When when, int pumps) {
  script_.push_back({code, when, pumps});
}

void FakePlatform::keys(const std::vector<int>& codes) {
  for (int code : codes) key(code);
}

void FakePlatform::type(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c == L'\r') {
      key(13);
    } else if (c >= L'a' && c <= L'z') {
      key(c - L'a' + 'A');
    } else {
      key(c);
    }
  }
}

void FakePlatform::hold(int code, int repeats) {
  for (int i = 0; i <= repeats; ++i) key(code);
}

void FakePlatform::failOn(const std::string& prefix, int times, int skip) {
  failures_[prefix] = {times, skip};
}

void FakePlatform::log(const std::string& entry) {
  for (auto& [prefix, failing] : failures_) {
    if (failing.times > 0 && entry.rfind(prefix, 0) == 0) {
      if (failing.skip > 0) {
        --failing.skip;
        continue;
      }
      --failing.times;
      timeline.push_back("FAILED " + entry);
      throw Failure("scripted failure: " + entry);
    }
  }
  if (keepLog) timeline.push_back(entry);
}

void FakePlatform::pump() {
  if (closing_) throw ProgramClosed();
  if (!script_.empty() && script_.front().when == When::AfterPumps &&
      --script_.front().pumps <= 0) {
    pending_.push_back(script_.front().code);
    script_.pop_front();
  }
  while (!pending_.empty()) {
    const int code = pending_.front();
    pending_.pop_front();
    if (keepLog) timeline.push_back("key " + std::to_string(code));
    idleWithoutKey_ = 0;
    if (handler_) handler_(code, 0);
  }
}

void FakePlatform::release(When moment) {
  if (!script_.empty() && script_.front().when == moment) {
    pending_.push_back(script_.front().code);
    script_.pop_front();
  }
}

void FakePlatform::idle(WaitingFor reason) {
  switch (reason) {
    case WaitingFor::Key:
      release(When::AtKeyWait);
      break;
    case WaitingFor::Sound:
      release(When::DuringCue);
      break;
    case WaitingFor::Time:
      release(When::DuringPause);
      break;
  }
  // A game waiting for a key that the script will never give: close the
  // window so the test ends instead of hanging.
  if (reason == WaitingFor::Key && pending_.empty() &&
      ++idleWithoutKey_ > 1000) {
    ranOut_ = true;
    closing_ = true;
  }
}

void FakePlatform::saying() { release(When::DuringSay); }

std::vector<std::string> FakePlatform::entries(
    const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& entry : timeline) {
    if (entry.rfind(prefix, 0) == 0) found.push_back(entry);
  }
  return found;
}

std::vector<std::wstring> FakePlatform::spoken() const {
  std::vector<std::wstring> texts;
  for (const Utterance& u : utterances) {
    texts.push_back(std::to_wstring(u.flags) + L":" + u.text);
  }
  return texts;
}

}  // namespace pelliwick::testing
