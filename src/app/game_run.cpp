#include "app/game_run.h"

#include "app/reported.h"
#include "game/form1.h"

namespace pelliwick::app {

int playGame(Platform& platform, ExitWatchdog& watchdog) {
  Form1 form(platform);
  const int status = reported([&form] {
    form.Form_Load();
    return 0;
  });
  watchdog.arm(status, kTeardownLimit);
  return status;
}

}  // namespace pelliwick::app
