#include "codec/jpeg_encoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "codec/bitmap.h"
#include "codec/byte_swap.h"
#include "codec/bgr_to_ycbcr.h"
#include "codec/forward_dct.h"
#include "codec/jpeg_tables.h"
#include "codec/simd_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vcdalbum::codec {
namespace {

// The fixed quality factor; the quantisers are the Annex K examples scaled
// by trunc(Q^0.6 + 0.5) / 8, which is one half for Q = 12.
constexpr uint16_t kQuality = 12;

// Bytes a single block can take in the worst case: a 22-bit DC code and 63
// codes of at most 26 bits, every byte possibly followed by a stuffed zero.
constexpr size_t kWorstBlockBytes = 2 * (22 + 63 * 26 + 7) / 8 + 8;

// Per symbol value: the code in bits 8 and up, its length in bits 0-7
// (0 for a symbol the table does not have).
struct HuffEncodeTable {
    uint32_t entry[256];
};

struct EncoderTables {
    QuantTable quant[2];
    HuffEncodeTable dc[2];
    HuffEncodeTable ac[2];
};

// Code sizes and codes from the counts (T.81 C.1, C.2), then ordered by
// symbol value (C.3).
void BuildHuffEncodeTable(const StandardHuffmanTable& source, HuffEncodeTable& table) {
    std::memset(&table, 0, sizeof table);
    uint32_t code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < source.counts[length - 1] && k < source.valueCount; ++i, ++k) {
            const uint8_t symbol = source.values[k];
            table.entry[symbol] = (code << 8) | static_cast<uint32_t>(length);
            ++code;
        }
        code <<= 1;
    }
}

EncoderTables MakeEncoderTables() {
    EncoderTables tables{};
    const int scale = static_cast<int>(std::pow(static_cast<double>(kQuality), 0.6) + 0.5);
    for (int i = 0; i < 64; ++i) {
        tables.quant[0].zigzag[i] = static_cast<uint16_t>((kLuminanceQuantZigzag[i] * scale) >> 3);
        tables.quant[1].zigzag[i] = static_cast<uint16_t>((kChrominanceQuantZigzag[i] * scale) >> 3);
    }
    PrepareQuantTable(tables.quant[0]);
    PrepareQuantTable(tables.quant[1]);
    BuildHuffEncodeTable(kDcLuminance, tables.dc[0]);
    BuildHuffEncodeTable(kDcChrominance, tables.dc[1]);
    BuildHuffEncodeTable(kAcLuminance, tables.ac[0]);
    BuildHuffEncodeTable(kAcChrominance, tables.ac[1]);
    return tables;
}

const EncoderTables& Tables() {
    static const EncoderTables tables = MakeEncoderTables();
    return tables;
}

// Bit-writer state. Bits gather in a 64-bit word and leave as a whole word
// once it is full; a 0xFF byte is followed by 0x00. Kept in locals while a
// block is coded, so that the byte stores (which may alias anything) do not
// force it to memory.
struct BitState {
    uint8_t* p;
    uint64_t acc;  // the pending bits are the low `count`; bits above them are left over and ignored
    int count;     // 0 .. 63
};

inline void EmitByte(BitState& s, uint8_t b) {
    s.p[0] = b;
    s.p[1] = 0;
    s.p += b == 0xFF ? 2 : 1;
}

inline void Emit64(BitState& s, uint64_t w) {
    // A byte of 0xFF in w is a zero byte in ~w: one test covers all eight.
    const uint64_t n = ~w;
    if (((n - 0x0101010101010101ull) & ~n & 0x8080808080808080ull) == 0) {
        StoreBigEndian64(s.p, w);
        s.p += 8;
    } else {
        for (int shift = 56; shift >= 0; shift -= 8) EmitByte(s, static_cast<uint8_t>(w >> shift));
    }
}

// `length` <= 32 bits, already masked.
inline void Put(BitState& s, uint32_t bits, int length) {
    const int total = s.count + length;
    if (total < 64) {
        s.acc = (s.acc << length) | bits;
        s.count = total;
        return;
    }
    // The word fills up: its last bits are the leading bits of `bits`, and
    // the ones left over start the next word (count >= 32 here, so the
    // shifts stay below 64).
    const int over = total - 64;
    Emit64(s, (s.acc << (length - over)) | (static_cast<uint64_t>(bits) >> over));
    s.acc = bits;
    s.count = over;
}

// The entropy-coded segment, written straight into the growing output.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out), used_(out.size()) {}

    // Makes room for `bytes` more bytes and returns the state to code with,
    // or false when memory is short.
    bool Reserve(size_t bytes) {
        if (out_.size() - used_ < bytes) {
            try {
                out_.resize(std::max(out_.size() * 2, used_ + bytes));
            } catch (const std::bad_alloc&) {
                return false;
            } catch (const std::length_error&) {
                return false;
            }
        }
        state.p = out_.data() + used_;
        return true;
    }
    // Takes back the state after coding.
    void Commit() { used_ = static_cast<size_t>(state.p - out_.data()); }

    // Pads the last byte with 1-bits; bits that do not fill a byte are dropped.
    void Finish() {
        Put(state, 0x7F, 7);
        while (state.count >= 8) {
            state.count -= 8;
            EmitByte(state, static_cast<uint8_t>(state.acc >> state.count));
        }
        state.count = 0;
        Commit();
    }

    size_t used() const { return used_; }

    BitState state{nullptr, 0, 0};

private:
    std::vector<uint8_t>& out_;
    size_t used_;
};

// Zigzag position of each natural index.
constexpr std::array<uint8_t, 64> kZigzagPosition = [] {
    std::array<uint8_t, 64> position{};
    for (int i = 0; i < 64; ++i) position[kZigzag[i]] = static_cast<uint8_t>(i);
    return position;
}();

// Bit mask of the non-zero AC coefficients, bit k for zigzag position k.
inline uint64_t NonZeroZigzagMask(const int16_t natural[64]) {
    uint64_t mask;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int j = 0; j < 4; ++j) {
        const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(natural + 16 * j)), zero);
        const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(natural + 16 * j + 8)), zero);
        zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(a, b)))) << (16 * j);
    }
    mask = ~zeros;
#else
    mask = 0;
    for (int k = 0; k < 64; ++k) mask |= static_cast<uint64_t>(natural[k] != 0) << k;
#endif
    mask &= ~uint64_t{1};
    // Few coefficients survive quantisation in most blocks.
    uint64_t zigzag = 0;
    while (mask) {
        zigzag |= uint64_t{1} << kZigzagPosition[std::countr_zero(mask)];
        mask &= mask - 1;
    }
    return zigzag;
}

// Size category and the value's low bits (one's complement for negatives).
inline int Category(int v, uint32_t& bits) {
    const uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
    const int s = std::bit_width(magnitude);
    bits = static_cast<uint32_t>(v < 0 ? v - 1 : v) & ((1u << s) - 1u);
    return s;
}

// One block of quantised coefficients in natural order (T.81 F.1.2).
void EncodeBlock(BitState& state, const int16_t natural[64], int32_t& predictor, const HuffEncodeTable& dc,
                 const HuffEncodeTable& ac) {
    BitState s = state;
    const int diff = natural[0] - predictor;
    predictor = natural[0];
    uint32_t bits;
    int size = Category(diff, bits);
    uint32_t entry = dc.entry[size];
    Put(s, ((entry >> 8) << size) | bits, static_cast<int>(entry & 0xFF) + size);

    uint64_t mask = NonZeroZigzagMask(natural);
    int last = 0;
    while (mask) {
        const int k = std::countr_zero(mask);
        mask &= mask - 1;
        int run = k - last - 1;
        last = k;
        while (run > 15) {
            Put(s, ac.entry[0xF0] >> 8, static_cast<int>(ac.entry[0xF0] & 0xFF));
            run -= 16;
        }
        size = Category(natural[kZigzag[k]], bits);
        const int symbol = run * 16 + size;
        entry = ac.entry[symbol];
        Put(s, ((entry >> 8) << size) | bits, static_cast<int>(entry & 0xFF) + size);
    }
    if (last != 63) Put(s, ac.entry[0] >> 8, static_cast<int>(ac.entry[0] & 0xFF));
    state = s;
}

void PutBe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void WriteHuffmanTable(std::vector<uint8_t>& out, int classAndNumber, const StandardHuffmanTable& table) {
    out.push_back(static_cast<uint8_t>(classAndNumber));
    out.insert(out.end(), table.counts, table.counts + 16);
    out.insert(out.end(), table.values, table.values + table.valueCount);
}

void WriteHeader(std::vector<uint8_t>& out, bool grey, uint32_t width, uint32_t height) {
    const EncoderTables& tables = Tables();
    const int components = grey ? 1 : 3;
    const int quantTables = grey ? 1 : 2;

    static constexpr uint8_t kStart[] = {
        0xFF, 0xD8,                                      // SOI
        0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0,  // APP0, JFIF
        0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,
    };
    out.insert(out.end(), std::begin(kStart), std::end(kStart));

    out.push_back(0xFF);
    out.push_back(0xDB);
    PutBe16(out, 2 + 65 * quantTables);
    for (int t = 0; t < quantTables; ++t) {
        out.push_back(static_cast<uint8_t>(t));
        for (int i = 0; i < 64; ++i) out.push_back(static_cast<uint8_t>(tables.quant[t].zigzag[i]));
    }

    out.push_back(0xFF);
    out.push_back(0xC0);
    PutBe16(out, 8 + 3 * components);
    out.push_back(8);
    PutBe16(out, height);
    PutBe16(out, width);
    out.push_back(static_cast<uint8_t>(components));
    if (grey) {
        out.insert(out.end(), {1, 0x11, 0});
    } else {
        out.insert(out.end(), {1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1});
    }

    out.push_back(0xFF);
    out.push_back(0xC4);
    PutBe16(out, 2 + (17 + 12) + (17 + 162) + (grey ? 0 : (17 + 12) + (17 + 162)));
    WriteHuffmanTable(out, 0x00, kDcLuminance);
    WriteHuffmanTable(out, 0x10, kAcLuminance);
    if (!grey) {
        WriteHuffmanTable(out, 0x01, kDcChrominance);
        WriteHuffmanTable(out, 0x11, kAcChrominance);
    }

    out.push_back(0xFF);
    out.push_back(0xDA);
    PutBe16(out, 6 + 2 * components);
    out.push_back(static_cast<uint8_t>(components));
    if (grey) {
        out.insert(out.end(), {1, 0x00});
    } else {
        out.insert(out.end(), {1, 0x00, 2, 0x11, 3, 0x11});
    }
    out.insert(out.end(), {0, 63, 0});
}

class Encoder {
public:
    Encoder(const EncodeSource& source, std::vector<uint8_t>& out)
        : source_(source), out_(out), writer_(out), grey_(source.bitsPerPixel == 8) {}

    int Run() {
        if (!Allocate()) return kEncodeOutOfMemory;
        const EncoderTables& tables = Tables();
        const size_t blocksPerRow = static_cast<size_t>(mcusPerRow_) * (grey_ ? 1 : 4);
        for (uint32_t row = 0; row < source_.height; row += 8) {
            const uint8_t* base = BandStart(row);
            if (!base) return kEncodeOutOfMemory;
            LoadBand(base, std::min<uint32_t>(8, source_.height - row));
            if (!writer_.Reserve(blocksPerRow * kWorstBlockBytes + 16)) return kEncodeOutOfMemory;
            EncodeBand(tables);
            writer_.Commit();
        }
        if (!writer_.Reserve(32)) return kEncodeOutOfMemory;
        writer_.Finish();
        const size_t end = writer_.used();
        out_.resize(end);
        out_.push_back(0xFF);
        out_.push_back(0xD9);
        return kEncodeOk;
    }

private:
    // The planes of one band of eight rows, padded out to whole MCUs.
    bool Allocate() {
        const uint32_t mcuWidth = grey_ ? 8 : 16;
        mcusPerRow_ = (source_.width + mcuWidth - 1) / mcuWidth;
        paddedWidth_ = static_cast<size_t>(mcusPerRow_) * mcuWidth;
        try {
            luma_.resize(paddedWidth_ * 8);
            if (!grey_) {
                cb_.resize(paddedWidth_ / 2 * 8);
                cr_.resize(paddedWidth_ / 2 * 8);
            }
            if (paddedWidth_ != source_.width) padded_.resize(paddedWidth_ * bytesPerPixel_);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    // The first of the band's rows in memory. A band that runs past the end
    // of the source is read through a buffer of a whole band; null when that
    // buffer cannot be had.
    const uint8_t* BandStart(uint32_t row) {
        const size_t chunk = source_.stride * 8;
        const size_t start = static_cast<size_t>(row) * source_.stride;
        if (start + chunk <= source_.size) return source_.pixels + start;
        // A short read leaves the read buffer's previous bytes behind the new ones.
        if (readBuffer_.empty()) {
            try {
                readBuffer_.assign(chunk, 0);
            } catch (const std::bad_alloc&) {
                return nullptr;
            }
        }
        if (!readBufferCurrent_ && start >= chunk && start <= source_.size)
            std::memcpy(readBuffer_.data(), source_.pixels + start - chunk, chunk);
        readBufferCurrent_ = true;
        if (start < source_.size) std::memcpy(readBuffer_.data(), source_.pixels + start, source_.size - start);
        return readBuffer_.data();
    }

    // Converts the band's `n` rows into the planes and repeats the edges out
    // to whole MCUs.
    void LoadBand(const uint8_t* base, uint32_t n) {
        const size_t rowBytes = static_cast<size_t>(source_.width) * bytesPerPixel_;
        for (uint32_t r = 0; r < n; ++r) {
            const uint8_t* pixels = base + r * source_.stride;
            if (!padded_.empty()) {
                // Repeat the last column out to the MCU edge.
                std::memcpy(padded_.data(), pixels, rowBytes);
                for (size_t x = rowBytes; x < padded_.size(); x += bytesPerPixel_)
                    std::memcpy(padded_.data() + x, pixels + rowBytes - bytesPerPixel_, bytesPerPixel_);
                pixels = padded_.data();
            }
            if (grey_) {
                std::memcpy(luma_.data() + r * paddedWidth_, pixels, paddedWidth_);
            } else {
                const size_t half = paddedWidth_ / 2;
                ConvertColourRow(pixels, half, luma_.data() + r * paddedWidth_, cb_.data() + r * half,
                                 cr_.data() + r * half);
            }
        }
        // Repeat the last row down to the MCU edge.
        for (uint32_t r = n; r < 8; ++r) {
            std::memcpy(luma_.data() + r * paddedWidth_, luma_.data() + (n - 1) * paddedWidth_, paddedWidth_);
            if (!grey_) {
                const size_t half = paddedWidth_ / 2;
                std::memcpy(cb_.data() + r * half, cb_.data() + (n - 1) * half, half);
                std::memcpy(cr_.data() + r * half, cr_.data() + (n - 1) * half, half);
            }
        }
    }

    // Transforms and codes the band's MCUs into reserved output.
    void EncodeBand(const EncoderTables& tables) {
        BitState& bits = writer_.state;
        alignas(16) int16_t blocks[4][64];
        const ForwardDctPairKernel transformPair = kernels_.forwardDctPair;
        if (grey_) {
            // Two MCUs per transform; an odd last one is transformed twice.
            for (uint32_t m = 0; m < mcusPerRow_; m += 2) {
                const uint8_t* first = luma_.data() + 8 * m;
                const bool both = m + 1 < mcusPerRow_;
                transformPair(first, both ? first + 8 : first, paddedWidth_, tables.quant[0], blocks[0], blocks[1]);
                EncodeBlock(bits, blocks[0], predictors_[0], tables.dc[0], tables.ac[0]);
                if (both) EncodeBlock(bits, blocks[1], predictors_[0], tables.dc[0], tables.ac[0]);
            }
            return;
        }
        const size_t half = paddedWidth_ / 2;
        for (uint32_t m = 0; m < mcusPerRow_; ++m) {
            const uint8_t* luma = luma_.data() + 16 * m;
            transformPair(luma, luma + 8, paddedWidth_, tables.quant[0], blocks[0], blocks[1]);
            transformPair(cb_.data() + 8 * m, cr_.data() + 8 * m, half, tables.quant[1], blocks[2], blocks[3]);
            EncodeBlock(bits, blocks[0], predictors_[0], tables.dc[0], tables.ac[0]);
            EncodeBlock(bits, blocks[1], predictors_[0], tables.dc[0], tables.ac[0]);
            EncodeBlock(bits, blocks[2], predictors_[1], tables.dc[1], tables.ac[1]);
            EncodeBlock(bits, blocks[3], predictors_[2], tables.dc[1], tables.ac[1]);
        }
    }

private:
    const EncodeSource& source_;
    const CodecKernels& kernels_ = ActiveKernels();
    std::vector<uint8_t>& out_;
    BitWriter writer_;
    bool grey_;
    uint32_t bytesPerPixel_ = grey_ ? 1 : 3;
    bool readBufferCurrent_ = false;
    uint32_t mcusPerRow_ = 0;
    size_t paddedWidth_ = 0;
    std::vector<uint8_t> luma_, cb_, cr_, padded_, readBuffer_;
    int32_t predictors_[3] = {0, 0, 0};
};

}  // namespace

const QuantTable& EncoderQuantTable(int table) { return Tables().quant[table == 0 ? 0 : 1]; }

int EncodeJpegPixels(const EncodeSource& source, std::vector<uint8_t>& out) {
    if (source.bitsPerPixel != 8 && source.bitsPerPixel != 24) return kEncodeUnsupported;
    if (source.width == 0 || source.height == 0 || source.width > 65535 || source.height > 65535)
        return kEncodeUnsupported;
    const size_t rowBytes = static_cast<size_t>(source.width) * (source.bitsPerPixel / 8);
    if (source.stride < rowBytes || (source.size > 0 && !source.pixels)) return kEncodeUnsupported;

    const size_t before = out.size();
    int result;
    try {
        WriteHeader(out, source.bitsPerPixel == 8, source.width, source.height);
        Encoder encoder(source, out);
        result = encoder.Run();
    } catch (const std::bad_alloc&) {
        result = kEncodeOutOfMemory;
    }
    if (result != kEncodeOk) out.resize(before);
    return result;
}

int SourceFromImage(const Image& image, EncodeSource& source) {
    if (!image.data || image.width == 0 || image.height == 0 || image.width > 65535 || image.height > 65535)
        return kEncodeBadImage;
    const uint64_t stride = ImageStride(image.width);
    if (image.imageSize < stride * image.height) return kEncodeBadImage;
    source.width = image.width;
    source.height = image.height;
    source.bitsPerPixel = 24;
    source.stride = static_cast<size_t>(stride);
    source.pixels = image.data;
    source.size = static_cast<size_t>(stride * image.height);
    return kEncodeOk;
}

int EncodeJpeg(std::vector<uint8_t>& out, MemBuffer& header, MemBuffer& pixels) {
    BitmapInfoHeader info;
    if (!ReadBitmapHeaders(header, info)) return kEncodeNoMagic;
    pixels.reset();
    if (info.width <= 0 || info.height <= 0) return kEncodeUnsupported;
    EncodeSource source;
    source.width = static_cast<uint32_t>(info.width);
    source.height = static_cast<uint32_t>(info.height);
    source.bitsPerPixel = info.bitsPerPixel;
    source.stride = BitmapStride(source.width, info.bitsPerPixel);
    source.pixels = pixels.data;
    source.size = pixels.data ? static_cast<size_t>(std::max<int32_t>(pixels.capacity, 0)) : 0;
    return EncodeJpegPixels(source, out);
}

}  // namespace vcdalbum::codec
