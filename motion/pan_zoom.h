// Pan-and-zoom: a held picture moving slowly across its frame.
//
// One home for the motion, shared by the library (which draws a transition
// from the first and last moving frames of its two pictures) and the stream
// encoder component (which samples every frame in between): both compute the
// same crop windows from the same seed, so the picture does not jump where a
// transition starts or ends.
//
// Everything is expressed for a frame size and pixel aspect passed in, never
// for one video standard. Pictures are upright, in square pixels, three
// bytes per pixel in any channel order (the sampler treats the three alike).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vcdalbum::motion {

// The frame the pictures move in: its size in pixels and the width of one
// pixel over its height (10/11 for 352x240 at 29.97 Hz, 12/11 for 352x288).
struct FrameShape {
    int width = 0;
    int height = 0;
    double pixelAspect = 1.0;
};

// The pixel aspect a frame of this size has on a Video CD: 12:11 for the
// 288-line frame, else 10:11.
FrameShape VideoCdFrame(int width, int height);

// Part of the picture shown in the frame, in picture pixels (x to the right,
// y down, from the picture's top-left corner). It may reach beyond the
// picture where the frame shows black borders.
struct Window {
    double x = 0, y = 0, width = 0, height = 0;
};

// How far the picture zooms at most, as the factor between the whole
// picture fitted into the frame and the closest view.
inline constexpr double kMinZoom = 1.10;
inline constexpr double kMaxZoom = 1.18;

// One picture's path: from the seed it picks whether it zooms in or out, by
// how much and towards which part of the picture. The seed alone decides,
// so the same seed and picture size always give the same windows.
class PanZoomPath {
public:
    PanZoomPath(uint32_t seed, int pictureWidth, int pictureHeight, FrameShape frame);

    // The window at `t`, 0 (first frame) to 1 (last frame); clamped.
    Window At(double t) const;

    // Zoom factors at the start and the end (one of them is 1).
    double startZoom() const { return zoom0_; }
    double endZoom() const { return zoom1_; }

private:
    double pictureW_, pictureH_;
    double baseW_, baseH_;  // the whole picture fitted, borders included
    double zoom0_ = 1, zoom1_ = 1;
    double fx_ = 0, fy_ = 0;  // where the close view lies: -1..1 across the room to pan
};

// Where frame `frame` of a picture held for `frames` frames lies on its
// path: the first frame at 0, the last at 1, evenly between.
double PathPosition(int64_t frame, int64_t frames);

// The seed of picture `index` of an album whose motion has seed `seed`.
uint32_t PictureSeed(uint32_t seed, uint32_t index);

// A picture in memory: `height` rows of `width` three-byte pixels, `stride`
// bytes apart.
struct PixelView {
    const uint8_t* data = nullptr;
    size_t stride = 0;
    int width = 0;
    int height = 0;
};

// The picture and its halvings (each pixel the mean of a 2x2 block of the
// level above), for sampling it at any scale without shimmer: a window much
// larger than the frame reads the levels whose pixels are about as large as
// the frame's, blended between the two nearest (trilinear filtering), so
// fine detail never aliases and the sharpness changes smoothly as the zoom
// runs. The full-size level is the caller's, which must outlive this object.
class MipChain {
public:
    explicit MipChain(PixelView picture);

    bool ok() const { return levels_.front().data != nullptr; }
    int levels() const { return static_cast<int>(levels_.size()); }
    const PixelView& level(int i) const { return levels_[static_cast<size_t>(i)]; }

    // Draws `window` into a frame of `frame`'s size at `out` (rows `outStride`
    // bytes apart, three bytes per pixel, the picture's channel order).
    // Outside the picture the frame is black.
    void Sample(const Window& window, const FrameShape& frame, uint8_t* out, size_t outStride) const;

private:
    std::vector<PixelView> levels_;
    std::vector<std::vector<uint8_t>> storage_;  // levels 1..n
};

}  // namespace vcdalbum::motion
