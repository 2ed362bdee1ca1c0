// An Image record that owns its pixels: they are freed with the record. The
// one owner type for the library's own code, its tests and host programs
// built beside it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vcdalbum/Image.h"
#include "vcdalbum/codec.h"

namespace vcdalbum {

class OwnedImage {
public:
    OwnedImage() = default;
    // Takes over `record` and its pixels.
    explicit OwnedImage(const Image& record) : image_(record) {}
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;
    OwnedImage(OwnedImage&& other) noexcept : image_(other.image_) { other.image_.data = nullptr; }
    OwnedImage& operator=(OwnedImage&& other) noexcept {
        if (this != &other) {
            ReleaseImage(image_);
            image_ = other.image_;
            other.image_.data = nullptr;
        }
        return *this;
    }
    ~OwnedImage() { ReleaseImage(image_); }

    // A black width x height picture; one without pixels (false) when a side
    // is 0 or memory is short.
    static OwnedImage Black(uint32_t width, uint32_t height) {
        OwnedImage out;
        AllocateImage(out.image_, width, height);
        return out;
    }

    explicit operator bool() const { return image_.data != nullptr; }

    // The record, for calls that read it or fill it in. A call that fills it
    // must find it without pixels (a fresh or released owner).
    Image& get() { return image_; }
    const Image& get() const { return image_; }
    uint32_t width() const { return image_.width; }
    uint32_t height() const { return image_.height; }
    unsigned char* row(uint32_t y) { return image_.data + static_cast<size_t>(y) * ImageStride(image_.width); }
    const unsigned char* row(uint32_t y) const {
        return image_.data + static_cast<size_t>(y) * ImageStride(image_.width);
    }

    // Hands the record, pixels included, to the caller; this owner is left empty.
    Image release() {
        const Image out = image_;
        image_.data = nullptr;
        return out;
    }

private:
    Image image_{};
};

}  // namespace vcdalbum
