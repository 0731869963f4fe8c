// A SAPI 5 voice for tests: an in-process COM server that Wine loads for
// CLSID_SpVoice {96749377-3391-11D2-9EE3-00C04F797396} in place of its own
// (registered under HKLM\Software\Classes\CLSID by test_voice.reg, with
// three voice tokens "Pelliwick Test Voice A", "B" and "C" under
// HKLM\Software\Microsoft\Speech\Voices\Tokens). It implements the ISpVoice
// calls the game makes; every other method answers E_NOTIMPL.
//
// Each call appends one line to the file named by PELLIWICK_TEST_VOICE_LOG
// (a Windows path, Wine's Z:\ being the Linux root, or a Linux path):
//   <seconds> <kind> <value>
// <seconds> is Unix time (GetSystemTimePreciseAsFileTime, 7 decimals), as
// CLOCK_REALTIME reads it on Linux. In <value>, newline, carriage return and
// backslash are written \n, \r and \\. Kinds:
//   voice   SetVoice: the token's id (under Wine, its key name:
//           "Pelliwick Test Voice A"), or "default" for NULL
//   rate    SetRate: the rate asked for (one outside -10..10 is then
//           refused with E_INVALIDARG)
//   volume  SetVolume: the volume asked for (above 100 refused)
//   speak   Speak: "<flags> <text>", flags in decimal (SPF_ASYNC 1,
//           SPF_PURGEBEFORESPEAK 2, SPF_IS_XML 8, SPF_IS_NOT_XML 16); the
//           text as given, markup included ("<spell>-</spell>")
//   synth   a text starts being spoken: its text
//   done    a text was spoken to its end: its text
//   purged  a purge cut the text being spoken or dropped queued ones: how
//           many texts it cut and dropped
//   failed  a call made to fail (below): the method's name
// Speaking takes PELLIWICK_TEST_VOICE_MS_PER_CHAR milliseconds per
// character (default 30) at rate 0, times 3^(-rate/10): 10 ms at rate 10,
// 90 ms at -10; the rate is the one set when Speak is called. Texts are
// spoken one after the other on a thread of the voice's own, so a waited
// Speak, WaitUntilDone and SpeakCompleteEvent behave as SAPI's, and a purge
// cuts the text being spoken at once.
// PELLIWICK_TEST_VOICE_FAIL, a comma-separated list of method names
// (SetVoice, Speak, SetRate, GetRate, SetVolume, WaitUntilDone), makes those
// calls fail with HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), 0x8007001F.
// A token that is not one of the test voices (Wine's own) can be chosen,
// but Speak with it answers E_NOTIMPL, as Wine's SAPI does.
#include <windows.h>
// (windows.h, then initguid.h, then the headers whose GUIDs are defined.)
#include <initguid.h>
#include <sapi.h>

#include <new>

#include "test_voice_object.h"

namespace {

using pelliwick::test_voice::TestVoice;

class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory: it is never freed.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                           void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* voice = new (std::nothrow) TestVoice();
    if (voice == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = voice->QueryInterface(iid, out);
    voice->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                    void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_SpVoice) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, out);
}

// The voice's speaking thread runs code of this DLL: it stays loaded.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
