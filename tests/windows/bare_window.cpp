// The smallest Win32 window there is: it is shown and ends when it is
// closed. The end-to-end tests time its close under Wine beside the game's,
// so that the time Wine itself takes is known.
#include <windows.h>

namespace {

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"PelliwickBareWindow";
  if (RegisterClassW(&windowClass) == 0) return 2;
  HWND window =
      CreateWindowW(L"PelliwickBareWindow", L"BareWindow", WS_OVERLAPPEDWINDOW,
                    CW_USEDEFAULT, CW_USEDEFAULT, 300, 200, nullptr, nullptr,
                    windowClass.hInstance, nullptr);
  if (window == nullptr) return 2;
  ShowWindow(window, SW_SHOW);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
