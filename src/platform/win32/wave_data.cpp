// Reads the WAV files that DirectSound's buffer-from-file helpers read: the
// RIFF chunks "fmt " and "data", in the formats Linux reads too. What it
// ignores: every other chunk (lists, cue points, facts), and the sample
// values of a torn last frame or block.
#include "platform/win32/wave_data.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "platform/failure.h"

namespace pelliwick::win32 {

namespace {

constexpr int kPcm = 1;
constexpr int kFloat = 3;
constexpr int kMuLaw = 7;
constexpr int kImaAdpcm = 0x11;
constexpr int kExtensible = 0xFFFE;

struct Format {
  int tag = 0;
  int channels = 0;
  std::uint32_t rate = 0;
  int blockAlign = 0;
  int bits = 0;
  int framesPerBlock = 0;  // IMA ADPCM only
};

class Reader {
 public:
  Reader(std::span<const std::uint8_t> bytes, const std::string& name)
      : bytes_(bytes), name_(name) {}

  [[noreturn]] void fail(const std::string& why) const {
    throw Failure("cannot load sound " + name_ + ": " + why);
  }
  std::uint32_t le(std::size_t at, int size) const {
    if (at + static_cast<std::size_t>(size) > bytes_.size()) fail("cut short");
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes_[at + i];
    return value;
  }
  bool tagAt(std::size_t at, const char* tag) const {
    return at + 4 <= bytes_.size() && std::memcmp(&bytes_[at], tag, 4) == 0;
  }
  std::span<const std::uint8_t> bytes() const { return bytes_; }

 private:
  std::span<const std::uint8_t> bytes_;
  const std::string& name_;
};

Format readFormat(const Reader& in, std::size_t at, std::uint32_t size) {
  if (size < 16) in.fail("the format chunk is too short");
  Format f;
  f.tag = static_cast<int>(in.le(at, 2));
  f.channels = static_cast<int>(in.le(at + 2, 2));
  f.rate = in.le(at + 4, 4);
  f.blockAlign = static_cast<int>(in.le(at + 12, 2));
  f.bits = static_cast<int>(in.le(at + 14, 2));
  if (f.tag == kExtensible) {
    if (size < 40) in.fail("the extensible format chunk is too short");
    // The sub-format GUID starts with the plain format's tag.
    f.tag = static_cast<int>(in.le(at + 24, 2));
  }
  if (f.tag == kImaAdpcm) {
    if (size < 20) in.fail("the ADPCM format chunk is too short");
    f.framesPerBlock = static_cast<int>(in.le(at + 18, 2));
  }
  if (f.channels < 1 || f.channels > 8) in.fail("unsupported channel count");
  if (f.rate < 100 || f.rate > 200000) in.fail("unsupported sample rate");
  if (f.blockAlign < 1) in.fail("no block size");
  return f;
}

float ulawToFloat(std::uint8_t code) {
  code = static_cast<std::uint8_t>(~code);
  const int exponent = (code >> 4) & 7;
  const int magnitude = (((code & 0x0F) << 3) + 0x84) << exponent;
  const int value = (code & 0x80) ? 0x84 - magnitude : magnitude - 0x84;
  return static_cast<float>(value) / 32768.0f;
}

// One sample of an integer or float frame, as -1..1.
float sampleAt(const Format& f, const std::uint8_t* p) {
  switch (f.tag == kFloat ? -f.bits : f.bits) {
    case 8:
      return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16:
      return static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
    case 24: {
      const auto v = static_cast<std::int32_t>(
          static_cast<std::uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24));
      return static_cast<float>(v / 2147483648.0);
    }
    case 32: {
      std::int32_t v;
      std::memcpy(&v, p, 4);
      return static_cast<float>(v / 2147483648.0);
    }
    case -32: {
      float v;
      std::memcpy(&v, p, 4);
      return v;
    }
    case -64: {
      double v;
      std::memcpy(&v, p, 8);
      return static_cast<float>(v);
    }
    default:
      return 0;
  }
}

// Appends the decoded frames of IMA ADPCM blocks, all channels interleaved.
void decodeImaAdpcm(const Reader& in, const Format& f,
                    std::span<const std::uint8_t> data,
                    std::vector<float>& out) {
  static constexpr std::array<int, 89> kSteps = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,
      19,    21,    23,    25,    28,    31,    34,    37,    41,    45,
      50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
      130,   143,   157,   173,   190,   209,   230,   253,   279,   307,
      337,   371,   408,   449,   494,   544,   598,   658,   724,   796,
      876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
      2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,
      5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487, 12635, 13899,
      15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  static constexpr std::array<int, 8> kIndexMoves = {-1, -1, -1, -1,
                                                     2,  4,  6,  8};
  const auto channels = static_cast<std::size_t>(f.channels);
  const auto block = static_cast<std::size_t>(f.blockAlign);
  if (f.bits != 4 || block < 4 * channels || (block / channels) % 4 != 0) {
    in.fail("unsupported ADPCM layout");
  }
  // Each block: a 4-byte header per channel, then 4-byte words per channel
  // of 8 nibbles each.
  const std::size_t frames = 1 + (block - 4 * channels) * 2 / channels;
  if (f.framesPerBlock != 0 &&
      static_cast<std::size_t>(f.framesPerBlock) != frames) {
    in.fail("inconsistent ADPCM block size");
  }
  for (std::size_t at = 0; at + block <= data.size(); at += block) {
    const std::uint8_t* b = &data[at];
    const std::size_t first = out.size();
    out.resize(first + frames * channels);
    for (std::size_t c = 0; c < channels; ++c) {
      int predictor = static_cast<std::int16_t>(b[4 * c] | b[4 * c + 1] << 8);
      int index = std::min<int>(b[4 * c + 2], 88);
      out[first + c] = predictor / 32768.0f;
      for (std::size_t n = 0; n + 1 < frames; ++n) {
        const std::size_t word = 4 * channels + (n / 8) * 4 * channels + 4 * c;
        const int nibble = (b[word + (n % 8) / 2] >> (4 * (n % 2))) & 0xF;
        const int step = kSteps[static_cast<std::size_t>(index)];
        int diff = step >> 3;
        if (nibble & 1) diff += step >> 2;
        if (nibble & 2) diff += step >> 1;
        if (nibble & 4) diff += step;
        predictor += (nibble & 8) ? -diff : diff;
        predictor = std::clamp(predictor, -32768, 32767);
        index = std::clamp(index + kIndexMoves[nibble & 7], 0, 88);
        out[first + (n + 1) * channels + c] = predictor / 32768.0f;
      }
    }
  }
}

std::vector<float> decodeSamples(const Reader& in, const Format& f,
                                 std::span<const std::uint8_t> data) {
  std::vector<float> out;
  if (f.tag == kImaAdpcm) {
    decodeImaAdpcm(in, f, data, out);
    return out;
  }
  const bool known = (f.tag == kPcm && (f.bits == 8 || f.bits == 16 ||
                                        f.bits == 24 || f.bits == 32)) ||
                     (f.tag == kFloat && (f.bits == 32 || f.bits == 64)) ||
                     (f.tag == kMuLaw && f.bits == 8);
  if (!known) {
    in.fail("unsupported format " + std::to_string(f.tag) + " with " +
            std::to_string(f.bits) + " bits");
  }
  const auto width = static_cast<std::size_t>(f.bits / 8);
  const auto frameBytes = width * static_cast<std::size_t>(f.channels);
  if (static_cast<std::size_t>(f.blockAlign) != frameBytes) {
    in.fail("the block size does not match the sample size");
  }
  out.reserve(data.size() / width);
  for (std::size_t frame = 0; frame + frameBytes <= data.size();
       frame += frameBytes) {
    for (std::size_t at = frame; at < frame + frameBytes; at += width) {
      out.push_back(f.tag == kMuLaw ? ulawToFloat(data[at])
                                    : sampleAt(f, &data[at]));
    }
  }
  return out;
}

std::int16_t toPcm16(float value) {
  if (!(value == value)) return 0;  // NaN in a float file
  return static_cast<std::int16_t>(
      std::lround(std::clamp(value, -1.0f, 32767.0f / 32768.0f) * 32768.0f));
}

}  // namespace

WaveData decodeWave(std::span<const std::uint8_t> bytes,
                    const std::string& name) {
  const Reader in(bytes, name);
  if (!in.tagAt(0, "RIFF") || !in.tagAt(8, "WAVE")) in.fail("not a WAV file");
  // A RIFF size larger than the file is common (files cut while written):
  // the chunks are read as far as the file goes.
  const std::size_t end =
      std::min<std::size_t>(bytes.size(), 8 + std::size_t{in.le(4, 4)});
  Format format;
  bool haveFormat = false;
  std::span<const std::uint8_t> data;
  bool haveData = false;
  for (std::size_t at = 12; at + 8 <= end;) {
    const std::uint32_t size = in.le(at + 4, 4);
    const std::size_t body = at + 8;
    const std::size_t available = std::min<std::size_t>(size, end - body);
    if (in.tagAt(at, "fmt ")) {
      if (available < size) in.fail("the format chunk is cut short");
      format = readFormat(in, body, size);
      haveFormat = true;
    } else if (in.tagAt(at, "data") && !haveData) {
      data = bytes.subspan(body, available);
      haveData = true;
    }
    // Chunks are padded to an even size.
    at = body + std::size_t{size} + (size & 1);
  }
  if (!haveFormat) in.fail("no format chunk");
  if (!haveData) in.fail("no data chunk");

  const std::vector<float> decoded = decodeSamples(in, format, data);
  WaveData wave;
  wave.channels = format.channels >= 2 ? 2 : 1;
  wave.sampleRate = static_cast<int>(format.rate);
  const auto channels = static_cast<std::size_t>(format.channels);
  const std::size_t frames = decoded.size() / channels;
  if (frames == 0) in.fail("it has no samples");
  wave.samples.reserve(frames * static_cast<std::size_t>(wave.channels));
  for (std::size_t i = 0; i < frames; ++i) {
    const float* frame = &decoded[i * channels];
    if (channels <= 2) {
      for (std::size_t c = 0; c < channels; ++c) {
        wave.samples.push_back(toPcm16(frame[c]));
      }
      continue;
    }
    // More channels: the even ones to the left, the odd ones to the right.
    float left = 0, right = 0;
    for (std::size_t c = 0; c < channels; ++c)
      (c % 2 ? right : left) += frame[c];
    const auto perSide = static_cast<float>((channels + 1) / 2);
    wave.samples.push_back(toPcm16(left / perSide));
    wave.samples.push_back(toPcm16(right / static_cast<float>(channels / 2)));
  }
  return wave;
}

}  // namespace pelliwick::win32
