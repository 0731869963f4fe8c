#include "platform/sdl_audio/sdl_thread.h"

#include <SDL.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/failure.h"

namespace pelliwick {

BlockingWorker::ThreadStarter sdlThread(const char* name) {
  return [name](std::function<void()> body) {
    auto task = std::make_unique<std::function<void()>>(std::move(body));
    SDL_Thread* thread = SDL_CreateThread(
        [](void* data) {
          std::unique_ptr<std::function<void()>> owned(
              static_cast<std::function<void()>*>(data));
          (*owned)();
          return 0;
        },
        name, task.get());
    if (thread == nullptr) {
      throw Failure(std::string("cannot start a sound thread: ") +
                    SDL_GetError());
    }
    task.release();
    SDL_DetachThread(thread);
  };
}

}  // namespace pelliwick
