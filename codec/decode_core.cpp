#include "codec/decode_core.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "codec/colour_convert.h"
#include "codec/huffman_decoder.h"
#include "codec/idct.h"
#include "codec/jpeg_tables.h"
#include "codec/simd_kernels.h"

namespace vcdalbum::codec {
namespace {

// For zigzag position k: the index in the inverse DCT's column-major block,
// and the bits of its row and column.
struct ZigzagTables {
    uint8_t index[64];
    uint16_t bits[64];  // row bit | column bit << 8
    constexpr ZigzagTables() : index(), bits() {
        for (int k = 0; k < 64; ++k) {
            const int row = kZigzag[k] >> 3, column = kZigzag[k] & 7;
            index[k] = static_cast<uint8_t>(column * 8 + row);
            bits[k] = static_cast<uint16_t>((1u << row) | (1u << (column + 8)));
        }
    }
};
constexpr ZigzagTables kZz;

struct Plane {
    std::vector<uint8_t> samples;
    size_t stride = 0;
    uint32_t rows = 0;  // rows held; in streaming mode one MCU row's worth, reused
};

class FrameDecoder {
public:
    FrameDecoder(std::span<const uint8_t> data, JpegInfo& info, uint8_t* out, size_t stride)
        : data_(data), info_(info), out_(out), outStride_(stride) {}

    DecodeStatus Run(size_t pos);

private:
    void SetUpPlanes();
    void DecodeScan(size_t pos);
    void DecodeInterleaved();
    void DecodeOneComponent(int c);
    void DecodeBlock(int c, uint8_t* dst, size_t stride);
    void RestartIfDue();
    void ConvertRows(uint32_t first, uint32_t last);
    uint8_t* PlaneRow(int c, uint32_t row) {
        Plane& p = planes_[c];
        return p.samples.data() + (row % p.rows) * p.stride;
    }

    std::span<const uint8_t> data_;
    const CodecKernels& kernels_ = ActiveKernels();
    JpegInfo& info_;
    uint8_t* out_;
    size_t outStride_;

    bool streaming_ = true;
    uint32_t mcusPerRow_ = 0, mcuRows_ = 0;
    Plane planes_[4];
    bool coded_[4] = {};
    HuffmanLookup dc_[kTableSlots];
    HuffmanLookup ac_[kTableSlots];
    int32_t pred_[4] = {};
    uint32_t restartsToGo_ = 0;
    BitReader reader_;
    alignas(32) int32_t block_[64] = {};
};

void FrameDecoder::SetUpPlanes() {
    const uint32_t hmax = info_.hmax, vmax = info_.vmax;
    mcusPerRow_ = (info_.width + 8 * hmax - 1) / (8 * hmax);
    mcuRows_ = (info_.height + 8 * vmax - 1) / (8 * vmax);
    for (int c = 0; c < info_.componentCount; ++c) {
        const ComponentInfo& comp = info_.components[c];
        Plane& p = planes_[c];
        p.stride = size_t{mcusPerRow_} * comp.h * 8;
        p.rows = streaming_ ? 8u * comp.v : mcuRows_ * comp.v * 8u;
        p.samples.assign(p.stride * p.rows, 0);
    }
}

void FrameDecoder::RestartIfDue() {
    if (info_.restartInterval == 0) return;
    if (restartsToGo_ == 0) {
        reader_.Restart();
        for (int32_t& p : pred_) p = 0;
        restartsToGo_ = info_.restartInterval;
    }
    --restartsToGo_;
}

void FrameDecoder::DecodeBlock(int c, uint8_t* dst, size_t stride) {
    const ComponentInfo& comp = info_.components[c];
    const HuffmanLookup& dc = dc_[comp.dcTable];
    const HuffmanLookup& ac = ac_[comp.acTable];
    const int32_t* q = info_.quant[comp.quantTable];
    int32_t* block = block_;
    // A local copy stays in registers; the block stores cannot alias it.
    BitReader in = reader_;

    in.Refill();
    int t = DecodeSymbol(in, dc);
    if (t) {
        if (t > 16) t = 16;  // corrupt: no baseline DC difference is that long
        pred_[c] = static_cast<int32_t>(static_cast<uint32_t>(pred_[c]) +
                                        static_cast<uint32_t>(Extend(in.Receive(t), t)));
    }
    block[0] = static_cast<int32_t>(static_cast<uint32_t>(pred_[c]) * static_cast<uint32_t>(q[0]));

    uint32_t masks = 0x101;  // rows | columns << 8
    bool anyAc = false;
    for (int k = 1; k < 64;) {
        if (in.available() < 32) in.Refill();
        const int32_t fast = ac.fastAc[in.Peek(kLookaheadBits)];
        int32_t value;
        if (fast) {
            k += (fast >> 8) & 15;
            if (k > 63) break;  // corrupt run past the block's end
            in.Skip(fast & 0xFF);
            value = fast >> 16;
        } else {
            const int rs = DecodeSymbol(in, ac);
            const int run = rs >> 4, size = rs & 15;
            if (size == 0) {
                if (run != 15) break;  // end of block
                k += 16;
                continue;
            }
            k += run;
            if (k > 63) break;
            value = Extend(in.Receive(size), size);
        }
        block[kZz.index[k]] = static_cast<int32_t>(static_cast<uint32_t>(value) * static_cast<uint32_t>(q[k]));
        masks |= kZz.bits[k];
        anyAc = true;
        ++k;
    }

    reader_ = in;
    if (!anyAc) {
        const uint8_t s = DcOnlySample(block[0]);
        block[0] = 0;
        for (int r = 0; r < 8; ++r) std::memset(dst + r * stride, s, 8);
    } else {
        InverseDct(kernels_, block, masks & 0xFF, masks >> 8, dst, stride);
    }
}

void FrameDecoder::DecodeOneComponent(int c) {
    const ComponentInfo& comp = info_.components[c];
    const uint32_t width = (uint32_t{info_.width} * comp.h + info_.hmax - 1) / info_.hmax;
    const uint32_t height = (uint32_t{info_.height} * comp.v + info_.vmax - 1) / info_.vmax;
    const uint32_t blocksAcross = (width + 7) / 8, blocksDown = (height + 7) / 8;
    const size_t stride = planes_[c].stride;
    for (uint32_t by = 0; by < blocksDown; ++by) {
        uint8_t* row = PlaneRow(c, by * 8);
        for (uint32_t bx = 0; bx < blocksAcross; ++bx) {
            RestartIfDue();
            DecodeBlock(c, row + bx * 8, stride);
        }
        // Only a one-component frame streams a one-component scan.
        if (streaming_) ConvertRows(by * 8, by * 8 + 8);
    }
}

void FrameDecoder::DecodeInterleaved() {
    const int count = info_.scanCount;
    uint8_t* rows[4][4];  // per scan component and block row of the MCU: the plane row
    for (uint32_t my = 0; my < mcuRows_; ++my) {
        for (int i = 0; i < count; ++i) {
            const int c = info_.scanComponents[i];
            for (uint32_t v = 0; v < info_.components[c].v; ++v) rows[i][v] = PlaneRow(c, (my * info_.components[c].v + v) * 8);
        }
        for (uint32_t mx = 0; mx < mcusPerRow_; ++mx) {
            RestartIfDue();
            for (int i = 0; i < count; ++i) {
                const int c = info_.scanComponents[i];
                const ComponentInfo& comp = info_.components[c];
                const size_t stride = planes_[c].stride;
                for (uint32_t v = 0; v < comp.v; ++v) {
                    uint8_t* row = rows[i][v] + size_t{mx} * comp.h * 8;
                    for (uint32_t h = 0; h < comp.h; ++h) DecodeBlock(c, row + h * 8, stride);
                }
            }
        }
        if (streaming_) ConvertRows(my * 8u * info_.vmax, (my + 1) * 8u * info_.vmax);
    }
}

void FrameDecoder::DecodeScan(size_t pos) {
    bool dcDone[kTableSlots] = {}, acDone[kTableSlots] = {};
    for (int i = 0; i < info_.scanCount; ++i) {
        const ComponentInfo& comp = info_.components[info_.scanComponents[i]];
        if (!dcDone[comp.dcTable]) DeriveHuffmanTable(info_.dcTables[comp.dcTable], dc_[comp.dcTable], false);
        if (!acDone[comp.acTable]) DeriveHuffmanTable(info_.acTables[comp.acTable], ac_[comp.acTable], true);
        dcDone[comp.dcTable] = acDone[comp.acTable] = true;
        pred_[info_.scanComponents[i]] = 0;
    }
    restartsToGo_ = info_.restartInterval;
    reader_.Start(data_.data() + pos, data_.data() + data_.size());
    if (info_.scanCount == 1)
        DecodeOneComponent(info_.scanComponents[0]);
    else
        DecodeInterleaved();
    for (int i = 0; i < info_.scanCount; ++i) coded_[info_.scanComponents[i]] = true;
}

void FrameDecoder::ConvertRows(uint32_t first, uint32_t last) {
    if (last > info_.height) last = info_.height;
    const uint32_t width = info_.width, vmax = info_.vmax;
    const size_t used = size_t{width} * 3;
    const ComponentInfo* c = info_.components;
    const bool grey = info_.colourType == kColourGrey;
    const int yRatio = grey ? 1 : info_.hmax / c[0].h, cbRatio = grey ? 1 : info_.hmax / c[1].h,
              crRatio = grey ? 1 : info_.hmax / c[2].h;
    for (uint32_t y = first; y < last; ++y) {
        uint8_t* dst = out_ + y * outStride_;
        if (grey) {
            ConvertRowGrey(PlaneRow(0, y), dst, width);
        } else {
            const uint8_t* cb = PlaneRow(1, y * c[1].v / vmax);
            const uint8_t* cr = PlaneRow(2, y * c[2].v / vmax);
            // 4:2:0: this row and the next share their chroma row.
            if (yRatio == 1 && cbRatio == 2 && crRatio == 2 && y + 1 < last &&
                cb == PlaneRow(1, (y + 1) * c[1].v / vmax) && cr == PlaneRow(2, (y + 1) * c[2].v / vmax)) {
                uint8_t* next = dst + outStride_;
                ConvertRowPairHalfChroma(kernels_, PlaneRow(0, y * c[0].v / vmax), PlaneRow(0, (y + 1) * c[0].v / vmax),
                                         cb, cr, dst, next, width);
                if (outStride_ > used) std::memset(next + used, 0, outStride_ - used);
                ++y;
            } else {
                ConvertRowYCbCr(kernels_, PlaneRow(0, y * c[0].v / vmax), cb, cr, yRatio, cbRatio, crRatio, dst, width);
            }
        }
        if (outStride_ > used) std::memset(dst + used, 0, outStride_ - used);
    }
}

DecodeStatus FrameDecoder::Run(size_t pos) {
    streaming_ = info_.scanCount == info_.componentCount;
    try {
        SetUpPlanes();
    } catch (const std::bad_alloc&) {
        return DecodeStatus::Error(kDecodeOutOfMemory, "out of memory for the decoder's working storage");
    }
    DecodeScan(pos);
    if (streaming_) {
        return reader_.EndsWithEndOfImage()
                   ? DecodeStatus{}
                   : DecodeStatus::Error(kDecodeMissingEndOfImage, "the data does not end with an end-of-image marker");
    }
    // Further scans until every component has its data.
    SegmentsEnd end = SegmentsEnd::kScan;
    for (;;) {
        size_t next = static_cast<size_t>(reader_.Position() - data_.data());
        DecodeStatus status = ReadSegments(data_, next, info_, true, end);
        if (status.code != kDecodeOk) return status;
        if (end != SegmentsEnd::kScan) break;
        // Each component is coded once; more scans would only let a small
        // stream demand endless work.
        for (int i = 0; i < info_.scanCount; ++i)
            if (coded_[info_.scanComponents[i]])
                return DecodeStatus::Error(kDecodeHeaderError,
                                           "damaged stream: component " +
                                               std::to_string(info_.components[info_.scanComponents[i]].id) +
                                               " is coded in two scans");
        DecodeScan(next);
    }
    for (int c = 0; c < info_.componentCount; ++c)
        if (!coded_[c])
            return DecodeStatus::Error(kDecodeHeaderError, "damaged stream: no scan carries component " +
                                                               std::to_string(info_.components[c].id));
    ConvertRows(0, info_.height);
    if (end != SegmentsEnd::kEndOfImage)
        return DecodeStatus::Error(kDecodeMissingEndOfImage, "the data does not end with an end-of-image marker");
    return {};
}

}  // namespace

DecodeStatus DecodeFrame(std::span<const uint8_t> data, size_t pos, JpegInfo& info, uint8_t* out, size_t stride) {
    std::unique_ptr<FrameDecoder> decoder(new (std::nothrow) FrameDecoder(data, info, out, stride));
    if (!decoder) return DecodeStatus::Error(kDecodeOutOfMemory, "out of memory for the decoder");
    return decoder->Run(pos);
}

}  // namespace vcdalbum::codec
