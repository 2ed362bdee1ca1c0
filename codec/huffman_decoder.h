// Entropy decoding of baseline scans: the bit reader over the entropy-coded
// bytes and Huffman decoding through a lookahead table, falling back to the
// bit-serial search of T.81 Figure F.16 for codes longer than the lookahead.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "codec/byte_swap.h"
#include "codec/codec_memory.h"

namespace vcdalbum::codec {

inline constexpr int kLookaheadBits = 10;

// Decoding tables derived from one HuffTable block.
struct HuffmanLookup {
    // (code length << 8) | symbol for every code of up to kLookaheadBits bits,
    // indexed by the next kLookaheadBits bits; 0 when the code is longer.
    uint16_t fast[1 << kLookaheadBits];
    // AC only: when a code and its extra bits fit in the lookahead together,
    // (coefficient value * 65536) | (run << 8) | bits used; 0 otherwise.
    int32_t fastAc[1 << kLookaheadBits];
    int32_t minCode[17];
    int32_t maxCode[18];
    int32_t valuePtr[17];
    int32_t total;
    uint8_t values[256];
};

// Derives the code limits into `table` (T.81 Figures C.1, C.2, F.15) and the
// lookahead tables into `lookup`. Tables whose counts overflow the code
// space still give bounded lookups.
void DeriveHuffmanTable(HuffTable& table, HuffmanLookup& lookup, bool ac);

// EXTEND of T.81 Figure F.12.
// Without a branch: the sign of v - 2^(n-1) selects the offset, since
// magnitudes are as likely negative as positive and a branch would guess
// wrong half the time.
inline int32_t Extend(uint32_t v, int n) {
    const int32_t below = static_cast<int32_t>(v - (1u << (n - 1))) >> 31;  // -1 when v < 2^(n-1), else 0
    return static_cast<int32_t>(v) + (below & static_cast<int32_t>(1u - (1u << n)));
}

// Reads the entropy-coded bytes of one scan, most significant bit first.
// Stuffed 0xFF 0x00 pairs give 0xFF; at a marker or the end of the data the
// reader supplies zero bits and never reads further.
class BitReader {
public:
    void Start(const uint8_t* begin, const uint8_t* end) {
        p_ = begin;
        stop_ = end;
        dataEnd_ = end;
        marker_ = nullptr;
        acc_ = 0;
        bits_ = 0;
        padBits_ = 0;
    }

    // Makes at least 57 bits available.
    inline void Refill() {
        if (bits_ > 56) return;
        if (stop_ - p_ >= 8) {
            uint64_t word;
            std::memcpy(&word, p_, 8);
            const uint64_t inverted = ~word;
            // No 0xFF byte among the eight: take whole bytes at once.
            if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0) {
                if constexpr (std::endian::native == std::endian::little) word = ByteSwap64(word);
                const int take = (64 - bits_) >> 3;
                const uint64_t keep = take == 8 ? ~0ull : ~((~0ull) >> (take * 8));
                acc_ |= (word & keep) >> bits_;
                bits_ += take * 8;
                p_ += take;
                return;
            }
        }
        while (bits_ <= 56) {
            uint32_t byte = 0;
            if (p_ < stop_) {
                byte = *p_;
                if (byte == 0xFF) {
                    if (p_ + 1 < stop_ && p_[1] == 0x00) {
                        p_ += 2;
                    } else {
                        marker_ = p_;
                        stop_ = p_;
                        byte = 0;
                        padBits_ += 8;
                    }
                } else {
                    ++p_;
                }
            } else {
                padBits_ += 8;
            }
            acc_ |= static_cast<uint64_t>(byte) << (56 - bits_);
            bits_ += 8;
        }
    }

    // The next n bits (1 <= n <= 32) without consuming them; needs a Refill.
    inline uint32_t Peek(int n) const { return static_cast<uint32_t>(acc_ >> (64 - n)); }
    inline void Skip(int n) {
        acc_ <<= n;
        bits_ -= n;
    }
    // RECEIVE(n) for 1 <= n <= 16; needs a Refill.
    inline uint32_t Receive(int n) {
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    int available() const { return bits_; }

    // Restart: unread bits are dropped and the bytes up to and including the
    // next marker code are consumed (the marker is not checked to be RSTn).
    void Restart();

    // True when nothing but padding bits is left before 0xFF 0xD9.
    bool EndsWithEndOfImage() const;

    // Where the next marker search should start after the scan.
    const uint8_t* Position() const { return marker_ ? marker_ : p_; }

private:
    const uint8_t* p_ = nullptr;
    const uint8_t* stop_ = nullptr;     // p_ never passes it: the data end or a marker
    const uint8_t* dataEnd_ = nullptr;
    const uint8_t* marker_ = nullptr;   // the 0xFF of the marker that stopped the reader
    uint64_t acc_ = 0;                  // unread bits, left-aligned
    int bits_ = 0;
    int padBits_ = 0;                   // zero bits supplied past the data, at the bottom of acc_
};

// DECODE: the next symbol. A code that matches no length (corrupt data)
// consumes 16 bits and gives symbol 0. Needs a Refill.
inline int DecodeLongCode(BitReader& reader, const HuffmanLookup& table) {
    const uint32_t bits = reader.Peek(16);
    for (int l = kLookaheadBits + 1; l <= 16; ++l) {
        const int32_t code = static_cast<int32_t>(bits >> (16 - l));
        if (code <= table.maxCode[l]) {
            reader.Skip(l);
            const int32_t index = table.valuePtr[l] + code - table.minCode[l];
            return index >= 0 && index < table.total ? table.values[index] : 0;
        }
    }
    reader.Skip(16);
    return 0;
}

inline int DecodeSymbol(BitReader& reader, const HuffmanLookup& table) {
    const uint16_t entry = table.fast[reader.Peek(kLookaheadBits)];
    if (entry) {
        reader.Skip(entry >> 8);
        return entry & 0xFF;
    }
    return DecodeLongCode(reader, table);
}

}  // namespace vcdalbum::codec
