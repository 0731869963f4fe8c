#pragma once

#include <windows.h>
// (sapi.h needs windows.h first.)
#include <sapi.h>

#include <atomic>
#include <mutex>
#include <string>

#include "speaker.h"

namespace pelliwick::test_voice {

// ISpVoice as the game uses it; every other method answers E_NOTIMPL.
class TestVoice : public ISpVoice {
 public:
  TestVoice();
  virtual ~TestVoice();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ISpNotifySource, ISpEventSource: not used.
  HRESULT STDMETHODCALLTYPE SetNotifySink(ISpNotifySink*) override;
  HRESULT STDMETHODCALLTYPE SetNotifyWindowMessage(HWND, UINT, WPARAM,
                                                   LPARAM) override;
  HRESULT STDMETHODCALLTYPE SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM,
                                                      LPARAM) override;
  HRESULT STDMETHODCALLTYPE SetNotifyCallbackInterface(ISpNotifyCallback*,
                                                       WPARAM, LPARAM) override;
  HRESULT STDMETHODCALLTYPE SetNotifyWin32Event() override;
  HRESULT STDMETHODCALLTYPE WaitForNotifyEvent(DWORD) override;
  HANDLE STDMETHODCALLTYPE GetNotifyEventHandle() override;
  HRESULT STDMETHODCALLTYPE SetInterest(ULONGLONG, ULONGLONG) override;
  HRESULT STDMETHODCALLTYPE GetEvents(ULONG, SPEVENT*, ULONG*) override;
  HRESULT STDMETHODCALLTYPE GetInfo(SPEVENTSOURCEINFO*) override;

  // ISpVoice
  HRESULT STDMETHODCALLTYPE SetOutput(IUnknown*, WINBOOL) override;
  HRESULT STDMETHODCALLTYPE GetOutputObjectToken(ISpObjectToken**) override;
  HRESULT STDMETHODCALLTYPE GetOutputStream(ISpStreamFormat**) override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Resume() override;
  HRESULT STDMETHODCALLTYPE SetVoice(ISpObjectToken* token) override;
  HRESULT STDMETHODCALLTYPE GetVoice(ISpObjectToken** token) override;
  HRESULT STDMETHODCALLTYPE Speak(LPCWSTR text, DWORD flags,
                                  ULONG* stream) override;
  HRESULT STDMETHODCALLTYPE SpeakStream(IStream*, DWORD, ULONG*) override;
  HRESULT STDMETHODCALLTYPE GetStatus(SPVOICESTATUS*, LPWSTR*) override;
  HRESULT STDMETHODCALLTYPE Skip(LPCWSTR, LONG, ULONG*) override;
  HRESULT STDMETHODCALLTYPE SetPriority(SPVPRIORITY) override;
  HRESULT STDMETHODCALLTYPE GetPriority(SPVPRIORITY*) override;
  HRESULT STDMETHODCALLTYPE SetAlertBoundary(SPEVENTENUM) override;
  HRESULT STDMETHODCALLTYPE GetAlertBoundary(SPEVENTENUM*) override;
  HRESULT STDMETHODCALLTYPE SetRate(LONG rate) override;
  HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override;
  HRESULT STDMETHODCALLTYPE SetVolume(USHORT volume) override;
  HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override;
  HRESULT STDMETHODCALLTYPE WaitUntilDone(ULONG ms) override;
  HRESULT STDMETHODCALLTYPE SetSyncSpeakTimeout(ULONG) override;
  HRESULT STDMETHODCALLTYPE GetSyncSpeakTimeout(ULONG*) override;
  HANDLE STDMETHODCALLTYPE SpeakCompleteEvent() override;
  HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR, void*, ULONG,
                                          WINBOOL*) override;
  HRESULT STDMETHODCALLTYPE DisplayUI(HWND, LPCWSTR, LPCWSTR, void*,
                                      ULONG) override;

 private:
  std::atomic<ULONG> references_{1};
  std::mutex mutex_;
  ISpObjectToken* token_ = nullptr;
  bool ownVoice_ = false;
  LONG rate_ = 0;
  USHORT volume_ = 100;
  ULONG streams_ = 0;
  Speaker speaker_;
};

}  // namespace pelliwick::test_voice
