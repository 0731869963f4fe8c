// Implements, over libbrlapi, what the game asks of the braille service: the
// display taken in terminal mode (the game's own, not a console's), text
// with a cursor, and brltty's panning commands. Ignored: raw and
// driver-specific keys, dots written directly, parameters, several lines.
#include "platform/brlapi/brlapi_connection.h"

#include <brlapi.h>

#include <cstdlib>
#include <string>

#include "platform/failure.h"

namespace pelliwick::braille {

namespace {

// Only these reach the game; every other key stays brltty's.
constexpr brlapi_keyCode_t kPanKeys[] = {
    BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_FWINLT,
    BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_FWINRT,
    BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_FWINLTSKIP,
    BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_FWINRTSKIP,
    BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_LNBEG,
    BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_LNEND,
};

[[noreturn]] void fail(const std::string& what) {
  throw Failure("braille: " + what + ": " + brlapi_strerror(&brlapi_error));
}

// BrlAPI's default answer to an error packet is abort(). Returning instead
// makes the call that found it fail with an end of file.
void ignoreException(brlapi_handle_t*, int, brlapi_packetType_t, const void*,
                     size_t) {}

class BrlapiConnection : public Connection {
 public:
  BrlapiConnection()
      : handle_(static_cast<brlapi_handle_t*>(
            std::malloc(brlapi_getHandleSize()))) {
    if (handle_ == nullptr) throw Failure("braille: out of memory");
    fd_ = brlapi__openConnection(handle_, nullptr, nullptr);
    if (fd_ < 0) {
      std::free(handle_);
      fail("cannot connect to brltty");
    }
    brlapi__setExceptionHandler(handle_, ignoreException);
    unsigned int x = 0;
    unsigned int y = 0;
    if (brlapi__getDisplaySize(handle_, &x, &y) < 0 || x == 0) {
      close();
      throw Failure("braille: the display has no cells");
    }
    columns_ = x;
  }
  ~BrlapiConnection() override { close(); }
  BrlapiConnection(const BrlapiConnection&) = delete;
  BrlapiConnection& operator=(const BrlapiConnection&) = delete;

  std::size_t columns() override { return columns_; }
  int fileDescriptor() override { return fd_; }

  void takeDisplay() override {
    // No tty path: the game is no console, and the display is simply ours
    // while we hold it.
    if (brlapi__enterTtyModeWithPath(handle_, nullptr, 0, nullptr) < 0) {
      fail("cannot take the display");
    }
    if (brlapi__ignoreAllKeys(handle_) < 0 ||
        brlapi__acceptKeys(handle_, brlapi_rangeType_key, kPanKeys,
                           std::size(kPanKeys)) < 0) {
      fail("cannot choose the keys");
    }
  }

  void giveBack() override {
    if (brlapi__leaveTtyMode(handle_) < 0) fail("cannot give the display back");
  }

  void write(const Window& window) override {
    const int cursor = window.cursor ? static_cast<int>(*window.cursor) + 1
                                     : BRLAPI_CURSOR_OFF;
    if (brlapi__writeWText(handle_, cursor, window.text.c_str()) < 0) {
      fail("cannot write");
    }
  }

  std::vector<Pan> readPans() override {
    std::vector<Pan> pans;
    for (;;) {
      brlapi_keyCode_t key = 0;
      const int got = brlapi__readKey(handle_, 0, &key);
      if (got < 0) fail("connection lost");
      if (got == 0) return pans;
      if ((key & BRLAPI_KEY_TYPE_MASK) != BRLAPI_KEY_TYPE_CMD) continue;
      switch (key & BRLAPI_KEY_CODE_MASK) {
        case BRLAPI_KEY_CMD_FWINLT:
        case BRLAPI_KEY_CMD_FWINLTSKIP:
          pans.push_back(Pan::Back);
          break;
        case BRLAPI_KEY_CMD_FWINRT:
        case BRLAPI_KEY_CMD_FWINRTSKIP:
          pans.push_back(Pan::Forward);
          break;
        case BRLAPI_KEY_CMD_LNBEG:
          pans.push_back(Pan::Start);
          break;
        case BRLAPI_KEY_CMD_LNEND:
          pans.push_back(Pan::End);
          break;
        default:
          break;
      }
    }
  }

 private:
  void close() {
    if (handle_ == nullptr) return;
    brlapi__closeConnection(handle_);
    std::free(handle_);
    handle_ = nullptr;
  }

  brlapi_handle_t* handle_;
  int fd_ = -1;
  std::size_t columns_ = 0;
};

}  // namespace

std::unique_ptr<Connection> connectToBrltty() {
  return std::make_unique<BrlapiConnection>();
}

}  // namespace pelliwick::braille
