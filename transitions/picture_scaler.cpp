#include "transitions/picture_scaler.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "vcdalbum/transitions.h"

namespace vcdalbum::transitions {
namespace {

// Cubic convolution weights with a = -1 for the neighbours at -1, 0, +1, +2.
struct Weights {
    double w[4];
};

Weights CubicWeights(double t) {
    const double t2 = t * t;
    const double t3 = t2 * t;
    return {{-t3 + 2 * t2 - t, t3 - 2 * t2 + 1, -t3 + t2 + t, t3 - t2}};
}

// Where one target column samples the source: byte offsets of the four
// clamped neighbour pixels and their weights.
struct Column {
    size_t offset[4];
    Weights weights;
};

// The four clamped neighbour indices around `origin` in 0..size-1.
void Neighbours(int64_t origin, uint32_t size, int64_t out[4]) {
    const int64_t last = static_cast<int64_t>(size) - 1;
    const int64_t centre = std::clamp<int64_t>(origin, 0, last);
    out[0] = std::max<int64_t>(centre - 1, 0);
    out[1] = centre;
    out[2] = std::min<int64_t>(centre + 1, last);
    out[3] = std::min<int64_t>(centre + 2, last);
}

// The kernel's negative lobes overshoot near sharp edges: cut to 0..255,
// then truncate.
unsigned char Clamped(double v) {
    return static_cast<unsigned char>(static_cast<int>(std::min(std::max(v, 0.0), 255.0)));
}

}  // namespace

bool ResampleBicubic(const unsigned char* source, size_t sourceStride, unsigned char* target, size_t targetStride,
                     uint32_t sw, uint32_t sh, double xPercent, double yPercent, uint32_t maxWidth,
                     uint32_t maxHeight) {
    const double fx = xPercent / 100;
    const double fy = yPercent / 100;
    // Adding 0.5 absorbs the error of dividing and multiplying by the same size.
    const uint32_t outW = std::min(static_cast<uint32_t>(sw * fx + 0.5), maxWidth);
    const uint32_t outH = std::min(static_cast<uint32_t>(sh * fy + 0.5), maxHeight);
    if (outW == 0 || outH == 0 || sw == 0 || sh == 0) return true;
    const double ix = 1 / fx;
    const double iy = 1 / fy;

    std::unique_ptr<Column[]> columns(new (std::nothrow) Column[outW]);
    // Horizontal sums of the last four source rows used, slot = row mod 4:
    // four consecutive rows never share a slot, and a clamped duplicate is the
    // same row. The sums are exactly those of a direct 4 x 4 evaluation.
    const size_t rowValues = static_cast<size_t>(outW) * 3;
    std::unique_ptr<double[]> rows(new (std::nothrow) double[4 * rowValues]);
    // One source row as doubles, so that each byte is converted once, not
    // once per neighbour that reads it.
    std::unique_ptr<double[]> line(new (std::nothrow) double[3 * static_cast<size_t>(sw)]);
    if (!columns || !rows || !line) return false;
    int64_t rowInSlot[4] = {-1, -1, -1, -1};
    const bool sameWidth = fx == 1.0;
    const bool sameHeight = fy == 1.0;

    for (uint32_t x = 0; x < outW; ++x) {
        const double sx = x * ix;
        const double x0 = std::floor(sx);
        int64_t at[4];
        Neighbours(static_cast<int64_t>(x0), sw, at);
        for (int i = 0; i < 4; ++i) columns[x].offset[i] = 3 * static_cast<size_t>(at[i]);
        columns[x].weights = CubicWeights(sx - x0);
    }

    for (uint32_t y = 0; y < outH; ++y) {
        const double sy = y * iy;
        const double y0 = std::floor(sy);
        const Weights wy = CubicWeights(sy - y0);
        int64_t at[4];
        Neighbours(static_cast<int64_t>(y0), sh, at);

        const double* sums[4];
        for (int i = 0; i < 4; ++i) {
            const int slot = static_cast<int>(at[i] & 3);
            double* slotRow = rows.get() + slot * rowValues;
            sums[i] = slotRow;
            if (rowInSlot[slot] == at[i]) continue;
            rowInSlot[slot] = at[i];
            const unsigned char* bytes = source + static_cast<size_t>(at[i]) * sourceStride;
            if (sameWidth) {
                // Every fraction is 0: the weights are 0, 1, 0, 0 and the sum is the byte.
                for (size_t v = 0; v < rowValues; ++v) slotRow[v] = bytes[v];
                continue;
            }
            for (size_t v = 0; v < 3 * static_cast<size_t>(sw); ++v) line[v] = bytes[v];
            const double* p = line.get();
            for (uint32_t x = 0; x < outW; ++x) {
                const Column& c = columns[x];
                for (int b = 0; b < 3; ++b) {
                    slotRow[3 * x + b] = c.weights.w[0] * p[c.offset[0] + b] + c.weights.w[1] * p[c.offset[1] + b] +
                                         c.weights.w[2] * p[c.offset[2] + b] + c.weights.w[3] * p[c.offset[3] + b];
                }
            }
        }

        unsigned char* out = target + static_cast<size_t>(y) * targetStride;
        if (sameHeight) {
            for (size_t i = 0; i < rowValues; ++i) out[i] = Clamped(sums[1][i]);
            continue;
        }
        for (size_t i = 0; i < rowValues; ++i) {
            out[i] = Clamped(wy.w[0] * sums[0][i] + wy.w[1] * sums[1][i] + wy.w[2] * sums[2][i] + wy.w[3] * sums[3][i]);
        }
    }
    return true;
}

bool ScalePicture(const Image* source, Image* target) {
    if (!source || !target || !source->data || !target->data) return false;
    const uint32_t sw = source->width, sh = source->height;
    const uint32_t dw = target->width, dh = target->height;
    // A side of 0 or above the limit would make the scaler keep the source's
    // size, which the target's buffer need not hold: refuse instead.
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0 || dw > kMaxScaledSide || dh > kMaxScaledSide) return false;
    const double xPercent = static_cast<double>(dw) * 100 / sw;
    const double yPercent = static_cast<double>(dh) * 100 / sh;
    return ResampleBicubic(source->data, ImageStride(sw), target->data, ImageStride(dw), sw, sh, xPercent, yPercent,
                           dw, dh);
}

bool MakeScaledCopy(const unsigned char* source, size_t sourceStride, uint32_t sw, uint32_t sh, uint32_t width,
                    uint32_t height, OwnedImage& copy) {
    if (!source || sw == 0 || sh == 0 || width == 0 || height == 0 || width > kMaxScaledSide ||
        height > kMaxScaledSide)
        return false;
    if (!AllocateImage(copy.get(), width, height)) return false;
    const double xPercent = static_cast<double>(width) * 100 / sw;
    const double yPercent = static_cast<double>(height) * 100 / sh;
    return ResampleBicubic(source, sourceStride, copy.get().data, ImageStride(width), sw, sh, xPercent, yPercent,
                           width, height);
}

}  // namespace vcdalbum::transitions

namespace vcdalbum {

bool ScaleImage(const Image& source, uint32_t width, uint32_t height, Image& target) {
    if (!source.data || source.width == 0 || source.height == 0) return false;
    OwnedImage copy;
    if (!transitions::MakeScaledCopy(source.data, ImageStride(source.width), source.width, source.height, width,
                                     height, copy))
        return false;
    target = copy.release();
    return true;
}

}  // namespace vcdalbum
