// Sanitizer builds with GCC only, its AddressSanitizer runtime linked in.
// That runtime does not hold its own locks across fork(), as newer ones do:
// SDL's message box forks, and its child allocates in Xlib; when another
// thread (the braille connect, say) held an allocator lock at that moment,
// the box's process waited forever. The program holds them itself, in the
// order the newer runtimes take them.
#include <pthread.h>

// The runtime's own calls, which its leak checker uses the same way.
namespace __lsan {
void LockThreadRegistry();
void UnlockThreadRegistry();
void LockAllocator();
void UnlockAllocator();
}  // namespace __lsan
namespace __sanitizer {
void StackDepotLockAll();
void StackDepotUnlockAll();
}  // namespace __sanitizer

namespace {

void lockBeforeFork() {
  __lsan::LockThreadRegistry();
  __lsan::LockAllocator();
  __sanitizer::StackDepotLockAll();
}

void unlockAfterFork() {
  __sanitizer::StackDepotUnlockAll();
  __lsan::UnlockAllocator();
  __lsan::UnlockThreadRegistry();
}

// Installed before any library's constructor, so that fork takes the locks
// after every other handler has run, and frees them before any other runs.
void installForkLock(int, char**, char**) {
  pthread_atfork(lockBeforeFork, unlockAfterFork, unlockAfterFork);
}

[[gnu::used, gnu::section(".preinit_array")]] void (*const atStart)(
    int, char**, char**) = installForkLock;

}  // namespace
