#include "sdl_audio/sdl_thread.h"

#include <SDL.h>

#include <memory>
#include <thread>
#include <utility>

namespace pelliwick {

void runDetached(const char* name, std::function<void()> work) {
  auto task = std::make_unique<std::function<void()>>(std::move(work));
  SDL_Thread* thread = SDL_CreateThread(
      [](void* data) {
        std::unique_ptr<std::function<void()>> owned(
            static_cast<std::function<void()>*>(data));
        (*owned)();
        return 0;
      },
      name, task.get());
  if (thread == nullptr) {
    std::thread(std::move(*task)).detach();
    return;
  }
  task.release();
  SDL_DetachThread(thread);
}

}  // namespace pelliwick
