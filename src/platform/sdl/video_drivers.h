#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelliwick::sdl_window {

// Whether libwayland can find a compositor's socket: WAYLAND_SOCKET, an
// absolute WAYLAND_DISPLAY, or XDG_RUNTIME_DIR to look in. Without one it
// fails after printing an error of its own.
bool waylandReachable(const char* waylandSocket, const char* waylandDisplay,
                      const char* runtimeDir);

// The video drivers SDL is to try, comma-separated, or nullopt to leave its
// own choice: those `named` (SDL_VIDEODRIVER's list, or all `available`
// when empty), without Wayland when it cannot be reached. An empty text:
// none is left.
std::optional<std::string> videoDriversToTry(
    const std::string& named, const std::vector<std::string>& available,
    bool waylandCanBeReached);

// Starts SDL's video as SDL_InitSubSystem does, with videoDriversToTry()
// applied to this process's environment for this start only; throws Failure
// when no driver is left.
int startVideo();

}  // namespace pelliwick::sdl_window
