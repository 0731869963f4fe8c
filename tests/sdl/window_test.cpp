#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "game/form1.h"
#include "platform/failure.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/video_drivers.h"
#include "platform/sdl_audio/sdl_audio_output.h"
#include "platform/sdl_audio/sdl_sound_system.h"
#include "platform/system/system_clock.h"
#include "platform/system/system_random.h"
#include "platform/utf8.h"

namespace pelliwick {
namespace {

using namespace std::chrono_literals;
using sdl_window::idleMilliseconds;
using sdl_window::messageBoxText;

TEST(WindowText, Utf8) {
  EXPECT_EQ(toUtf8(L" Pelliwick By Orvanne "), " Pelliwick By Orvanne ");
  EXPECT_EQ(toUtf8(L"\u00e9\u20ac"), "\xc3\xa9\xe2\x82\xac");
  EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0x1f600))), "\xf0\x9f\x98\x80");
  // Values that are no character are replaced, not passed on malformed.
  EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0xd800))), "\xef\xbf\xbd");
  EXPECT_EQ(toUtf8(std::wstring(1, wchar_t(0x110000))), "\xef\xbf\xbd");
  EXPECT_EQ(toUtf8(L""), "");
}

TEST(WindowText, CarriageReturnsBreakTheMessageBoxLines) {
  EXPECT_EQ(messageBoxText(L"Sorry but I couldn't find any voices to use\r"
                           L"Please contact Orvanne"),
            "Sorry but I couldn't find any voices to use\n"
            "Please contact Orvanne");
  EXPECT_EQ(messageBoxText(L"a\r\nb"), "a\nb");
  EXPECT_EQ(messageBoxText(L"a\r\rb\r"), "a\n\nb\n");
  EXPECT_EQ(messageBoxText(L"\u00e9\r"), "\xc3\xa9\n");
}

TEST(MessageBoxProcess, OtherChildrenOfTheGameAreNotTiedToIt) {
  // Forked from a thread that shows no box, as a library's helper is.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool mustEnd = sdl_window::tieBoxToGame();
    int signal = -1;
    prctl(PR_GET_PDEATHSIG, &signal);
    _exit((mustEnd ? 1 : 0) | (signal != 0 ? 2 : 0));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(WindowIdle, SdlWaitsTheWholeMillisecondsOnly) {
  EXPECT_EQ(idleMilliseconds(0us), 0);
  EXPECT_EQ(idleMilliseconds(999us), 0);
  EXPECT_EQ(idleMilliseconds(1000us), 1);
  EXPECT_EQ(idleMilliseconds(1999us), 1);
  EXPECT_EQ(idleMilliseconds(500ms), 500);
  EXPECT_EQ(idleMilliseconds(kUntilAnEvent), -1);
  EXPECT_EQ(idleMilliseconds(kUntilAnEvent - 1us), 86400000);
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    // No real display either: a message box must not pop up and block.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    window.setKeyDownHandler(
        [this](int code, int shift) { keys.emplace_back(code, shift); });
    window.show(L"Form1");
  }

  static void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1); }

  static SDL_Event keyDown(SDL_Keycode key, SDL_Scancode scancode,
                           Uint16 mod = KMOD_NONE, Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.repeat = repeat;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = mod;
    return event;
  }

  static SDL_Event ofType(Uint32 type) {
    SDL_Event event{};
    event.type = type;
    return event;
  }

  SdlWindowSystem window;
  std::vector<std::pair<int, int>> keys;
};

TEST_F(Window, ShowsOneCaptionedWindow) {
  auto* sdlWindow = static_cast<SDL_Window*>(window.handle());
  ASSERT_NE(sdlWindow, nullptr);
  EXPECT_STREQ(SDL_GetWindowTitle(sdlWindow), "Form1");
  EXPECT_TRUE(SDL_GetWindowFlags(sdlWindow) & SDL_WINDOW_SHOWN);
  window.show(L"Form1");
  EXPECT_EQ(window.handle(), sdlWindow);
}

TEST_F(Window, KeyDownsReachTheHandlerOnlyInsideThePump) {
  push(keyDown(SDLK_a, SDL_SCANCODE_A, KMOD_LSHIFT));
  push(keyDown(SDLK_a, SDL_SCANCODE_A, KMOD_RSHIFT, 1));
  push(keyDown(SDLK_5, SDL_SCANCODE_5, KMOD_NUM));
  push(keyDown(SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP));
  SDL_Event up = keyDown(SDLK_b, SDL_SCANCODE_B);
  up.type = SDL_KEYUP;
  up.key.state = SDL_RELEASED;
  push(up);
  push(ofType(SDL_USEREVENT));
  push(ofType(SDL_TEXTINPUT));
  push(ofType(SDL_MOUSEMOTION));
  push(keyDown(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER));
  EXPECT_TRUE(keys.empty());

  window.pumpEvents();
  const std::vector<std::pair<int, int>> expected = {
      {65, 1}, {65, 1}, {53, 0}, {13, 0}};
  EXPECT_EQ(keys, expected);
  keys.clear();
  window.pumpEvents();
  EXPECT_TRUE(keys.empty());
}

TEST_F(Window, QuitEndsEveryPumpFromThenOn) {
  push(keyDown(SDLK_1, SDL_SCANCODE_1));
  push(ofType(SDL_QUIT));
  push(keyDown(SDLK_2, SDL_SCANCODE_2));
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  const std::vector<std::pair<int, int>> expected = {{49, 0}};
  EXPECT_EQ(keys, expected);
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  EXPECT_EQ(keys, expected);
  // The keys left behind are dropped, so waiting does not wake for them.
  EXPECT_EQ(
      SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT),
      0);
}

TEST_F(Window, ClosingTheWindowEndsThePump) {
  SDL_Event event = ofType(SDL_WINDOWEVENT);
  event.window.event = SDL_WINDOWEVENT_CLOSE;
  event.window.windowID =
      SDL_GetWindowID(static_cast<SDL_Window*>(window.handle()));
  push(event);
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
}

TEST_F(Window, IdleLeavesThePendingEventForThePump) {
  // The window's own events from show() must not stand in for the key.
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  push(keyDown(SDLK_y, SDL_SCANCODE_Y));
  window.idle(WaitingFor::Key, 10ms);
  window.pumpEvents();
  const std::vector<std::pair<int, int>> expected = {{89, 0}};
  EXPECT_EQ(keys, expected);
}

// The game's waits on the real window: each sleeps until what it waits for
// can have happened, and nothing else ends it. Whatever should wake a wait
// and does not leaves it to a rescue key pushed after a few seconds.
class Waits : public Window {
 protected:
  Waits() : form(platform) {}

  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Window::SetUp();
    window.setKeyDownHandler([this](int code, int shift) {
      keys.emplace_back(code, shift);
      form.Form_KeyDown(code, shift);
    });
    rescuer = std::thread([this] {
      std::unique_lock lock(mutex);
      if (!woken.wait_for(lock, 5s, [this] { return finished; })) {
        SDL_Event rescue = keyDown(SDLK_F12, SDL_SCANCODE_F12);
        SDL_PushEvent(&rescue);
      }
    });
  }

  void TearDown() override {
    {
      std::lock_guard lock(mutex);
      finished = true;
    }
    woken.notify_all();
    rescuer.join();
  }

  // Pushes a key from another thread after `delay`.
  std::thread keyAfter(std::chrono::milliseconds delay, SDL_Keycode key,
                       SDL_Scancode scancode) {
    return std::thread([=] {
      std::this_thread::sleep_for(delay);
      SDL_Event event = keyDown(key, scancode);
      SDL_PushEvent(&event);
    });
  }

  static double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                         start)
        .count();
  }

  struct NoSpeech : SpeechEngine {
    std::shared_ptr<SpeechVoice> createVoice() override { return nullptr; }
  };
  SystemClock clock;
  SystemRandom random;
  NoSpeech speech;
  SdlAudioOutput audio;
  SdlSoundSystem sound{audio};
  Platform platform{window, clock, random, speech, sound, CUE_FOLDER};
  Form1 form;

  std::mutex mutex;
  std::condition_variable woken;
  bool finished = false;
  std::thread rescuer;
};

TEST_F(Waits, APauseEndsOnTimeAndKeysDoNotEndIt) {
  for (const bool withKey : {false, true}) {
    SCOPED_TRACE(withKey ? "a key during the pause" : "no event");
    form.keycode.clear();
    std::thread typist;
    if (withKey) typist = keyAfter(10ms, SDLK_a, SDL_SCANCODE_A);
    const auto start = std::chrono::steady_clock::now();
    form.dy(0.05);
    const double took = secondsSince(start);
    if (typist.joinable()) typist.join();
    EXPECT_GE(took, 0.05);
    // Generous under load: a pause that needs an event to end hangs.
    EXPECT_LT(took, 0.5);
    EXPECT_EQ(form.keycode, withKey ? L"65" : L"");
  }
}

TEST_F(Waits, AKeyWakesAWaitingKeyLoop) {
  window.pumpEvents();
  std::thread typist = keyAfter(30ms, SDLK_y, SDL_SCANCODE_Y);
  const auto start = std::chrono::steady_clock::now();
  window.idle(WaitingFor::Key, kUntilAnEvent);
  const double took = secondsSince(start);
  typist.join();
  window.pumpEvents();
  const std::vector<std::pair<int, int>> expected = {{89, 0}};
  EXPECT_EQ(keys, expected) << "woken by the rescue key";
  EXPECT_LT(took, 1.0);
}

TEST_F(Waits, TheEndOfACueWakesAWaitingPlay2) {
  form.openSoundDevice();
  const auto start = std::chrono::steady_clock::now();
  form.play2(L"ding");  // 0.35 s
  const double took = secondsSince(start);
  EXPECT_EQ(form.keycode, L"") << "ended by the rescue key, not the cue";
  EXPECT_GE(took, 0.3);
  EXPECT_LT(took, 2.0);
}

TEST_F(Window, AfterCloseThePumpDoesNothing) {
  push(keyDown(SDLK_n, SDL_SCANCODE_N));
  window.close();
  EXPECT_EQ(window.handle(), nullptr);
  EXPECT_NO_THROW(window.pumpEvents());
  push(ofType(SDL_QUIT));
  EXPECT_NO_THROW(window.pumpEvents());
  EXPECT_TRUE(keys.empty());
}

TEST_F(Window, MessageBoxFailureIsReported) {
  // The offscreen driver has no message boxes: the failure must surface.
  try {
    window.messageBox(L"Sorry\rPlease");
    FAIL() << "expected a Failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("message box"),
              std::string::npos)
        << failure.what();
  }
}

TEST(WindowStartup, ShowFailsWithTheSdlReason) {
  setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
  SdlWindowSystem window;
  try {
    window.show(L"Form1");
    FAIL() << "expected a Failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("no-such-driver"),
              std::string::npos)
        << failure.what();
  }
  // A window that never started still pumps and idles harmlessly.
  EXPECT_NO_THROW(window.pumpEvents());
  EXPECT_NO_THROW(window.idle(WaitingFor::Key, 1ms));
  EXPECT_EQ(window.handle(), nullptr);
}

// libwayland prints an error of its own when it cannot look for its
// socket: Wayland is then not tried at all.
TEST(WindowStartup, WaylandIsLeftOutWhenItsSocketCannotBeFound) {
  EXPECT_TRUE(sdl_window::waylandReachable(nullptr, nullptr, "/run/user/1"));
  EXPECT_TRUE(sdl_window::waylandReachable(nullptr, "/tmp/wl-0", nullptr));
  EXPECT_TRUE(sdl_window::waylandReachable("5", nullptr, nullptr));
  EXPECT_FALSE(sdl_window::waylandReachable(nullptr, "wayland-0", nullptr));
  EXPECT_FALSE(sdl_window::waylandReachable("", "wayland-0", "relative"));

  const std::vector<std::string> available = {"x11", "wayland", "kmsdrm",
                                              "offscreen"};
  EXPECT_EQ(sdl_window::videoDriversToTry("", available, true), std::nullopt);
  EXPECT_EQ(sdl_window::videoDriversToTry("wayland", available, true),
            std::nullopt);
  EXPECT_EQ(sdl_window::videoDriversToTry("", available, false),
            "x11,kmsdrm,offscreen");
  EXPECT_EQ(sdl_window::videoDriversToTry("Wayland,x11", available, false),
            "x11");
  EXPECT_EQ(sdl_window::videoDriversToTry("wayland", available, false), "");
}

TEST(WindowStartup, NoDisplayIsAFailureNotAnInvisibleWindow) {
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("DISPLAY");
  setenv("WAYLAND_DISPLAY", "", 1);
  SdlWindowSystem window;
  try {
    window.show(L"Form1");
    FAIL() << "expected a Failure";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("no display"), std::string::npos)
        << failure.what();
  }
  unsetenv("WAYLAND_DISPLAY");
}

}  // namespace
}  // namespace pelliwick
