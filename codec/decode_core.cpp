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
    uint32_t rows = 0;  // one MCU row's worth, reused down the picture
};

// One scan: its header's choices as they stood when it was read (later
// segments may redefine tables and the restart interval) and where its
// decoding stands.
struct ScanState {
    size_t start = 0;  // first byte of its entropy data
    uint16_t count = 0;
    uint16_t components[4] = {};
    uint16_t restartInterval = 0;
    int32_t quant[4][64];
    HuffmanLookup dc[kTableSlots];
    HuffmanLookup ac[kTableSlots];
    BitReader reader;
    int32_t pred[4] = {};
    uint32_t restartsToGo = 0;
};

class FrameDecoder {
public:
    FrameDecoder(std::span<const uint8_t> data, JpegInfo& info, uint8_t* out, size_t stride)
        : data_(data), info_(info), out_(out), outStride_(stride) {}

    DecodeStatus Run(size_t pos);

private:
    void SetUpPlanes();
    void BeginScan(ScanState& s, size_t pos);
    void Rewind(ScanState& s);
    DecodeStatus FindLaterScans(SegmentsEnd& end);
    template <bool kStore> void DecodeMcuRow(ScanState& s, uint32_t my);
    template <bool kStore> void DecodeBlock(ScanState& s, int c, uint8_t* dst, size_t stride);
    void RestartIfDue(ScanState& s);
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

    uint32_t mcusPerRow_ = 0, mcuRows_ = 0;
    Plane planes_[4];
    // Each component is coded in exactly one scan, so a frame has at most
    // as many scans as components.
    ScanState scans_[4];
    int scanTotal_ = 0;
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
        p.rows = 8u * comp.v;
        p.samples.assign(p.stride * p.rows, 0);
    }
}

void FrameDecoder::BeginScan(ScanState& s, size_t pos) {
    s.start = pos;
    s.count = info_.scanCount;
    s.restartInterval = info_.restartInterval;
    std::memcpy(s.quant, info_.quant, sizeof s.quant);
    bool dcDone[kTableSlots] = {}, acDone[kTableSlots] = {};
    for (int i = 0; i < s.count; ++i) {
        s.components[i] = info_.scanComponents[i];
        const ComponentInfo& comp = info_.components[s.components[i]];
        if (!dcDone[comp.dcTable]) DeriveHuffmanTable(info_.dcTables[comp.dcTable], s.dc[comp.dcTable], false);
        if (!acDone[comp.acTable]) DeriveHuffmanTable(info_.acTables[comp.acTable], s.ac[comp.acTable], true);
        dcDone[comp.dcTable] = acDone[comp.acTable] = true;
    }
    Rewind(s);
}

void FrameDecoder::Rewind(ScanState& s) {
    for (int32_t& p : s.pred) p = 0;
    s.restartsToGo = s.restartInterval;
    s.reader.Start(data_.data() + s.start, data_.data() + data_.size());
}

void FrameDecoder::RestartIfDue(ScanState& s) {
    if (s.restartInterval == 0) return;
    if (s.restartsToGo == 0) {
        s.reader.Restart();
        for (int32_t& p : s.pred) p = 0;
        s.restartsToGo = s.restartInterval;
    }
    --s.restartsToGo;
}

// kStore false only reads the block, to find where the scan's data ends.
template <bool kStore>
void FrameDecoder::DecodeBlock(ScanState& s, int c, uint8_t* dst, size_t stride) {
    const ComponentInfo& comp = info_.components[c];
    const HuffmanLookup& dc = s.dc[comp.dcTable];
    const HuffmanLookup& ac = s.ac[comp.acTable];
    const int32_t* q = s.quant[comp.quantTable];
    int32_t* block = block_;
    // A local copy stays in registers; the block stores cannot alias it.
    BitReader in = s.reader;

    in.Refill();
    int t = DecodeSymbol(in, dc);
    if (t) {
        if (t > 16) t = 16;  // corrupt: no baseline DC difference is that long
        s.pred[c] = static_cast<int32_t>(static_cast<uint32_t>(s.pred[c]) +
                                         static_cast<uint32_t>(Extend(in.Receive(t), t)));
    }
    block[0] = static_cast<int32_t>(static_cast<uint32_t>(s.pred[c]) * static_cast<uint32_t>(q[0]));

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

    s.reader = in;
    if constexpr (!kStore) {
        if (anyAc) std::memset(block, 0, sizeof block_);
        block[0] = 0;
    } else if (!anyAc) {
        const uint8_t sample = DcOnlySample(block[0]);
        block[0] = 0;
        for (int r = 0; r < 8; ++r) std::memset(dst + r * stride, sample, 8);
    } else {
        InverseDct(kernels_, block, masks & 0xFF, masks >> 8, dst, stride);
    }
}

// Decodes the scan's part of MCU row `my`: for a one-component scan, that
// component's block rows inside the MCU row.
template <bool kStore>
void FrameDecoder::DecodeMcuRow(ScanState& s, uint32_t my) {
    if (s.count == 1) {
        const int c = s.components[0];
        const ComponentInfo& comp = info_.components[c];
        const uint32_t width = (uint32_t{info_.width} * comp.h + info_.hmax - 1) / info_.hmax;
        const uint32_t height = (uint32_t{info_.height} * comp.v + info_.vmax - 1) / info_.vmax;
        const uint32_t blocksAcross = (width + 7) / 8, blocksDown = (height + 7) / 8;
        const size_t stride = planes_[c].stride;
        for (uint32_t by = my * comp.v; by < (my + 1) * comp.v && by < blocksDown; ++by) {
            uint8_t* row = PlaneRow(c, by * 8);
            for (uint32_t bx = 0; bx < blocksAcross; ++bx) {
                RestartIfDue(s);
                DecodeBlock<kStore>(s, c, row + bx * 8, stride);
            }
        }
        return;
    }
    uint8_t* rows[4][4];  // per scan component and block row of the MCU: the plane row
    for (int i = 0; i < s.count; ++i) {
        const int c = s.components[i];
        for (uint32_t v = 0; v < info_.components[c].v; ++v) rows[i][v] = PlaneRow(c, (my * info_.components[c].v + v) * 8);
    }
    for (uint32_t mx = 0; mx < mcusPerRow_; ++mx) {
        RestartIfDue(s);
        for (int i = 0; i < s.count; ++i) {
            const int c = s.components[i];
            const ComponentInfo& comp = info_.components[c];
            const size_t stride = planes_[c].stride;
            for (uint32_t v = 0; v < comp.v; ++v) {
                uint8_t* row = rows[i][v] + size_t{mx} * comp.h * 8;
                for (uint32_t h = 0; h < comp.h; ++h) DecodeBlock<kStore>(s, c, row + h * 8, stride);
            }
        }
    }
}

// A frame whose first scan lacks components has later scans. Their headers
// are read, and each scan's data read through once to find where the next
// header starts, before any pixel is written; a damaged later header thus
// refuses the picture whole.
DecodeStatus FrameDecoder::FindLaterScans(SegmentsEnd& end) {
    bool coded[4] = {};
    for (int i = 0; i < scans_[0].count; ++i) coded[scans_[0].components[i]] = true;
    for (;;) {
        ScanState& last = scans_[scanTotal_ - 1];
        for (uint32_t my = 0; my < mcuRows_; ++my) DecodeMcuRow<false>(last, my);
        size_t next = static_cast<size_t>(last.reader.Position() - data_.data());
        DecodeStatus status = ReadSegments(data_, next, info_, true, end);
        if (status.code != kDecodeOk) return status;
        if (end != SegmentsEnd::kScan) break;
        // Each component is coded once; more scans would only let a small
        // stream demand endless work.
        for (int i = 0; i < info_.scanCount; ++i)
            if (coded[info_.scanComponents[i]])
                return DecodeStatus::Error(kDecodeHeaderError,
                                           "damaged stream: component " +
                                               std::to_string(info_.components[info_.scanComponents[i]].id) +
                                               " is coded in two scans");
        for (int i = 0; i < info_.scanCount; ++i) coded[info_.scanComponents[i]] = true;
        BeginScan(scans_[scanTotal_++], next);
    }
    for (int c = 0; c < info_.componentCount; ++c)
        if (!coded[c])
            return DecodeStatus::Error(kDecodeHeaderError, "damaged stream: no scan carries component " +
                                                               std::to_string(info_.components[c].id));
    for (int i = 0; i < scanTotal_; ++i) Rewind(scans_[i]);
    return {};
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
    try {
        SetUpPlanes();
    } catch (const std::bad_alloc&) {
        return DecodeStatus::Error(kDecodeOutOfMemory, "out of memory for the decoder's working storage");
    }
    BeginScan(scans_[0], pos);
    scanTotal_ = 1;
    const bool oneScan = info_.scanCount == info_.componentCount;
    SegmentsEnd end = SegmentsEnd::kEndOfImage;
    if (!oneScan) {
        DecodeStatus status = FindLaterScans(end);
        if (status.code != kDecodeOk) return status;
    }
    // All scans side by side, one MCU row at a time.
    for (uint32_t my = 0; my < mcuRows_; ++my) {
        for (int i = 0; i < scanTotal_; ++i) DecodeMcuRow<true>(scans_[i], my);
        ConvertRows(my * 8u * info_.vmax, (my + 1) * 8u * info_.vmax);
    }
    const bool endsWithEoi = oneScan ? scans_[0].reader.EndsWithEndOfImage() : end == SegmentsEnd::kEndOfImage;
    if (!endsWithEoi)
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
