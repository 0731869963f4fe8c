#include "platform/mixer/resampler.h"

#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/failure.h"

namespace pelliwick {

namespace {

// Images and aliasing come out more than 100 dB down, and the filter reads
// 40 input frames ahead (1.8 ms of speech at 22050 Hz).
constexpr int kQuality = SPEEX_RESAMPLER_QUALITY_DESKTOP;

std::uint32_t asRate(int hz) { return static_cast<std::uint32_t>(hz); }

// More than the filter reads ahead at any rate a buffer accepts.
constexpr std::size_t kHistoryFrames = 256;

}  // namespace

Resampler::Resampler(int channels, int inputRate, int outputRate)
    : channels_(channels), inputRate_(inputRate), outputRate_(outputRate) {
  if (channels <= 0 || inputRate <= 0 || outputRate <= 0) {
    throw Failure("resampler: invalid format: " + std::to_string(channels) +
                  " channels, " + std::to_string(inputRate) + " Hz to " +
                  std::to_string(outputRate) + " Hz");
  }
  int error = 0;
  state_ = speex_resampler_init(static_cast<std::uint32_t>(channels),
                                asRate(inputRate), asRate(outputRate), kQuality,
                                &error);
  if (state_ == nullptr) {
    throw Failure(std::string("resampler: ") + speex_resampler_strerror(error));
  }
  speex_resampler_skip_zeros(state_);
  history_.assign(kHistoryFrames * static_cast<std::size_t>(channels), 0.0f);
}

Resampler::~Resampler() { speex_resampler_destroy(state_); }

void Resampler::setInputRate(int hz) {
  if (hz <= 0) {
    throw Failure("resampler: invalid input rate " + std::to_string(hz));
  }
  const bool wasPassingThrough = passesThrough();
  const int error =
      speex_resampler_set_rate(state_, asRate(hz), asRate(outputRate_));
  if (error != RESAMPLER_ERR_SUCCESS) {
    throw Failure(std::string("resampler: ") + speex_resampler_strerror(error));
  }
  inputRate_ = hz;
  // The filter saw nothing while frames were copied: give it what was
  // heard last, so that the sound goes on without a jump.
  if (wasPassingThrough && !passesThrough()) primeFromHistory();
}

std::size_t Resampler::lookAhead() const {
  if (passesThrough()) return 0;
  return static_cast<std::size_t>(speex_resampler_get_input_latency(state_)) +
         1;
}

void Resampler::restart() {
  speex_resampler_reset_mem(state_);
  speex_resampler_skip_zeros(state_);
  discard_ = 0;
  std::fill(history_.begin(), history_.end(), 0.0f);
}

void Resampler::remember(const float* in, std::size_t frames) {
  const auto channels = static_cast<std::size_t>(channels_);
  const std::size_t kept = std::min(frames, kHistoryFrames);
  std::copy(history_.begin() + static_cast<std::ptrdiff_t>(kept * channels),
            history_.end(), history_.begin());
  float* to = history_.data() + (kHistoryFrames - kept) * channels;
  if (in == nullptr) {
    std::fill(to, to + kept * channels, 0.0f);
  } else {
    std::copy(in + (frames - kept) * channels, in + frames * channels, to);
  }
}

void Resampler::primeFromHistory() {
  speex_resampler_reset_mem(state_);
  speex_resampler_skip_zeros(state_);
  const auto frames = std::min<std::size_t>(
      kHistoryFrames,
      static_cast<std::size_t>(speex_resampler_get_input_latency(state_)));
  // The first output frame stands at the first frame fed; those before the
  // present are dropped as they come.
  discard_ = static_cast<std::size_t>(
      std::ceil(static_cast<double>(frames) * outputRate_ / inputRate_));
  std::size_t inFrames = frames;
  std::size_t outFrames = 0;
  process(history_.data() +
              (kHistoryFrames - frames) * static_cast<std::size_t>(channels_),
          inFrames, nullptr, outFrames);
}

void Resampler::process(const float* in, std::size_t& inFrames, float* out,
                        std::size_t& outFrames) {
  const auto channels = static_cast<std::size_t>(channels_);
  std::size_t consumed = 0;
  while (discard_ > 0 && consumed < inFrames) {
    float dropped[256];
    auto inLength = static_cast<spx_uint32_t>(inFrames - consumed);
    auto outLength = static_cast<spx_uint32_t>(
        std::min(discard_, sizeof dropped / sizeof *dropped / channels));
    speex_resampler_process_interleaved_float(
        state_, in != nullptr ? in + consumed * channels : nullptr, &inLength,
        dropped, &outLength);
    consumed += inLength;
    discard_ -= outLength;
    if (inLength == 0 && outLength == 0) break;
  }
  if (discard_ > 0 || outFrames == 0) {
    inFrames = consumed;
    outFrames = 0;
    return;
  }
  if (consumed > 0) {
    std::size_t more = inFrames - consumed;
    process(in != nullptr ? in + consumed * channels : nullptr, more, out,
            outFrames);
    inFrames = consumed + more;
    return;
  }
  if (passesThrough()) {
    const std::size_t frames = std::min(inFrames, outFrames);
    const std::size_t samples = frames * channels;
    if (in != nullptr) {
      std::memcpy(out, in, samples * sizeof(float));
    } else {
      std::fill(out, out + samples, 0.0f);
    }
    remember(in, frames);
    inFrames = outFrames = frames;
    return;
  }
  auto inLength = static_cast<spx_uint32_t>(inFrames);
  auto outLength = static_cast<spx_uint32_t>(outFrames);
  speex_resampler_process_interleaved_float(state_, in, &inLength, out,
                                            &outLength);
  inFrames = inLength;
  outFrames = outLength;
}

}  // namespace pelliwick
