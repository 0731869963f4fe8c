#include "speech_session.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "failure.h"
#include "speech_text.h"

namespace pelliwick::espeak {

namespace {

// espeak-ng's process-wide state, and who uses it.
struct Library {
  std::mutex mutex;  // held around every espeak-ng call
  bool sessionRunning = false;
  bool initialised = false;
  std::string dataKey;  // which data the library was started with
  int initialisations = 0;
};

Library& library() {
  static Library instance;
  return instance;
}

// espeak-ng 1.51 hangs in espeak_Terminate, and in the calls after it, once
// it has been initialised a second time in a process. So only the first
// initialisation is ever terminated; a later one stays up and is reused by
// the next session that asks for the same data.
bool terminatable(const Library& lib) { return lib.initialisations == 1; }

std::string dataKeyFor(const std::optional<std::filesystem::path>& folder) {
  if (folder) {
    return "folder:" + folder->string();
  }
  const char* fromEnvironment = std::getenv("ESPEAK_DATA_PATH");
  return fromEnvironment != nullptr ? std::string("env:") + fromEnvironment
                                    : std::string("default");
}

std::string describe(espeak_ng_STATUS status, espeak_ng_ERROR_CONTEXT context) {
  // Only the printing call names the file that could not be read.
  char* buffer = nullptr;
  std::size_t size = 0;
  std::string text;
  if (FILE* out = open_memstream(&buffer, &size)) {
    espeak_ng_PrintStatusCodeMessage(status, out, context);
    std::fclose(out);
    text.assign(buffer, size);
    std::free(buffer);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) {
    char message[512] = {};
    espeak_ng_GetStatusCodeMessage(status, message, sizeof message);
    text = message;
  }
  return text;
}

int synthCallback(short* samples, int count, espeak_EVENT* events);

// Opens the library for a session; the caller holds lib.mutex.
// espeak_Initialize cannot be used: with espeakINITIALIZE_DONT_EXIT it
// still returns the old sample rate after a failed restart, and without it
// espeak-ng ends the process when its data is missing.
void openLibrary(Library& lib,
                 const std::optional<std::filesystem::path>& dataFolder) {
  const std::string key = dataKeyFor(dataFolder);
  if (!lib.initialised || lib.dataKey != key) {
    lib.initialised = false;
    const std::string folder = dataFolder ? dataFolder->string() : "";
    espeak_ng_InitializePath(dataFolder ? folder.c_str() : nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    if (status == ENS_OK) {
      status =
          espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    }
    if (status != ENS_OK) {
      const std::string message = describe(status, context);
      espeak_ng_ClearErrorContext(&context);
      throw Failure("espeak-ng could not start: " + message);
    }
    ++lib.initialisations;
    lib.initialised = true;
    lib.dataKey = key;
  }
  const int rate = espeak_ng_GetSampleRate();
  if (rate != kSampleRate) {
    throw Failure("espeak-ng could not start: it synthesises at " +
                  std::to_string(rate) + " Hz, the speech stream plays " +
                  std::to_string(kSampleRate) + " Hz");
  }
  espeak_SetSynthCallback(synthCallback);
}

void closeLibrary(Library& lib) {
  std::lock_guard lock(lib.mutex);
  if (lib.initialised && terminatable(lib)) {
    lib.initialised = false;
    const espeak_ERROR result = espeak_Terminate();
    if (result != EE_OK) {
      // Nobody is left to throw to: the last voice is being destroyed.
      std::cerr << "espeak-ng could not stop cleanly (error " << result
                << ")\n";
    }
  }
  lib.sessionRunning = false;
}

std::vector<VoiceInfo> listVoices() {
  std::vector<VoiceInfo> voices;
  const espeak_VOICE** list = espeak_ListVoices(nullptr);
  for (; list != nullptr && *list != nullptr; ++list) {
    const espeak_VOICE& voice = **list;
    if (voice.name == nullptr) {
      continue;  // could not be selected by name
    }
    voices.push_back({voice.name,
                      voice.identifier != nullptr ? voice.identifier : "",
                      parseLanguages(voice.languages)});
  }
  return voices;
}

thread_local SpeechSession* synthesising = nullptr;

int synthCallback(short* samples, int count, espeak_EVENT*) {
  if (synthesising == nullptr) {
    return 1;
  }
  return synthesising->onSamples(samples, count) ? 1 : 0;
}

}  // namespace

SpeechSession::SpeechSession(StreamSource streamSource,
                             std::optional<std::filesystem::path> dataFolder)
    : streamSource_(std::move(streamSource)),
      dataFolder_(std::move(dataFolder)) {
  {
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    if (lib.sessionRunning) {
      throw Failure(
          "espeak-ng is already in use by another speech engine of this "
          "program");
    }
    lib.sessionRunning = true;
  }
  std::vector<std::string> localeOrder = localeLanguages(
      std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
  std::promise<void> started;
  std::future<void> startResult = started.get_future();
  try {
    thread_ = std::thread(&SpeechSession::run, this, std::move(localeOrder),
                          std::move(started));
  } catch (const std::system_error& error) {
    std::lock_guard lock(library().mutex);
    library().sessionRunning = false;
    throw Failure(std::string("could not start the speech thread: ") +
                  error.what());
  }
  try {
    startResult.get();
  } catch (...) {
    thread_.join();
    throw;
  }
}

SpeechSession::~SpeechSession() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    dropEverythingLocked();
  }
  workReady_.notify_all();
  thread_.join();
}

void SpeechSession::run(std::vector<std::string> localeOrder,
                        std::promise<void> started) {
  Library& lib = library();
  try {
    std::lock_guard lock(lib.mutex);
    openLibrary(lib, dataFolder_);
    voices_ = listVoices();
    putLocaleVoiceFirst(voices_, localeOrder);
  } catch (...) {
    // Unlocked by now: closeLibrary takes the mutex itself.
    started.set_exception(std::current_exception());
    closeLibrary(lib);
    return;
  }
  started.set_value();

  std::unique_lock lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) {
      break;
    }
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    speakJob(job);
    lock.lock();
  }
  lock.unlock();
  closeLibrary(lib);
}

void SpeechSession::speakJob(const Job& job) {
  std::string error;
  if (!job.utterance.text.empty()) {
    error = synthesise(job);
  }
  {
    std::lock_guard lock(mutex_);
    if (job.ticket <= abortThrough_) {
      return;  // the purge already settled its outcome
    }
    if (job.waited) {
      outcomes_[job.ticket] = {true, false, lastEnd_, error};
    } else if (!error.empty() && !deferredError_) {
      deferredError_ = error;
    }
  }
  jobDone_.notify_all();
}

std::string SpeechSession::synthesise(const Job& job) {
  const Utterance& utterance = job.utterance;
  std::lock_guard libraryLock(library().mutex);
  // Exactly these three calls per text: the end-to-end tests interpose them
  // to hear what is spoken, in which voice and at which rate.
  if (espeak_SetVoiceByName(utterance.voiceName.c_str()) != EE_OK) {
    return "espeak-ng could not select the voice " + utterance.voiceName;
  }
  if (espeak_SetParameter(espeakRATE, utterance.wordsPerMinute, 0) != EE_OK) {
    return "espeak-ng refused the rate of " +
           std::to_string(utterance.wordsPerMinute) + " words per minute";
  }
  currentTicket_ = job.ticket;
  currentVolume_ = utterance.volume;
  {
    std::lock_guard lock(mutex_);
    jobError_.clear();
  }
  synthesising = this;
  const espeak_ERROR result =
      espeak_Synth(utterance.text.c_str(), utterance.text.size() + 1, 0,
                   POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
  synthesising = nullptr;
  std::lock_guard lock(mutex_);
  if (!jobError_.empty()) {
    return jobError_;
  }
  if (result != EE_OK && job.ticket > abortThrough_ && !stopping_) {
    return "espeak-ng could not synthesise the text (error " +
           std::to_string(result) + ")";
  }
  return "";
}

bool SpeechSession::onSamples(const short* samples, int count) {
  if (samples != nullptr && count > 0) {
    scratch_.assign(samples, samples + count);
    applyVolume(scratch_.data(), scratch_.size(), currentVolume_);
  } else {
    scratch_.clear();
  }
  // Checked and appended under one lock, so that nothing of a purged text
  // reaches the stream after the purge has cleared it.
  std::lock_guard lock(mutex_);
  if (stopping_ || currentTicket_ <= abortThrough_) {
    return true;
  }
  if (!scratch_.empty()) {
    try {
      lastEnd_ = stream_->append(scratch_.data(), scratch_.size());
    } catch (const std::exception& error) {
      jobError_ =
          std::string("the speech stream refused samples: ") + error.what();
      return true;
    }
  }
  return false;
}

SpeechStream& SpeechSession::stream() {
  std::lock_guard resolving(streamMutex_);
  {
    std::lock_guard lock(mutex_);
    if (stream_ != nullptr) {
      return *stream_;
    }
  }
  SpeechStream& resolved = streamSource_();
  std::lock_guard lock(mutex_);
  stream_ = &resolved;
  return resolved;
}

std::uint64_t SpeechSession::enqueue(Utterance utterance, bool waited) {
  std::uint64_t ticket = 0;
  {
    std::lock_guard lock(mutex_);
    ticket = nextTicket_++;
    if (waited) {
      outcomes_[ticket] = Outcome{};
    }
    queue_.push_back({ticket, std::move(utterance), waited});
  }
  workReady_.notify_one();
  return ticket;
}

void SpeechSession::waitHeard(std::uint64_t ticket,
                              const std::function<bool()>& giveUp) {
  Outcome outcome;
  SpeechStream* stream = nullptr;
  {
    std::unique_lock lock(mutex_);
    jobDone_.wait(lock, [&] { return outcomes_[ticket].done; });
    outcome = std::move(outcomes_[ticket]);
    outcomes_.erase(ticket);
    stream = stream_;
  }
  if (!outcome.error.empty()) {
    throw Failure(outcome.error);
  }
  if (outcome.dropped || stream == nullptr) return;
  // A purge meanwhile counts the dropped samples as played: this wakes.
  while (!stream->waitPlayedFor(outcome.end, std::chrono::milliseconds(10))) {
    if (giveUp && giveUp()) {
      purge();
      return;
    }
  }
}

void SpeechSession::purge() {
  {
    std::lock_guard lock(mutex_);
    dropEverythingLocked();
    if (stream_ != nullptr) {
      stream_->clear();
    }
  }
}

void SpeechSession::dropEverythingLocked() {
  abortThrough_ = nextTicket_ - 1;
  queue_.clear();
  for (auto& [ticket, outcome] : outcomes_) {
    if (!outcome.done) {
      outcome.done = true;
      outcome.dropped = true;
    }
  }
  jobDone_.notify_all();
}

void SpeechSession::throwDeferredFailure() {
  std::lock_guard lock(mutex_);
  if (deferredError_) {
    const std::string error = std::move(*deferredError_);
    deferredError_.reset();
    throw Failure("an earlier text could not be spoken: " + error);
  }
}

}  // namespace pelliwick::espeak
