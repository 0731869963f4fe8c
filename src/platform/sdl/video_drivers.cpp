#include "platform/sdl/video_drivers.h"

#include <SDL.h>

#include <cstdlib>
#include <sstream>

#include "platform/failure.h"

namespace pelliwick::sdl_window {
namespace {

bool isSet(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

bool waylandReachable(const char* waylandSocket, const char* waylandDisplay,
                      const char* runtimeDir) {
  return isSet(waylandSocket) ||
         (isSet(waylandDisplay) && *waylandDisplay == '/') ||
         (isSet(runtimeDir) && *runtimeDir == '/');
}

std::optional<std::string> videoDriversToTry(
    const std::string& named, const std::vector<std::string>& available,
    bool waylandCanBeReached) {
  if (waylandCanBeReached) return std::nullopt;
  std::vector<std::string> drivers;
  if (named.empty()) {
    drivers = available;
  } else {
    std::istringstream list(named);
    for (std::string name; std::getline(list, name, ',');) {
      drivers.push_back(name);
    }
  }
  std::string kept;
  for (const auto& driver : drivers) {
    if (driver.empty() || SDL_strcasecmp(driver.c_str(), "wayland") == 0) {
      continue;
    }
    kept += (kept.empty() ? "" : ",") + driver;
  }
  return kept;
}

int startVideo() {
  const char* named = std::getenv("SDL_VIDEODRIVER");
  std::vector<std::string> available;
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
    available.emplace_back(SDL_GetVideoDriver(i));
  }
  const auto drivers =
      videoDriversToTry(named != nullptr ? named : "", available,
                        waylandReachable(std::getenv("WAYLAND_SOCKET"),
                                         std::getenv("WAYLAND_DISPLAY"),
                                         std::getenv("XDG_RUNTIME_DIR")));
  if (!drivers) return SDL_InitSubSystem(SDL_INIT_VIDEO);
  if (drivers->empty()) {
    throw Failure(
        "cannot open the window: Wayland cannot be reached without "
        "XDG_RUNTIME_DIR");
  }
  // Above SDL_VIDEODRIVER, which SDL reads otherwise.
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers->c_str(),
                          SDL_HINT_OVERRIDE);
  const int result = SDL_InitSubSystem(SDL_INIT_VIDEO);
  SDL_ResetHint(SDL_HINT_VIDEODRIVER);
  return result;
}

}  // namespace pelliwick::sdl_window
