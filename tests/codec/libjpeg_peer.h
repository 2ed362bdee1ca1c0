// libjpeg-turbo as the peer of the decoder tests (tests only, never the library).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vcdalbum::codec::testing {

struct PeerPicture {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes per pixel, grey expanded
};

// Integer IDCT, replication upsampling (do_fancy_upsampling = FALSE).
PeerPicture PeerDecode(const std::vector<uint8_t>& jpeg);

// Encodes RGB pixels (or grey with `components` 1) at `quality`, luma
// sampling h x v, with an optional restart interval in MCUs.
std::vector<uint8_t> PeerEncode(const std::vector<uint8_t>& pixels, int width, int height, int components, int quality,
                                int h, int v, int restartInterval);

// Runs the jpegtran program with `args` on `input`; empty on failure.
std::vector<uint8_t> Jpegtran(const std::string& args, const std::vector<uint8_t>& input);
bool HaveJpegtran();

std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace vcdalbum::codec::testing
