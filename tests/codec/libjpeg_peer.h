// libjpeg-turbo as the peer of the codec's tests and benchmarks (never the
// library): decoding with warnings counted, encoding at a given quality and
// sampling, and encoding with the same quantisers, sampling and DCT as our
// encoder.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace libjpeg_peer {

struct Decoded {
    bool ok = false;
    int width = 0;
    int height = 0;
    int components = 0;
    int warnings = 0;
    unsigned scanlines = 0;  // rows actually delivered
    std::string message;     // first warning or the error
    std::vector<uint8_t> pixels;  // RGB or grey, rows packed
};

namespace detail {

struct ErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    int warnings;
    char message[JMSG_LENGTH_MAX];
};

inline void ErrorExit(j_common_ptr cinfo) {
    auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, e->message);
    std::longjmp(e->jump, 1);
}

inline void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (e->warnings++ == 0) cinfo->err->format_message(cinfo, e->message);
    cinfo->err->num_warnings++;
}

}  // namespace detail

// `fancyUpsampling` false makes libjpeg-turbo replicate chroma samples, as
// our decoder does.
inline Decoded Decode(const std::vector<uint8_t>& jpeg, bool fancyUpsampling = true) {
    // On the heap: automatic variables changed after setjmp are not reliable
    // after the longjmp of an error.
    auto owned = std::make_unique<Decoded>();
    Decoded& result = *owned;
    jpeg_decompress_struct cinfo;
    detail::ErrorManager err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = detail::ErrorExit;
    err.mgr.emit_message = detail::EmitMessage;
    err.warnings = 0;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        result.message = err.message;
        jpeg_destroy_decompress(&cinfo);
        result.ok = false;
        return std::move(result);
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = fancyUpsampling ? TRUE : FALSE;
    jpeg_start_decompress(&cinfo);
    result.width = static_cast<int>(cinfo.output_width);
    result.height = static_cast<int>(cinfo.output_height);
    result.components = cinfo.output_components;
    result.pixels.resize(static_cast<size_t>(result.width) * result.height * result.components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = result.pixels.data() + static_cast<size_t>(cinfo.output_scanline) * result.width * result.components;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    result.scanlines = cinfo.output_scanline;
    jpeg_finish_decompress(&cinfo);
    result.warnings = static_cast<int>(cinfo.err->num_warnings);
    result.message = err.message;
    jpeg_destroy_decompress(&cinfo);
    result.ok = true;
    return std::move(result);
}

// What the decoder tests compare with: integer IDCT, replicated chroma (as
// our decoder does), RGB with grey expanded to three equal bytes.
struct PeerPicture {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

inline PeerPicture PeerDecode(const std::vector<uint8_t>& jpeg) {
    const Decoded d = Decode(jpeg, false);
    PeerPicture picture;
    if (!d.ok || (d.components != 1 && d.components != 3)) return picture;
    picture.ok = true;
    picture.width = d.width;
    picture.height = d.height;
    if (d.components == 3) {
        picture.rgb = d.pixels;
    } else {
        picture.rgb.reserve(d.pixels.size() * 3);
        for (uint8_t v : d.pixels) picture.rgb.insert(picture.rgb.end(), {v, v, v});
    }
    return picture;
}

namespace detail {

// One compression of `height` rows of `components` bytes a pixel, each from
// `rowAt(y)`, in colour space `space`; `configure` sets the parameters after
// the defaults. False, with `out` untouched, on a libjpeg error.
template <class Configure, class RowAt>
bool Compress(int width, int height, int components, J_COLOR_SPACE space, Configure configure, RowAt rowAt,
              std::vector<uint8_t>& out) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = ErrorExit;
    struct Destination {
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
    };
    auto dest = std::make_unique<Destination>();  // on the heap, as in Decode
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(dest->buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &dest->buffer, &dest->size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    configure(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rowAt(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    out.assign(dest->buffer, dest->buffer + dest->size);
    std::free(dest->buffer);
    return true;
}

}  // namespace detail

// Encodes RGB pixels (or grey with `components` 1) at `quality`, luma
// sampling h x v, with an optional restart interval in MCUs. Empty on failure.
inline std::vector<uint8_t> PeerEncode(const std::vector<uint8_t>& pixels, int width, int height, int components,
                                       int quality, int h, int v, int restartInterval) {
    std::vector<uint8_t> out;
    detail::Compress(
        width, height, components, components == 3 ? JCS_RGB : JCS_GRAYSCALE,
        [&](jpeg_compress_struct& cinfo) {
            jpeg_set_quality(&cinfo, quality, TRUE);
            if (components == 3) {
                cinfo.comp_info[0].h_samp_factor = h;
                cinfo.comp_info[0].v_samp_factor = v;
            }
            cinfo.restart_interval = static_cast<unsigned int>(restartInterval);
        },
        [&](JDIMENSION y) { return pixels.data() + static_cast<size_t>(y) * width * components; }, out);
    return out;
}

// Reads a cjpeg -qtables file: 64 numbers per table, natural order.
inline bool ReadQuantTables(const std::string& path, unsigned int luma[64], unsigned int chroma[64]) {
    std::ifstream in(path);
    for (int i = 0; i < 64; ++i)
        if (!(in >> luma[i])) return false;
    for (int i = 0; i < 64; ++i)
        if (!(in >> chroma[i])) return false;
    return true;
}

// Encodes blue-green-red rows with our encoder's settings: Y 2x1, Cb and Cr
// 1x1, the given tables (natural order), integer DCT, standard Huffman tables.
inline bool EncodeLikeOurs(const uint8_t* bgr, int width, int height, size_t stride, const unsigned int luma[64],
                           const unsigned int chroma[64], std::vector<uint8_t>& out) {
    return detail::Compress(
        width, height, 3, JCS_EXT_BGR,
        [&](jpeg_compress_struct& cinfo) {
            jpeg_set_colorspace(&cinfo, JCS_YCbCr);
            cinfo.comp_info[0].h_samp_factor = 2;
            cinfo.comp_info[0].v_samp_factor = 1;
            cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
            cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
            jpeg_add_quant_table(&cinfo, 0, luma, 100, TRUE);
            jpeg_add_quant_table(&cinfo, 1, chroma, 100, TRUE);
            cinfo.dct_method = JDCT_ISLOW;
            cinfo.optimize_coding = FALSE;
        },
        [&](JDIMENSION y) { return bgr + static_cast<size_t>(y) * stride; }, out);
}

}  // namespace libjpeg_peer
