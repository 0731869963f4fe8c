// The Windows program, pelliwick.exe of the Windows build, run under Wine in
// a real X window (the test's own Xvfb), keys typed with xdotool. Speech is
// observed through the test SAPI voice's log (the Linux speech log's format,
// Unix time), the cues through Wine's DirectSound trace. Wine's own
// processes start with the game and outlive it: they are the test's, not
// left behind by the game, and the test ends them with the Wine server.
#pragma once

#include <functional>

#include "e2e_support.h"

namespace pelliwick::e2e {

// The clock of the test voice's log.
double realtimeNow();
// A Linux path as a Wine program sees it (drive Z: is the root).
std::string windowsPath(const fs::path& path);

inline const std::string kNoVoiceCaption = "Pelliwick";
// As Wine's msgbox trace prints it: the carriage return escaped.
inline const std::string kNoVoiceTrace =
    "L\"Sorry but I couldn't find any voices to use\\rPlease contact "
    "Orvanne\"";

class WineEndToEnd : public EndToEnd {
 protected:
  enum class Sapi { Wine, TestVoice };

  // Skips when the Windows build has no pelliwick.exe, unless
  // PELLIWICK_REQUIRE_WINDOWS is set.
  void SetUp() override;
  void TearDown() override;

  // Starts Xvfb and the Wine server of a prefix for it: Wine's own SAPI,
  // or the test voice registered in place of it. Skips without the test
  // voice: callers return when IsSkipped().
  void startWine(Sapi sapi);
  Environment wineEnvironment() const;
  // Runs a Windows program (the game unless told) as game_.
  void startProgram(Environment env, const fs::path& exe = {});
  // The first line at or after `from` of `kind` whose text `matches`.
  std::size_t waitForLine(
      const std::string& kind,
      const std::function<bool(const std::string&)>& matches, std::size_t from,
      Seconds timeout = 30s);
  // The echo of one character: the character alone, markup around it or not.
  std::size_t waitForEcho(const std::string& character, std::size_t from);
  // How many cues the game has started (Wine's dsound trace, when on).
  int cuePlays();
  // The message box, found by its caption; "" if none within `timeout`.
  std::string waitForBox(Seconds timeout);
  // Finds the number between low and high by halving, from a prompt that
  // has been asked, through the result; returns the count of guesses.
  // `countKnown` false: guesses were sent that the test did not count.
  int guessByHalving(std::size_t& cursor, int low = 1, int high = 100,
                     int guessesSoFar = 0, bool countKnown = true);
  // After the result: answers n and expects the farewell and status 0.
  void sayNoAndExpectTheEnd(std::size_t cursor);
  // Wine's own processes started so far are the test's.
  void keepWineProcesses();

  fs::path windowsBuild_;
  fs::path root_;
};

}  // namespace pelliwick::e2e
