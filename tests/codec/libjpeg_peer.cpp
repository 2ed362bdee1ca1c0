#include "libjpeg_peer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include <csetjmp>
#include <jpeglib.h>

namespace vcdalbum::codec::testing {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1); }
void Quiet(j_common_ptr, int) {}

}  // namespace

PeerPicture PeerDecode(const std::vector<uint8_t>& jpeg) {
    PeerPicture picture;
    jpeg_decompress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnError;
    error.base.emit_message = Quiet;
    jpeg_create_decompress(&info);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return PeerPicture{};
    }
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = FALSE;
    if (info.num_components == 3) info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    const int channels = info.output_components;
    std::vector<uint8_t> row(static_cast<size_t>(picture.width) * channels);
    picture.rgb.reserve(static_cast<size_t>(picture.width) * picture.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (int x = 0; x < picture.width; ++x)
            for (int c = 0; c < 3; ++c) picture.rgb.push_back(row[static_cast<size_t>(x) * channels + (channels == 3 ? c : 0)]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    picture.ok = true;
    return picture;
}

std::vector<uint8_t> PeerEncode(const std::vector<uint8_t>& pixels, int width, int height, int components, int quality,
                                int h, int v, int restartInterval) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (components == 3) {
        info.comp_info[0].h_samp_factor = h;
        info.comp_info[0].v_samp_factor = v;
    }
    info.restart_interval = static_cast<unsigned int>(restartInterval);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row[1] = {const_cast<uint8_t*>(pixels.data()) + static_cast<size_t>(info.next_scanline) * width * components};
        jpeg_write_scanlines(&info, row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool HaveJpegtran() { return std::system("jpegtran -version >/dev/null 2>&1") == 0; }

std::vector<uint8_t> Jpegtran(const std::string& args, const std::vector<uint8_t>& input) {
    const std::string base = std::string(VCDALBUM_BINARY_DIR) + "/jpegtran_" + std::to_string(::getpid());
    const std::string in = base + ".in.jpg", out = base + ".out.jpg";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    std::vector<uint8_t> result;
    if (std::system(("jpegtran " + args + " -outfile '" + out + "' '" + in + "' 2>/dev/null").c_str()) == 0)
        result = ReadFileBytes(out);
    std::remove(in.c_str());
    std::remove(out.c_str());
    return result;
}

}  // namespace vcdalbum::codec::testing
