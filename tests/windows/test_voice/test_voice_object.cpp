#include "test_voice_object.h"

#include <cmath>

#include "test_log.h"

namespace pelliwick::test_voice {

namespace {

// What the voice's own tokens are called (their registry key names).
constexpr wchar_t kOwnVoice[] = L"Pelliwick Test Voice";

// The error a call made to fail answers: the system has words for it.
constexpr HRESULT kFailure = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

std::wstring tokenId(ISpObjectToken* token) {
  if (token == nullptr) return L"default";
  wchar_t* id = nullptr;
  if (FAILED(token->GetId(&id)) || id == nullptr) return L"?";
  std::wstring text = id;
  CoTaskMemFree(id);
  return text;
}

}  // namespace

TestVoice::TestVoice() = default;

TestVoice::~TestVoice() {
  if (token_ != nullptr) token_->Release();
}

HRESULT TestVoice::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_ISpVoice || iid == IID_ISpEventSource ||
      iid == IID_ISpNotifySource) {
    *out = static_cast<ISpVoice*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG TestVoice::AddRef() { return ++references_; }

ULONG TestVoice::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT TestVoice::SetVoice(ISpObjectToken* token) {
  if (failing("SetVoice")) return kFailure;
  const std::wstring id = tokenId(token);
  logLine("voice", id);
  std::lock_guard lock(mutex_);
  if (token != nullptr) token->AddRef();
  if (token_ != nullptr) token_->Release();
  token_ = token;
  // Any other token (Wine's own voice) is taken but cannot speak, as a
  // voice whose engine is missing.
  ownVoice_ = token == nullptr || id.rfind(kOwnVoice, 0) == 0 ||
              id.find(std::wstring(L"\\") + kOwnVoice) != std::wstring::npos;
  return S_OK;
}

HRESULT TestVoice::GetVoice(ISpObjectToken** token) {
  if (token == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  *token = token_;
  if (token_ != nullptr) token_->AddRef();
  return token_ != nullptr ? S_OK : S_FALSE;
}

HRESULT TestVoice::Speak(LPCWSTR text, DWORD flags, ULONG* stream) {
  if (failing("Speak")) return kFailure;
  const std::wstring said = text != nullptr ? text : L"";
  logLine("speak", std::to_wstring(flags) + L" " + said);
  double msPerCharacter = 0;
  {
    std::lock_guard lock(mutex_);
    if (!ownVoice_) return E_NOTIMPL;
    // Faster at higher rates: three times as fast at 10, a third at -10.
    msPerCharacter =
        numberFromEnvironment(L"PELLIWICK_TEST_VOICE_MS_PER_CHAR", 30) *
        std::pow(3.0, -rate_ / 10.0);
    if (stream != nullptr) *stream = ++streams_;
  }
  if ((flags & SPF_PURGEBEFORESPEAK) != 0) speaker_.purge();
  if (!said.empty()) speaker_.add(said, msPerCharacter);
  if ((flags & SPF_ASYNC) == 0) {
    WaitForSingleObject(speaker_.doneEvent(), INFINITE);
  }
  return S_OK;
}

HRESULT TestVoice::SetRate(LONG rate) {
  if (failing("SetRate")) return kFailure;
  logLine("rate", std::to_string(rate));
  if (rate < -10 || rate > 10) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  rate_ = rate;
  return S_OK;
}

HRESULT TestVoice::GetRate(LONG* rate) {
  if (failing("GetRate")) return kFailure;
  if (rate == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  *rate = rate_;
  return S_OK;
}

HRESULT TestVoice::SetVolume(USHORT volume) {
  if (failing("SetVolume")) return kFailure;
  logLine("volume", std::to_string(volume));
  if (volume > 100) return E_INVALIDARG;
  std::lock_guard lock(mutex_);
  volume_ = volume;
  return S_OK;
}

HRESULT TestVoice::GetVolume(USHORT* volume) {
  if (volume == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  *volume = volume_;
  return S_OK;
}

HRESULT TestVoice::WaitUntilDone(ULONG ms) {
  if (failing("WaitUntilDone")) return kFailure;
  return WaitForSingleObject(speaker_.doneEvent(), ms) == WAIT_OBJECT_0
             ? S_OK
             : S_FALSE;
}

HANDLE TestVoice::SpeakCompleteEvent() { return speaker_.doneEvent(); }

// Not used by the game.
HRESULT TestVoice::SetNotifySink(ISpNotifySink*) { return E_NOTIMPL; }
HRESULT TestVoice::SetNotifyWindowMessage(HWND, UINT, WPARAM, LPARAM) {
  return E_NOTIMPL;
}
HRESULT TestVoice::SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM,
                                             LPARAM) {
  return E_NOTIMPL;
}
HRESULT TestVoice::SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM,
                                              LPARAM) {
  return E_NOTIMPL;
}
HRESULT TestVoice::SetNotifyWin32Event() { return E_NOTIMPL; }
HRESULT TestVoice::WaitForNotifyEvent(DWORD) { return E_NOTIMPL; }
HANDLE TestVoice::GetNotifyEventHandle() { return nullptr; }
HRESULT TestVoice::SetInterest(ULONGLONG, ULONGLONG) { return E_NOTIMPL; }
HRESULT TestVoice::GetEvents(ULONG, SPEVENT*, ULONG*) { return E_NOTIMPL; }
HRESULT TestVoice::GetInfo(SPEVENTSOURCEINFO*) { return E_NOTIMPL; }
HRESULT TestVoice::SetOutput(IUnknown*, WINBOOL) { return E_NOTIMPL; }
HRESULT TestVoice::GetOutputObjectToken(ISpObjectToken**) { return E_NOTIMPL; }
HRESULT TestVoice::GetOutputStream(ISpStreamFormat**) { return E_NOTIMPL; }
HRESULT TestVoice::Pause() { return E_NOTIMPL; }
HRESULT TestVoice::Resume() { return E_NOTIMPL; }
HRESULT TestVoice::SpeakStream(IStream*, DWORD, ULONG*) { return E_NOTIMPL; }
HRESULT TestVoice::GetStatus(SPVOICESTATUS*, LPWSTR*) { return E_NOTIMPL; }
HRESULT TestVoice::Skip(LPCWSTR, LONG, ULONG*) { return E_NOTIMPL; }
HRESULT TestVoice::SetPriority(SPVPRIORITY) { return E_NOTIMPL; }
HRESULT TestVoice::GetPriority(SPVPRIORITY*) { return E_NOTIMPL; }
HRESULT TestVoice::SetAlertBoundary(SPEVENTENUM) { return E_NOTIMPL; }
HRESULT TestVoice::GetAlertBoundary(SPEVENTENUM*) { return E_NOTIMPL; }
HRESULT TestVoice::SetSyncSpeakTimeout(ULONG) { return E_NOTIMPL; }
HRESULT TestVoice::GetSyncSpeakTimeout(ULONG*) { return E_NOTIMPL; }
HRESULT TestVoice::IsUISupported(LPCWSTR, void*, ULONG, WINBOOL*) {
  return E_NOTIMPL;
}
HRESULT TestVoice::DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG) {
  return E_NOTIMPL;
}

}  // namespace pelliwick::test_voice
