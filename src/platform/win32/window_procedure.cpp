// What this implements of the window system: the game window's procedure.
// Key-downs, auto-repeats included, go to the game with their virtual-key
// codes as they are; a close, the end of the Windows session and a stop end
// the game. Nothing is drawn, and Alt and F10 open no menu: only Alt+F4 is
// left to Windows, which closes the window as every program's does.
#include <windows.h>

#include "platform/win32/win32_failure.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/window_state.h"

namespace pelliwick::win32 {

namespace {

LRESULT CALLBACK gameWindowProcedure(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* state =
      reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (state == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  try {
    switch (message) {
      case WM_KEYDOWN:
        state->typed(static_cast<int>(wParam), LOWORD(lParam));
        return 0;
      case WM_SYSKEYDOWN:
        // F10, and any key with Alt held (Alt itself included).
        state->typed(static_cast<int>(wParam), LOWORD(lParam));
        if (wParam == VK_F4) break;  // Alt+F4: Windows posts the close
        return 0;
      case WM_SYSKEYUP:
        // Windows would open the system menu here for a lone Alt or F10.
        return 0;
      case WM_SYSCHAR:
        // Not made (the pump translates no keys), and would only beep.
        return 0;
      case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
        break;
      case WM_CLOSE:
        // The window stays until the game has ended and closes it.
        state->closeByUser();
        return 0;
      case WM_QUERYENDSESSION:
        // Nothing to save: the session may end. The game ends only once it
        // does end (WM_ENDSESSION), as another program may still refuse.
        return TRUE;
      case WM_ENDSESSION:
        if (wParam != FALSE) state->closeByUser();
        return 0;
      case kWakeMessage:
        if (state->stopRequested) state->closeByUser();
        return 0;
      default:
        break;
    }
  } catch (...) {
    if (!state->failure) state->failure = std::current_exception();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct BoxSearch {
  HWND owner;
  HWND box = nullptr;
};

BOOL CALLBACK findOwnedBox(HWND window, LPARAM lParam) {
  auto& search = *reinterpret_cast<BoxSearch*>(lParam);
  wchar_t name[16] = {};
  // "#32770" is the class of every dialog box, message boxes included.
  if (GetWindow(window, GW_OWNER) == search.owner &&
      GetClassNameW(window, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0) {
    search.box = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

void WindowState::closeByUser() {
  if (closedByUser) return;
  closedByUser = true;
  heldKeys.clear();
  if (showingBox) endOwnedMessageBox(window);
}

void WindowState::typed(int code, int repeats) {
  if (closedByUser || closedByProgram) return;
  const int shift = GetKeyState(VK_SHIFT) < 0 ? 1 : 0;
  // Windows counts the repeats of a held key in one message when the queue
  // is not read fast enough: each is a key-down of its own.
  for (int i = 0; i < (repeats > 0 ? repeats : 1); ++i) {
    heldKeys.emplace_back(code, shift);
  }
  if (pumping) runHeldKeys();
}

void WindowState::runHeldKeys() {
  while (!heldKeys.empty() && !closedByUser) {
    const auto [code, shift] = heldKeys.front();
    heldKeys.pop_front();
    if (handler) handler(code, shift);
  }
}

const wchar_t* gameWindowClass() {
  static const wchar_t* const name = [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = gameWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground =
        static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"PelliwickForm1";
    if (RegisterClassExW(&windowClass) == 0) {
      failWithLastError("cannot register the window class");
    }
    return windowClass.lpszClassName;
  }();
  return name;
}

void endOwnedMessageBox(HWND owner) {
  // The box's own loop dispatched the close, so the box exists by now.
  BoxSearch search{owner};
  EnumThreadWindows(GetCurrentThreadId(), findOwnedBox,
                    reinterpret_cast<LPARAM>(&search));
  if (search.box == nullptr) throw Failure("cannot find the message box");
  if (!EndDialog(search.box, IDOK)) {
    failWithLastError("cannot end the message box");
  }
}

}  // namespace pelliwick::win32
