#include "picture/picture_shrink.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "console/errors.h"

namespace vcdalbum::host {
namespace {

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

Taps MakeTaps(uint32_t sourceSize, uint32_t outSize) {
    Taps t;
    t.first.resize(outSize);
    t.count.resize(outSize);
    t.offset.resize(outSize);
    const double ratio = static_cast<double>(sourceSize) / outSize;
    // Shrinking stretches the kernel over the output pixel's footprint;
    // growing keeps it at the source's own spacing.
    const double stretch = std::max(1.0, ratio);
    const double support = kLobes * stretch;
    const int last = static_cast<int>(sourceSize) - 1;
    std::vector<double> w;
    for (uint32_t i = 0; i < outSize; ++i) {
        const double centre = (i + 0.5) * ratio - 0.5;
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

}  // namespace

OwnedImage ShrinkPicture(const Image& source, uint32_t width, uint32_t height) {
    OwnedImage out = OwnedImage::Black(width, height);
    if (!out) throw RunError("out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
    const Taps across = MakeTaps(source.width, width), down = MakeTaps(source.height, height);
    const size_t sourceStride = ImageStride(source.width);

    // Rows first, into floats, so that the second pass rounds only once.
    std::vector<float> rows;
    try {
        rows.resize(static_cast<size_t>(source.height) * width * 3);
    } catch (const std::bad_alloc&) {
        throw RunError("out of memory for shrinking a " + std::to_string(source.width) + "x" +
                       std::to_string(source.height) + " picture");
    }
    for (uint32_t y = 0; y < source.height; ++y) {
        const uint8_t* in = source.data + y * sourceStride;
        float* o = rows.data() + static_cast<size_t>(y) * width * 3;
        for (uint32_t x = 0; x < width; ++x) {
            const float* w = across.weights.data() + across.offset[x];
            const uint8_t* p = in + 3 * static_cast<size_t>(across.first[x]);
            float b = 0, g = 0, r = 0;
            for (int k = 0; k < across.count[x]; ++k, p += 3) {
                b += w[k] * p[0];
                g += w[k] * p[1];
                r += w[k] * p[2];
            }
            o[3 * x] = b;
            o[3 * x + 1] = g;
            o[3 * x + 2] = r;
        }
    }
    std::vector<float> sum(static_cast<size_t>(width) * 3);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        const float* w = down.weights.data() + down.offset[y];
        for (int k = 0; k < down.count[y]; ++k) {
            const float* row = rows.data() + static_cast<size_t>(down.first[y] + k) * width * 3;
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += w[k] * row[i];
        }
        uint8_t* o = out.row(y);
        for (size_t i = 0; i < sum.size(); ++i) o[i] = ToByte(sum[i]);
    }
    return out;
}

}  // namespace vcdalbum::host
