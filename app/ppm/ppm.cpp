#include "ppm/ppm.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include <vcdalbum/codec.h>

#include "platform/atomic_file.h"

namespace vcdalbum::cli {
namespace {

// Reads one header number, skipping white space and # comments.
bool ReadHeaderNumber(std::istream& in, long& value) {
    int c = in.get();
    while (c != EOF) {
        if (c == '#') {
            while (c != EOF && c != '\n') c = in.get();
        } else if (std::isspace(c)) {
            c = in.get();
        } else {
            break;
        }
    }
    if (c == EOF || !std::isdigit(c)) return false;
    value = 0;
    while (c != EOF && std::isdigit(c)) {
        value = value * 10 + (c - '0');
        if (value > 1000000) return false;
        c = in.get();
    }
    // The single white-space byte after maxval is consumed here too.
    return c != EOF && std::isspace(c);
}

}  // namespace

bool ReadPpm(const std::string& path, Image& image, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open for reading";
        return false;
    }
    char magic[2] = {};
    in.read(magic, 2);
    if (in.gcount() != 2 || magic[0] != 'P' || magic[1] != '6') {
        error = path + ": not a binary PPM (P6) file";
        return false;
    }
    long width = 0, height = 0, maxval = 0;
    if (!ReadHeaderNumber(in, width) || !ReadHeaderNumber(in, height) || !ReadHeaderNumber(in, maxval)) {
        error = path + ": malformed PPM header";
        return false;
    }
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        error = path + ": unsupported PPM size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    if (maxval != 255) {
        error = path + ": PPM maxval " + std::to_string(maxval) + " is not supported (only 255)";
        return false;
    }
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    Image picture{};
    if (!AllocateImage(picture, static_cast<uint32_t>(width), static_cast<uint32_t>(height))) {
        error = path + ": picture too large";
        return false;
    }
    const uint32_t stride = ImageStride(picture.width);
    for (long y = 0; y < height; ++y) {
        in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
        if (in.gcount() != static_cast<std::streamsize>(row.size())) {
            ReleaseImage(picture);
            error = path + ": PPM pixel data ends early (row " + std::to_string(y) + " of " + std::to_string(height) + ")";
            return false;
        }
        unsigned char* out = picture.data + static_cast<size_t>(y) * stride;
        for (long x = 0; x < width; ++x) {
            out[3 * x + 0] = row[3 * x + 2];  // blue
            out[3 * x + 1] = row[3 * x + 1];  // green
            out[3 * x + 2] = row[3 * x + 0];  // red
        }
    }
    image = picture;
    return true;
}

bool WritePpm(const std::string& path, const Image& image, std::string& error) {
    if (!image.data || image.width == 0 || image.height == 0) {
        error = path + ": no picture to write";
        return false;
    }
    std::string bytes = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    const size_t header = bytes.size();
    bytes.resize(header + static_cast<size_t>(image.width) * image.height * 3);
    const uint32_t stride = ImageStride(image.width);
    char* out = bytes.data() + header;
    for (uint32_t y = 0; y < image.height; ++y) {
        const unsigned char* in = image.data + static_cast<size_t>(y) * stride;
        for (uint32_t x = 0; x < image.width; ++x) {
            *out++ = static_cast<char>(in[3 * x + 2]);
            *out++ = static_cast<char>(in[3 * x + 1]);
            *out++ = static_cast<char>(in[3 * x + 0]);
        }
    }
    return platform::WriteFileAtomically(path, bytes.data(), bytes.size(), &error);
}

}  // namespace vcdalbum::cli
