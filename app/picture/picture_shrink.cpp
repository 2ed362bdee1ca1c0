#include "picture/picture_shrink.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include "console/errors.h"
#include "picture_input.h"

namespace vcdalbum::host {
namespace {

namespace input = components::picture_input;

constexpr double kLobes = 3;

double Lanczos(double x) {
    x = std::abs(x);
    if (x < 1e-9) return 1;
    if (x >= kLobes) return 0;
    const double px = std::numbers::pi * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// The source samples and weights of each output sample along one axis.
struct Taps {
    std::vector<int> first;      // first source index of output i
    std::vector<int> count;      // taps of output i
    std::vector<float> weights;  // count[i] weights from offset[i]
    std::vector<size_t> offset;
};

// Where the samples of a plane sit, along one axis, on the grid of the
// picture's pixels: one sample every `step` pixels, the first at `site`
// (a chroma plane of half the width has step 2 and site 0.5 when its samples
// sit between two pixels, as in JPEG, or 0 when they sit on the first).
struct SampleGrid {
    int step = 1;
    double site = 0;
};

// `pictureSize` pixels brought to `outSize` output samples, from a plane of
// `planeSize` samples on `grid`.
Taps MakeTaps(uint32_t pictureSize, uint32_t outSize, uint32_t planeSize, SampleGrid grid) {
    Taps t;
    t.first.resize(outSize);
    t.count.resize(outSize);
    t.offset.resize(outSize);
    const double ratio = static_cast<double>(pictureSize) / outSize;
    // Shrinking stretches the kernel over the output pixel's footprint;
    // growing keeps it at the plane's own spacing.
    const double stretch = std::max(1.0, ratio / grid.step);
    const double support = kLobes * stretch;
    const int last = static_cast<int>(planeSize) - 1;
    std::vector<double> w;
    for (uint32_t i = 0; i < outSize; ++i) {
        const double centre = ((i + 0.5) * ratio - 0.5 - grid.site) / grid.step;
        const int lo = static_cast<int>(std::ceil(centre - support)), hi = static_cast<int>(std::floor(centre + support));
        // Taps beyond an edge repeat the edge sample, so they are merged
        // into it: the picture's border is not darkened by missing samples.
        const int from = std::clamp(lo, 0, last), to = std::clamp(hi, 0, last);
        w.assign(static_cast<size_t>(to - from + 1), 0.0);
        double sum = 0;
        for (int s = lo; s <= hi; ++s) {
            const double k = Lanczos((s - centre) / stretch);
            w[static_cast<size_t>(std::clamp(s, 0, last) - from)] += k;
            sum += k;
        }
        t.first[i] = from;
        t.count[i] = to - from + 1;
        t.offset[i] = t.weights.size();
        for (double k : w) t.weights.push_back(static_cast<float>(k / sum));
    }
    return t;
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// A plane of 8-bit samples, `channels` of them interleaved per position.
struct Plane {
    const uint8_t* data;
    size_t stride;
    uint32_t width, height;  // in positions
    int channels;
};

// sums[i] += weight * row[i] for n samples: the inner loop of the pass down
// a camera-sized picture, where most of the shrinking's time goes.
void Accumulate(float* sums, const uint8_t* row, float weight, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128 w = _mm_set1_ps(weight);
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + i));
        const __m128i words = _mm_unpacklo_epi8(bytes, zero);
        const __m128 lo = _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));
        const __m128 hi = _mm_cvtepi32_ps(_mm_unpackhi_epi16(words, zero));
        _mm_storeu_ps(sums + i, _mm_add_ps(_mm_loadu_ps(sums + i), _mm_mul_ps(w, lo)));
        _mm_storeu_ps(sums + i + 4, _mm_add_ps(_mm_loadu_ps(sums + i + 4), _mm_mul_ps(w, hi)));
    }
#endif
    for (; i < n; ++i) sums[i] += weight * static_cast<float>(row[i]);
}

// Resamples `in` through the taps into `out` (outW x outH positions, the
// same channels). Down first, one output row at a time: that pass runs
// along contiguous samples, eight at a time, and only one row of sums is
// held.
void Resample(const Plane& in, const Taps& across, const Taps& down, uint8_t* out, size_t outStride, uint32_t outW,
              uint32_t outH) {
    const size_t samples = static_cast<size_t>(in.width) * static_cast<size_t>(in.channels);
    std::vector<float> column(samples);
    const int channels = in.channels;
    for (uint32_t y = 0; y < outH; ++y) {
        std::fill(column.begin(), column.end(), 0.0f);
        const float* wy = down.weights.data() + down.offset[y];
        for (int k = 0; k < down.count[y]; ++k)
            Accumulate(column.data(), in.data + static_cast<size_t>(down.first[y] + k) * in.stride, wy[k], samples);
        uint8_t* o = out + y * outStride;
        for (uint32_t x = 0; x < outW; ++x) {
            const float* wx = across.weights.data() + across.offset[x];
            const float* p = column.data() + static_cast<size_t>(across.first[x]) * static_cast<size_t>(channels);
            for (int ch = 0; ch < channels; ++ch) {
                float sum = 0;
                for (int k = 0; k < across.count[x]; ++k) sum += wx[k] * p[static_cast<size_t>(k * channels + ch)];
                o[static_cast<size_t>(x) * static_cast<size_t>(channels) + static_cast<size_t>(ch)] = ToByte(sum);
            }
        }
    }
}

[[noreturn]] void OutOfMemory(uint32_t width, uint32_t height) {
    throw RunError("out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
}

// Where a chroma plane subsampled by `step` sits: JPEG and most stills put
// its samples between the pixels they cover; video formats, and pictures
// that say so, on the first of them.
SampleGrid ChromaGrid(int step, bool cosited) { return {step, cosited ? 0.0 : (step - 1) / 2.0}; }

}  // namespace

OwnedImage ShrinkPicture(const Image& source, uint32_t width, uint32_t height) {
    OwnedImage out = OwnedImage::Black(width, height);
    if (!out) OutOfMemory(width, height);
    try {
        Resample(Plane{source.data, ImageStride(source.width), source.width, source.height, 3},
                 MakeTaps(source.width, width, source.width, {}), MakeTaps(source.height, height, source.height, {}),
                 out.row(0), ImageStride(width), width, height);
    } catch (const std::bad_alloc&) {
        OutOfMemory(width, height);
    }
    return out;
}

OwnedImage ShrinkDecodedPicture(const AVFrame& frame, uint32_t width, uint32_t height) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(input::PlainFormat(frame.format));
    if (desc == nullptr || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                           AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_ALPHA)))
        return {};
    const int components = desc->nb_components;
    if (components != 1 && components != 3) return {};
    if (components == 3 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return {};
    for (int c = 0; c < components; ++c)
        if (desc->comp[c].depth != 8 || desc->comp[c].step != 1 || desc->comp[c].shift != 0 ||
            desc->comp[c].plane != c || frame.linesize[c] <= 0)
            return {};
    const auto pictureW = static_cast<uint32_t>(frame.width), pictureH = static_cast<uint32_t>(frame.height);
    const bool cositedAcross = frame.chroma_location == AVCHROMA_LOC_LEFT ||
                               frame.chroma_location == AVCHROMA_LOC_TOPLEFT ||
                               frame.chroma_location == AVCHROMA_LOC_BOTTOMLEFT;
    const bool cositedDown = frame.chroma_location == AVCHROMA_LOC_TOPLEFT || frame.chroma_location == AVCHROMA_LOC_TOP;

    // Each plane is brought to the output size on its own, so that the
    // colour conversion runs on the small picture only.
    const size_t planeSize = static_cast<size_t>(width) * height;
    std::vector<uint8_t> planes;
    try {
        planes.resize(planeSize * static_cast<size_t>(components));
        for (int c = 0; c < components; ++c) {
            const int shiftX = c == 0 ? 0 : desc->log2_chroma_w, shiftY = c == 0 ? 0 : desc->log2_chroma_h;
            const auto planeW = static_cast<uint32_t>(AV_CEIL_RSHIFT(frame.width, shiftX));
            const auto planeH = static_cast<uint32_t>(AV_CEIL_RSHIFT(frame.height, shiftY));
            Resample(Plane{frame.data[c], static_cast<size_t>(frame.linesize[c]), planeW, planeH, 1},
                     MakeTaps(pictureW, width, planeW, ChromaGrid(1 << shiftX, cositedAcross)),
                     MakeTaps(pictureH, height, planeH, ChromaGrid(1 << shiftY, cositedDown)),
                     planes.data() + planeSize * static_cast<size_t>(c), width, width, height);
        }
    } catch (const std::bad_alloc&) {
        OutOfMemory(width, height);
    }

    OwnedImage out = OwnedImage::Black(width, height);
    if (!out) OutOfMemory(width, height);
    const uint8_t* src[4] = {planes.data(), nullptr, nullptr, nullptr};
    int srcStride[4] = {static_cast<int>(width), 0, 0, 0};
    for (int c = 1; c < components; ++c) {
        src[c] = planes.data() + planeSize * static_cast<size_t>(c);
        srcStride[c] = static_cast<int>(width);
    }
    uint8_t* dst[4] = {out.row(0), nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(ImageStride(width)), 0, 0, 0};
    const AVPixelFormat format = components == 1 ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_YUV444P;
    if (!input::Convert(src, srcStride, format, input::IsFullRange(frame), static_cast<int>(width),
                        static_cast<int>(height), dst, dstStride, AV_PIX_FMT_BGR24, true, static_cast<int>(width),
                        static_cast<int>(height)))
        return {};
    return out;
}

}  // namespace vcdalbum::host
