// The Win32 game window under Wine: the window contract, and what only a
// Windows window has (system keys, the session's end, the message box).
// Keys are posted to the window as WM_KEYDOWN, as Windows queues them.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/failure.h"
#include "platform/win32/program_folder.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_window.h"
#include "window_contract.h"

namespace pelliwick {
namespace {

using namespace std::chrono_literals;
using Keys = std::vector<int>;

// lParam of a key-down: one repeat, and the context bit when Alt is held.
constexpr LPARAM kOnce = 1;
constexpr LPARAM kWithAlt = kOnce | (LPARAM{1} << 29);

void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0) {
  ASSERT_TRUE(PostMessageW(window, message, wParam, lParam));
}

// Sent as Windows sends it, answered only while the window's thread looks;
// given up after a few seconds, so that a test fails rather than hangs.
LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  EXPECT_NE(SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL,
                                5000, &result),
            0)
      << "message " << message << " not answered";
  return static_cast<LRESULT>(result);
}

class Win32Driver : public contract::WindowDriver {
 public:
  Win32Driver() {
    window_.show(L"Form1");
    hwnd_ = static_cast<HWND>(window_.handle());
  }
  WindowSystem& window() override { return window_; }
  void typeKey(int code) override {
    PostMessageW(hwnd_, WM_KEYDOWN, static_cast<WPARAM>(code), kOnce);
  }
  void wake() override { PostMessageW(hwnd_, win32::kWakeMessage, 0, 0); }
  // What Wine's X11 driver posts when the window manager asks to close.
  void closeByPlayer() override {
    PostMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  bool closeRequested() override { return window_.closeRequested(); }
  void requestStop() override { window_.requestStop(); }

 private:
  Win32WindowSystem window_;
  HWND hwnd_ = nullptr;
};

using contract::WindowContract;
INSTANTIATE_TEST_SUITE_P(Win32, WindowContract,
                         ::testing::Values(contract::WindowBackend{
                             "Win32",
                             [] { return std::make_unique<Win32Driver>(); }}),
                         contract::backendName);

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    window.setKeyDownHandler([this](int code, int) { keys.push_back(code); });
    window.show(L"Form1");
    hwnd = static_cast<HWND>(window.handle());
    ASSERT_NE(hwnd, nullptr);
  }

  Win32WindowSystem window;
  HWND hwnd = nullptr;
  Keys keys;
};

TEST_F(Win32Window, IsATopLevelWindowCalledForm1OfItsOwnClass) {
  wchar_t text[64] = {};
  GetWindowTextW(hwnd, text, 64);
  EXPECT_STREQ(text, L"Form1");
  GetClassNameW(hwnd, text, 64);
  EXPECT_STREQ(text, L"PelliwickForm1");
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetAncestor(hwnd, GA_PARENT), GetDesktopWindow());
  // A second show keeps the window.
  window.show(L"Form1");
  EXPECT_EQ(window.handle(), hwnd);
}

TEST_F(Win32Window, SystemKeysReachTheGameAndOpenNoMenu) {
  post(hwnd, WM_SYSKEYDOWN, VK_F10, kOnce);
  post(hwnd, WM_SYSKEYUP, VK_F10, kOnce);
  post(hwnd, WM_SYSKEYDOWN, VK_MENU, kWithAlt);
  post(hwnd, WM_SYSKEYUP, VK_MENU, kOnce);
  post(hwnd, WM_KEYDOWN, 'A', kOnce);
  // A repeat Windows counted into one message is a key-down of its own.
  post(hwnd, WM_KEYDOWN, '5', 3);
  const auto start = std::chrono::steady_clock::now();
  // Post a way out of a menu loop, should one open, so the test ends.
  std::atomic<bool> pumped{false};
  std::thread rescue([this, &pumped] {
    const auto since = std::chrono::steady_clock::now();
    while (!pumped && secondsSince(since) < 2) {
      std::this_thread::sleep_for(10ms);
    }
    if (pumped) return;
    PostMessageW(hwnd, WM_CANCELMODE, 0, 0);
    PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, kOnce);
  });
  window.pumpEvents();
  const double took = secondsSince(start);
  pumped = true;
  rescue.join();
  EXPECT_LT(took, 1.5);
  EXPECT_EQ(keys, (Keys{121, 18, 65, 53, 53, 53}));
}

TEST_F(Win32Window, AltF4ClosesTheWindowAsEverywhere) {
  post(hwnd, WM_SYSKEYDOWN, VK_F4, kWithAlt);
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
  EXPECT_EQ(keys, Keys{115});
}

TEST_F(Win32Window, AStormOfKeysArrivesWholeAndInOrder) {
  Keys typed;
  for (int i = 0; i < 3000; ++i) {
    const int code = i % 2 == 0 ? '0' + i % 10 : 'A' + i % 26;
    typed.push_back(code);
    post(hwnd, WM_KEYDOWN, static_cast<WPARAM>(code), kOnce);
  }
  window.pumpEvents();
  EXPECT_EQ(keys, typed);
}

TEST_F(Win32Window, TheEndOfTheSessionEndsTheGame) {
  std::thread session([this] {
    EXPECT_EQ(send(hwnd, WM_QUERYENDSESSION, 0), TRUE);
    send(hwnd, WM_ENDSESSION, FALSE);  // another program said no
    send(hwnd, WM_KEYDOWN, '7', kOnce);
    send(hwnd, WM_ENDSESSION, TRUE);
  });
  const auto start = std::chrono::steady_clock::now();
  bool closed = false;
  while (!closed && secondsSince(start) < 5) {
    closed = window.closeRequested();
    if (!closed) std::this_thread::sleep_for(1ms);
  }
  session.join();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(keys.empty());
  EXPECT_THROW(window.pumpEvents(), ProgramClosed);
}

TEST_F(Win32Window, TheSessionGoesOnWhenAnotherProgramRefusesItsEnd) {
  std::thread session([this] {
    EXPECT_EQ(send(hwnd, WM_QUERYENDSESSION, 0), TRUE);
    send(hwnd, WM_ENDSESSION, FALSE);
    PostMessageW(hwnd, WM_KEYDOWN, '7', kOnce);
  });
  const auto start = std::chrono::steady_clock::now();
  bool closed = false;
  while (!closed && keys.empty() && secondsSince(start) < 5) {
    try {
      window.pumpEvents();
    } catch (const ProgramClosed&) {
      closed = true;
    }
    window.idle(WaitingFor::Key, 10ms);
  }
  session.join();
  EXPECT_FALSE(closed);
  EXPECT_EQ(keys, Keys{55});
  EXPECT_FALSE(window.closeRequested());
}

// The no-voice box as the player meets it: found by its title, read, and
// ended with OK or by the end of the game.
class MessageBoxTest : public Win32Window {
 protected:
  // Once it is shown, filled in.
  static HWND waitForBox() {
    const auto start = std::chrono::steady_clock::now();
    while (secondsSince(start) < 5) {
      const HWND box = FindWindowW(L"#32770", L"Pelliwick");
      if (box != nullptr && IsWindowVisible(box)) return box;
      std::this_thread::sleep_for(5ms);
    }
    return nullptr;
  }

  struct BoxContents {
    HWND owner = nullptr;
    std::vector<std::wstring> texts;    // its visible static texts
    std::vector<std::wstring> buttons;  // its visible buttons
    int icons = 0;                      // visible icons shown
  };

  static BoxContents read(HWND box) {
    BoxContents contents;
    contents.owner = GetWindow(box, GW_OWNER);
    EnumChildWindows(
        box,
        [](HWND child, LPARAM lParam) -> BOOL {
          auto& out = *reinterpret_cast<BoxContents*>(lParam);
          if (!IsWindowVisible(child)) return TRUE;
          wchar_t name[32] = {};
          GetClassNameW(child, name, 32);
          std::wstring text(GetWindowTextLengthW(child) + 1, L'\0');
          text.resize(GetWindowTextW(child, text.data(),
                                     static_cast<int>(text.size())));
          const LONG style = GetWindowLongW(child, GWL_STYLE);
          if (lstrcmpiW(name, L"Button") == 0) {
            out.buttons.push_back(text);
          } else if ((style & SS_TYPEMASK) == SS_ICON) {
            // Wine keeps an empty icon control in a box without one.
            if (SendMessageW(child, STM_GETICON, 0, 0) != 0) ++out.icons;
          } else if (lstrcmpiW(name, L"Static") == 0 && !text.empty()) {
            out.texts.push_back(text);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&contents));
    return contents;
  }
};

TEST_F(MessageBoxTest, ShowsTheTextAsGivenWithOkOnlyAndNoIcon) {
  BoxContents contents;
  std::thread player([&] {
    const HWND box = waitForBox();
    if (box == nullptr) return;
    contents = read(box);
    // A key for the game while the box is up waits for the next pump.
    PostMessageW(hwnd, WM_KEYDOWN, VK_RETURN, kOnce);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  window.messageBox(L"first line\rsecond line");
  player.join();
  EXPECT_EQ(contents.owner, hwnd);
  EXPECT_EQ(contents.texts,
            std::vector<std::wstring>{L"first line\rsecond line"});
  EXPECT_EQ(contents.buttons, std::vector<std::wstring>{L"OK"});
  EXPECT_EQ(contents.icons, 0);
  EXPECT_TRUE(keys.empty());
  window.pumpEvents();
  EXPECT_EQ(keys, Keys{13});
}

TEST_F(MessageBoxTest, ACloseOrAStopEndsTheBoxAndTheGame) {
  for (const bool byStop : {false, true}) {
    SCOPED_TRACE(byStop ? "a stop from another thread" : "a close");
    Win32WindowSystem game;
    game.show(L"Form1");
    const auto gameWindow = static_cast<HWND>(game.handle());
    std::thread closer([&] {
      const HWND box = waitForBox();
      if (box == nullptr) return;
      if (byStop) {
        game.requestStop();
      } else {
        PostMessageW(gameWindow, WM_CLOSE, 0, 0);
      }
      // Should the box stay, OK ends the test.
      const auto start = std::chrono::steady_clock::now();
      while (IsWindow(box) && secondsSince(start) < 6) {
        std::this_thread::sleep_for(10ms);
      }
      if (IsWindow(box)) PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(game.messageBox(L"Sorry"), ProgramClosed);
    // Wine takes 2 s to hide a window when no window manager runs.
    EXPECT_LT(secondsSince(start), 4.5) << "ended by the test's OK";
    EXPECT_EQ(FindWindowW(L"#32770", L"Pelliwick"), nullptr);
    closer.join();
    EXPECT_THROW(game.pumpEvents(), ProgramClosed);
  }
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  const std::filesystem::path folder = win32::programFolder();
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  const std::filesystem::path program(path);
  EXPECT_TRUE(std::filesystem::exists(folder / program.filename()));
  // The cues are copied beside every program of the build.
  EXPECT_TRUE(std::filesystem::exists(folder / "wild.wav"));
}

}  // namespace
}  // namespace pelliwick
