#include "jpeg_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vcdalbum::components::picture_input {
namespace {

// Bytes of a file in order, with the count read so far; -1 at the end.
class ByteSource {
public:
    explicit ByteSource(std::FILE* file) : file_(file) {}
    int Next() {
        if (pos_ == end_ && !Fill()) return -1;
        ++offset_;
        return buffer_[pos_++];
    }
    bool Skip(uint64_t count) {
        while (count > 0) {
            if (pos_ == end_ && !Fill()) return false;
            const size_t step = static_cast<size_t>(std::min<uint64_t>(count, end_ - pos_));
            pos_ += step;
            offset_ += step;
            count -= step;
        }
        return true;
    }
    // Moves on to the next 0xFF byte and takes it; false at the end.
    bool ToNextFF() {
        for (;;) {
            if (pos_ == end_ && !Fill()) return false;
            const void* hit = std::memchr(buffer_ + pos_, 0xFF, end_ - pos_);
            if (hit) {
                const size_t at = static_cast<size_t>(static_cast<const unsigned char*>(hit) - buffer_);
                offset_ += at + 1 - pos_;
                pos_ = at + 1;
                return true;
            }
            offset_ += end_ - pos_;
            pos_ = end_;
        }
    }
    uint64_t offset() const { return offset_; }

private:
    bool Fill() {
        pos_ = 0;
        end_ = std::fread(buffer_, 1, sizeof buffer_, file_);
        return end_ > 0;
    }
    std::FILE* file_;
    unsigned char buffer_[1 << 16];
    size_t pos_ = 0, end_ = 0;
    uint64_t offset_ = 0;
};

JpegCheck Unsupported(const std::string& what) { return {JpegCheck::Verdict::kUnsupported, what + ", not supported"}; }

}  // namespace

JpegCheck CheckJpegFile(const std::string& path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return {JpegCheck::Verdict::kNotJpeg, {}};
    auto source = std::make_unique<ByteSource>(file.get());
    ByteSource& in = *source;
    if (in.Next() != 0xFF || in.Next() != 0xD8) return {JpegCheck::Verdict::kNotJpeg, {}};

    const auto cutShort = [&] {
        return JpegCheck{JpegCheck::Verdict::kCutShort, "cut short at byte " + std::to_string(in.offset())};
    };
    for (;;) {
        // The next marker: 0xFF, any fill bytes, then a code. After a
        // start-of-scan the coded bytes run on to the next marker; in them
        // 0xFF 0x00 is a coded 0xFF, and restart markers belong to the scan.
        if (!in.ToNextFF()) return cutShort();
        int code = in.Next();
        while (code == 0xFF) code = in.Next();
        if (code < 0) return cutShort();
        if (code == 0x00 || (code >= 0xD0 && code <= 0xD7) || code == 0x01) continue;
        if (code == 0xD9) return {};
        const int hi = in.Next(), lo = in.Next();
        if (lo < 0) return cutShort();
        const int length = hi << 8 | lo;
        if (length < 2) continue;  // garbled; the decoder judges
        if (IsFrameMarker(code)) {
            // Arithmetic coding: SOF9..SOF11 and SOF13..SOF15; hierarchical: SOF5..SOF7.
            if (code >= 0xC9) return Unsupported("arithmetic-coded JPEG");
            if (code >= 0xC5) return Unsupported("hierarchical JPEG");
            // Precision, height, width, then the number of components.
            int components = -1;
            for (int i = 0; i < 6 && i < length - 2; ++i) components = in.Next();
            if (components < 0) return cutShort();
            if (components == 4) return Unsupported("CMYK JPEG");
            if (!in.Skip(static_cast<uint64_t>(length - 2 - std::min(6, length - 2)))) return cutShort();
            continue;
        }
        if (!in.Skip(static_cast<uint64_t>(length - 2))) return cutShort();
    }
}

}  // namespace vcdalbum::components::picture_input
