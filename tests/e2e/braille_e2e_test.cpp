// The real program with a headless brltty of the test's own: its TTY
// driver draws the display on a pseudo-terminal, which the test reads back.
// A whole game is played by reading the display, with brltty killed and
// started again in the middle. brltty must run as root.
#include "e2e_support.h"
// After GoogleTest: Xlib defines macros such as None and Bool.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <tuple>

#include "server_kit.h"

namespace pelliwick::e2e {
namespace {

// One line the display showed, and when.
struct Shown {
  double time = 0;
  std::string text;
  std::optional<std::size_t> cursor;
};

std::string brlttyProgram() {
  const std::string found = findProgram("brltty");
  return found.empty() && access("/usr/sbin/brltty", X_OK) == 0
             ? "/usr/sbin/brltty"
             : found;
}

// brltty on a pseudo-terminal. Each line it shows reaches the terminal as
// text after a clear (without its trailing blanks), then the same line as
// 40 braille cells, the cursor's cell with dots 7 and 8 added.
class HeadlessBrltty {
 public:
  static constexpr std::size_t kCells = 40;

  explicit HeadlessBrltty(fs::path dir) : dir_(std::move(dir)) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      throw std::runtime_error("cannot open a pseudo-terminal");
    }
    terminal_ = ptsname(master_);
    // Held open, so that the terminal outlives each brltty.
    slave_ = open(terminal_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    while (test_servers::takesClients(socketPath(hostNumber_))) {
      if (++hostNumber_ > 84) throw std::runtime_error("hosts :81-:84 busy");
    }
    reader_ = std::thread([this] { read(); });
  }
  ~HeadlessBrltty() {
    process_.kill();
    stopping_ = true;
    reader_.join();
    close(slave_);
    close(master_);
  }

  // The BrlAPI host, one of :81 to :84 that nobody serves.
  std::string host() const { return ":" + std::to_string(hostNumber_); }

  void start() {
    const std::size_t from = lines().size();
    process_ =
        Process({brlttyProgram(), "-n", "-q", "-b", "tt", "-d",
                 "serial:" + terminal_.substr(5), "-B", "columns=40,lines=1",
                 "-x", "no", "-s", "no", "-A", "auth=none,host=" + host(), "-f",
                 "/dev/null", "-P", (dir_ / "brltty.pid").string()},
                currentEnvironment(), dir_ / "brltty.out", dir_ / "brltty.err");
    waitFor("no screen", from, 15s);
    // Its BrlAPI server may open after the first line is shown.
    const auto listens = [this] {
      return test_servers::takesClients(socketPath(hostNumber_));
    };
    if (!test_servers::waitUntil(listens, 15s, {}, 10ms)) {
      throw std::runtime_error("brltty's BrlAPI socket never opened");
    }
  }

  void kill() { process_.kill(); }
  void signal(int number) { process_.signal(number); }
  pid_t pid() const { return process_.pid(); }

  // Keys as the terminal sends them: brltty's TTY driver pans on them.
  void press(const std::string& sequence) {
    if (write(master_, sequence.data(), sequence.size()) !=
        static_cast<ssize_t>(sequence.size())) {
      throw std::runtime_error("cannot type on the terminal");
    }
  }

  std::vector<Shown> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

  // Index of the first line from `from` on that shows `text`.
  std::size_t waitFor(const std::string& text, std::size_t from,
                      Seconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto shown = lines();
      for (std::size_t i = from; i < shown.size(); ++i) {
        if (shown[i].text == text) return i;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error("the display never showed [" + text + "]");
      }
      std::this_thread::sleep_for(5ms);
    }
  }

 private:
  static fs::path socketPath(int number) {
    return "/var/lib/BrlAPI/" + std::to_string(number);
  }

  void read() {
    std::string pending;
    while (!stopping_) {
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, 20) <= 0) continue;
      char chunk[4096];
      const ssize_t got = ::read(master_, chunk, sizeof chunk);
      if (got <= 0) continue;
      pending.append(chunk, static_cast<std::size_t>(got));
      parse(pending, monotonicNow());
    }
  }

  // kCells characters from U+2800 to U+28FF in a row, three bytes each.
  static bool cellsAt(const std::string& text, std::size_t at) {
    for (std::size_t cell = 0; cell < kCells; ++cell) {
      const auto* bytes =
          reinterpret_cast<const unsigned char*>(text.data() + at + 3 * cell);
      if (bytes[0] != 0xe2 || (bytes[1] & 0xfc) != 0xa0 ||
          (bytes[2] & 0xc0) != 0x80) {
        return false;
      }
    }
    return true;
  }

  void parse(std::string& pending, double now) {
    static const std::string kClear = "\x1b[J";
    for (;;) {
      std::size_t cells = 0;
      while (cells + 3 * kCells <= pending.size() && !cellsAt(pending, cells)) {
        ++cells;
      }
      if (cells + 3 * kCells > pending.size()) return;
      // The text runs from the clear to the first control character (curses
      // moves to the cells' line in whichever way is shortest).
      const auto clear = pending.rfind(kClear, cells);
      std::size_t end = clear == std::string::npos ? 0 : clear + kClear.size();
      const std::size_t start = end;
      while (end < cells && static_cast<unsigned char>(pending[end]) >= 0x20) {
        ++end;
      }
      Shown shown{now, pending.substr(start, end - start), std::nullopt};
      for (std::size_t cell = 0; cell < kCells; ++cell) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(
            pending.data() + cells + 3 * cell);
        const unsigned dots = ((bytes[1] & 0x03u) << 6) | (bytes[2] & 0x3fu);
        if ((dots & 0xc0u) == 0xc0u) shown.cursor = cell;
      }
      pending.erase(0, cells + 3 * kCells);
      std::lock_guard lock(mutex_);
      lines_.push_back(std::move(shown));
    }
  }

  fs::path dir_;
  int master_ = -1;
  int slave_ = -1;
  std::string terminal_;  // "/dev/pts/N"
  int hostNumber_ = 81;
  Process process_;
  std::atomic<bool> stopping_ = false;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<Shown> lines_;
};

constexpr char kPanForward[] = "\x1bOC";  // the terminal's Right arrow
constexpr char kPanBack[] = "\x1bOD";
constexpr char kHelp[] =
    "\x1bOP";  // F1: brltty's help, when it has the display

class WithBrltty : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    if (brlttyProgram().empty()) GTEST_SKIP() << "brltty is not installed";
    if (getuid() != 0) GTEST_SKIP() << "brltty runs as root only";
    brltty_ = std::make_unique<HeadlessBrltty>(dir_);
  }
  void TearDown() override {
    if (brltty_ != nullptr) printRecord();
    EndToEnd::TearDown();
    brltty_.reset();
  }

  // Sends a key and waits for the display to show `shown` after it.
  void keyShows(const std::string& name, const std::string& shown) {
    const std::size_t from = brltty_->lines().size();
    key(name);
    brltty_->waitFor(shown, from);
  }

  // The feedback to a guess, as the display shows it.
  std::string guess(int number, std::size_t& spoken) {
    // Keys typed before the prompt are forgotten.
    spoken = waitForSpeech({kPrompt}, spoken + 1);
    std::string answer;
    for (char digit : std::to_string(number)) {
      answer += digit;
      keyShows(std::string(1, digit), " 100 " + answer);
    }
    const std::size_t from = brltty_->lines().size();
    key("Return");
    spoken = waitForSpeech({kTooLow, kTooHigh, kRight}, spoken + 1);
    // Found first: the lines are copied after, so that they hold it.
    const std::size_t shown =
        brltty_->waitFor(trimmed(speechAt(spoken).text), from);
    return brltty_->lines().at(shown).text;
  }

  // What the display showed, and from the start of each spoken text to the
  // display showing it (the nearest line with its start; none while brltty
  // was away).
  void printRecord() {
    const auto shown = brltty_->lines();
    if (shown.empty()) return;
    std::printf("what the display showed, seconds from the first line:\n");
    for (const auto& line : shown) {
      std::printf("  %7.3f [%s]", line.time - shown.front().time,
                  line.text.c_str());
      if (line.cursor) std::printf(" cursor at cell %zu", *line.cursor);
      std::printf("\n");
    }
    std::vector<double> delays;
    for (const auto& said : readSpeechLog(speechLog_)) {
      std::istringstream words(said.text);
      std::string word;
      std::string text;
      while (words >> word) text += (text.empty() ? "" : " ") + word;
      double nearest = 1;
      for (const auto& line : shown) {
        const double delay = line.time - said.time;
        if (said.kind == "synth" && text.size() > 1 &&
            line.text == text.substr(0, HeadlessBrltty::kCells) &&
            std::abs(delay) < std::abs(nearest)) {
          nearest = delay;
        }
      }
      if (std::abs(nearest) < 1) delays.push_back(1000 * nearest);
    }
    if (delays.empty()) return;
    std::printf(
        "start of speech to shown: median %.1f ms, worst %.1f ms, %zu"
        " texts\n",
        median(delays), *std::max_element(delays.begin(), delays.end()),
        delays.size());
  }

  void startGameWithBrltty(bool checkLeaks = true) {
    brltty_->start();
    startXvfb();
    Environment env = gameEnvironment();
    // As for the other ends: the sanitizer's leak check alone takes 0.3 s.
    if (!checkLeaks && env.count("ASAN_OPTIONS") != 0) {
      env["ASAN_OPTIONS"] += ":detect_leaks=0";
    }
    env["BRLAPI_HOST"] = brltty_->host();
    env["BRLAPI_AUTH"] = "none";
    startGame(env);
    window_ = findGameWindow();
    runTool({"xdotool", "windowfocus", "--sync", window_});
  }

  std::unique_ptr<HeadlessBrltty> brltty_;
  std::string window_;
};

TEST_F(WithBrltty, AWholeGameOnTheDisplayThroughADeadBrltty) {
  startGameWithBrltty();

  // The title, then the prompt from its start; panning moves through it.
  const std::string prompt = "Enter your guess, a number between 0 and";
  std::size_t at = brltty_->waitFor(trimmed(kTitle), 0);
  at = brltty_->waitFor(prompt, at);
  brltty_->press(kPanForward);
  at = brltty_->waitFor(" 100", at);
  brltty_->press(kPanBack);
  at = brltty_->waitFor(prompt, at);

  // The answer as typed, Backspace included, the cursor after it. "0" is
  // always too low.
  const std::vector<std::tuple<std::string, std::string, std::size_t>> typed = {
      {"5", " 100 5", 6},
      {"0", " 100 50", 7},
      {"BackSpace", " 100 5", 6},
      {"BackSpace", " 100", 5},
      {"0", " 100 0", 6}};
  for (const auto& [name, shown, cursor] : typed) {
    keyShows(name, shown);
    EXPECT_EQ(brltty_->lines().back().cursor, cursor) << shown;
  }
  keyShows("Return", trimmed(kTooLow));
  std::size_t spoken = waitForSpeech({kTooLow}, 0);

  // brltty dies: the game goes on speaking. Once brltty is back, the
  // next text is shown.
  brltty_->kill();
  spoken = waitForSpeech({kPrompt}, spoken + 1);
  key("F1");
  spoken = waitForSpeech({kPrompt}, spoken + 1);
  at = brltty_->lines().size();
  brltty_->start();
  keepProcess(brltty_->pid());  // the test's own, not the game's
  key("F1");
  brltty_->waitFor(prompt, at);
  keyShows("7", " 100 7");
  keyShows("BackSpace", " 100");

  // Halving the range until the number is found, by reading the display.
  int low = 1;
  int high = 100;
  int guesses = 1;
  int last = 0;
  std::string feedback;
  while (feedback != trimmed(kRight)) {
    if (feedback == trimmed(kTooLow)) low = last + 1;
    if (feedback == trimmed(kTooHigh)) high = last - 1;
    last = (low + high) / 2;
    feedback = guess(last, spoken);
    ++guesses;
  }

  // The result, and the question joined to the guesses as they are queued:
  // longer than the display, so it pans.
  const std::string took =
      "it took you " + std::to_string(guesses) + " guesses";
  at = brltty_->waitFor("the number was " + std::to_string(last), 0);
  at = brltty_->waitFor(took, at);
  const std::string question =
      took + " do you want to play again? press y or n";
  at = brltty_->waitFor(question.substr(0, 40), at);
  brltty_->press(kPanForward);
  at = brltty_->waitFor(question.substr(40, 40), at);

  // Another window takes the focus: the display is brltty's again, which
  // shows its help on the terminal's F1. Back in the game, the question
  // where the player left it.
  const Window other = XCreateSimpleWindow(
      display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, 0, 0);
  XMapWindow(display_, other);
  XSync(display_, False);
  runTool({"xdotool", "windowfocus", "--sync", std::to_string(other)});
  std::this_thread::sleep_for(200ms);
  at = brltty_->lines().size();
  brltty_->press(kHelp);
  at = brltty_->waitFor("Help: TTY", at);
  runTool({"xdotool", "windowfocus", "--sync", window_});
  at = brltty_->waitFor(question.substr(40, 40), at);

  key("n");
  at = brltty_->waitFor(trimmed(kThanks).substr(0, 40), at);
  at = brltty_->waitFor(kExiting, at);
  expectCleanExit(10s);
}

TEST_F(WithBrltty, AStalledBrlttyHoldsNeitherTheGameNorItsEnd) {
  startGameWithBrltty(false);
  std::size_t spoken = waitForSpeech({kPrompt}, 0);
  brltty_->waitFor("Enter your guess, a number between 0 and", 0);
  brltty_->signal(SIGSTOP);
  key("4");
  spoken = waitForSpeech({"4"}, spoken);
  key("F1");
  spoken = waitForSpeech({kPrompt}, spoken);
  const double before = monotonicNow();
  game_.signal(SIGTERM);
  expectCleanExit(10s);
  const double took = monotonicNow() - before;
  brltty_->signal(SIGCONT);
  std::printf("SIGTERM to the end with brltty stalled: %.0f ms\n", took * 1000);
  // The same bound as the other ends, for a target of 0.3 s: the game waits
  // 50 ms for a stalled brltty to take the display back.
  EXPECT_LT(took, 0.5);
}

}  // namespace
}  // namespace pelliwick::e2e
