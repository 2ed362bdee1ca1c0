#include "detail_limiter.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vcdalbum::components::stream {
namespace {

constexpr int kMaxSmoothingPasses = 16;

double PlaneActivity(const uint8_t* data, int linesize, int width, int height) {
    if (width < 2 || height < 2) return 0;
    uint64_t sum = 0;
    for (int y = 0; y + 1 < height; ++y) {
        const uint8_t* row = data + static_cast<size_t>(y) * linesize;
        const uint8_t* next = row + linesize;
        for (int x = 0; x + 1 < width; ++x) sum += std::abs(row[x + 1] - row[x]) + std::abs(next[x] - row[x]);
    }
    return static_cast<double>(sum) / (static_cast<double>(width - 1) * (height - 1));
}

void BlurPlane(uint8_t* data, int linesize, int width, int height, std::vector<uint8_t>& tmp) {
    tmp.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data + static_cast<size_t>(y) * linesize;
        uint8_t* out = tmp.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            int l = row[x > 0 ? x - 1 : x], r = row[x + 1 < width ? x + 1 : x];
            out[x] = static_cast<uint8_t>((l + 2 * row[x] + r + 2) >> 2);
        }
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* up = tmp.data() + static_cast<size_t>(y > 0 ? y - 1 : y) * width;
        const uint8_t* mid = tmp.data() + static_cast<size_t>(y) * width;
        const uint8_t* down = tmp.data() + static_cast<size_t>(y + 1 < height ? y + 1 : y) * width;
        uint8_t* out = data + static_cast<size_t>(y) * linesize;
        for (int x = 0; x < width; ++x) out[x] = static_cast<uint8_t>((up[x] + 2 * mid[x] + down[x] + 2) >> 2);
    }
}

}  // namespace

double FrameActivity(const AVFrame& frame) {
    const int cw = (frame.width + 1) / 2, ch = (frame.height + 1) / 2;
    return PlaneActivity(frame.data[0], frame.linesize[0], frame.width, frame.height) +
           0.5 * (PlaneActivity(frame.data[1], frame.linesize[1], cw, ch) +
                  PlaneActivity(frame.data[2], frame.linesize[2], cw, ch));
}

int LimitDetail(AVFrame& frame, double maxActivity) {
    std::vector<uint8_t> tmp;
    const int cw = (frame.width + 1) / 2, ch = (frame.height + 1) / 2;
    int passes = 0;
    while (passes < kMaxSmoothingPasses && FrameActivity(frame) > maxActivity) {
        BlurPlane(frame.data[0], frame.linesize[0], frame.width, frame.height, tmp);
        BlurPlane(frame.data[1], frame.linesize[1], cw, ch, tmp);
        BlurPlane(frame.data[2], frame.linesize[2], cw, ch, tmp);
        ++passes;
    }
    return passes;
}

}  // namespace vcdalbum::components::stream
