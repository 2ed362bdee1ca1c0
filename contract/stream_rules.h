// What every Video CD 2.0 stream keeps to, read by the host's disc planner,
// the library, the stream encoder and the burner component's still encoder
// alike: the rates of video, audio and multiplex, the decoder's buffer, the
// sector payload the packs fill, how many sectors a CD plays a second, and
// how short a stream may be. Header-only: the components never link the
// library.
#pragma once

#include <cstdint>

namespace vcdalbum::contract {

// A CD plays 75 sectors a second.
inline constexpr int64_t kSectorsPerSecond = 75;

// MPEG-1 video at a constant 1,150,000 bits a second, decoded through a
// 40 KiB rate buffer.
inline constexpr int64_t kVideoBitRate = 1150000;
inline constexpr int kVbvBufferBits = 327680;
// MPEG-1 Layer II audio, 44.1 kHz stereo at 224 kbit/s.
inline constexpr int kAudioBitRate = 224000;
inline constexpr int kAudioSampleRate = 44100;

// The multiplex: one pack per Mode 2 Form 2 sector (2324 bytes of payload),
// at the rate of 75 raw 2352-byte sectors a second.
inline constexpr int kPacketSize = 2324;
inline constexpr int kMuxRate = 1411200;
inline constexpr int kMuxPreload = 440000;
inline constexpr int kMuxMaxDelay = 700000;

// Every stream lasts at least 3.2 s: with the image builder's margins, every
// disc track then reaches the recorders' 4-second minimum.
inline constexpr double kMinimumStreamSeconds = 3.2;

}  // namespace vcdalbum::contract
