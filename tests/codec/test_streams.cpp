#include "test_streams.h"

namespace vcdalbum::codec::testing {

StreamBuilder& StreamBuilder::Soi() { return Raw({0xFF, 0xD8}); }
StreamBuilder& StreamBuilder::Eoi() { return Raw({0xFF, 0xD9}); }

StreamBuilder& StreamBuilder::Segment(uint8_t marker, const std::vector<uint8_t>& payload) {
    const size_t length = payload.size() + 2;
    bytes.insert(bytes.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return *this;
}

StreamBuilder& StreamBuilder::Jfif(uint8_t major, uint8_t minor) {
    return Segment(0xE0, {'J', 'F', 'I', 'F', 0, major, minor, 0, 0, 1, 0, 1, 0, 0});
}

StreamBuilder& StreamBuilder::QuantTable(uint8_t id, uint8_t value) {
    std::vector<uint8_t> payload(65, value);
    payload[0] = id;
    return Segment(0xDB, payload);
}

StreamBuilder& StreamBuilder::Frame(uint16_t width, uint16_t height, const std::vector<FrameComponent>& components,
                                    uint8_t marker, uint8_t precision) {
    std::vector<uint8_t> payload = {precision, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                                    static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                                    static_cast<uint8_t>(components.size())};
    for (const FrameComponent& c : components)
        payload.insert(payload.end(), {c.id, static_cast<uint8_t>((c.h << 4) | c.v), c.quantTable});
    return Segment(marker, payload);
}

StreamBuilder& StreamBuilder::HuffmanTable(uint8_t classId, const StandardHuffmanTable& table) {
    std::vector<uint8_t> payload = {classId};
    payload.insert(payload.end(), table.counts, table.counts + 16);
    payload.insert(payload.end(), table.values, table.values + table.valueCount);
    return Segment(0xC4, payload);
}

StreamBuilder& StreamBuilder::StandardHuffmanTables() {
    HuffmanTable(0x00, kDcLuminance);
    HuffmanTable(0x10, kAcLuminance);
    HuffmanTable(0x01, kDcChrominance);
    return HuffmanTable(0x11, kAcChrominance);
}

StreamBuilder& StreamBuilder::RestartInterval(uint16_t interval) {
    return Segment(0xDD, {static_cast<uint8_t>(interval >> 8), static_cast<uint8_t>(interval)});
}

StreamBuilder& StreamBuilder::Scan(const std::vector<ScanComponent>& components) {
    std::vector<uint8_t> payload = {static_cast<uint8_t>(components.size())};
    for (const ScanComponent& c : components)
        payload.insert(payload.end(), {c.id, static_cast<uint8_t>((c.dcTable << 4) | c.acTable)});
    payload.insert(payload.end(), {0, 63, 0});
    return Segment(0xDA, payload);
}

StreamBuilder& StreamBuilder::Raw(const std::vector<uint8_t>& data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

void EntropyWriter::Bits(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((value >> i) & 1);
        if (++bits_ == 8) {
            const uint8_t byte = static_cast<uint8_t>(acc_);
            bytes.push_back(byte);
            if (byte == 0xFF) bytes.push_back(0x00);
            acc_ = 0;
            bits_ = 0;
        }
    }
}

void EntropyWriter::Symbol(const StandardHuffmanTable& table, uint8_t symbol) {
    uint32_t code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < table.counts[length - 1]; ++i, ++k, ++code) {
            if (table.values[k] == symbol) {
                Bits(code, length);
                return;
            }
        }
        code <<= 1;
    }
}

void EntropyWriter::DcOnlyBlock(int diff, const StandardHuffmanTable& dc, const StandardHuffmanTable& ac) {
    int size = 0;
    for (int a = diff < 0 ? -diff : diff; a; a >>= 1) ++size;
    Symbol(dc, static_cast<uint8_t>(size));
    if (size) Bits(static_cast<uint32_t>(diff < 0 ? diff + (1 << size) - 1 : diff), size);
    Symbol(ac, 0x00);
}

void EntropyWriter::Flush() {
    if (bits_) Bits(0xFF, 8 - bits_);
}

void EntropyWriter::Restart(int n) {
    Flush();
    bytes.insert(bytes.end(), {0xFF, static_cast<uint8_t>(0xD0 + (n & 7))});
}

std::vector<uint8_t> DcOnlyPicture(uint16_t width, uint16_t height, bool colour, uint8_t lumaH, uint8_t lumaV,
                                   int (*dcOf)(int component, int mcu), uint16_t restartInterval, bool endOfImage) {
    StreamBuilder s;
    s.Soi().Jfif().QuantTable(0, 1).QuantTable(1, 1);
    if (colour)
        s.Frame(width, height, {{1, lumaH, lumaV, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}});
    else
        s.Frame(width, height, {{1, 1, 1, 0}});
    s.StandardHuffmanTables();
    if (restartInterval) s.RestartInterval(restartInterval);
    if (colour)
        s.Scan({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}});
    else
        s.Scan({{1, 0, 0}});

    const int mcuW = colour ? 8 * lumaH : 8, mcuH = colour ? 8 * lumaV : 8;
    const int mcus = ((width + mcuW - 1) / mcuW) * ((height + mcuH - 1) / mcuH);
    EntropyWriter w;
    int pred[3] = {};
    for (int m = 0, restarts = 0; m < mcus; ++m) {
        if (restartInterval && m > 0 && m % restartInterval == 0) {
            w.Restart(restarts++);
            pred[0] = pred[1] = pred[2] = 0;
        }
        const int comps = colour ? 3 : 1;
        for (int c = 0; c < comps; ++c) {
            const int blocks = c == 0 && colour ? lumaH * lumaV : 1;
            const StandardHuffmanTable& dc = c == 0 ? kDcLuminance : kDcChrominance;
            const StandardHuffmanTable& ac = c == 0 ? kAcLuminance : kAcChrominance;
            for (int b = 0; b < blocks; ++b) {
                const int value = dcOf(c, m);
                w.DcOnlyBlock(value - pred[c], dc, ac);
                pred[c] = value;
            }
        }
    }
    w.Flush();
    s.Raw(w.bytes);
    if (endOfImage) s.Eoi();
    return s.bytes;
}

}  // namespace vcdalbum::codec::testing
