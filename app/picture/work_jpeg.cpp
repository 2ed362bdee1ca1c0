#include "picture/work_jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

extern "C" {
#include <jpeglib.h>
}

#include "console/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

// libjpeg reports errors by calling error_exit, which must not return.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
    auto* self = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, self->text);
    std::longjmp(self->jump, 1);
}

// Encodes into memory: nothing touches the file system until the whole
// picture is coded. Returns an empty text on success.
std::string Encode(const Image& image, unsigned char** bytes, unsigned long* size) {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return errors.text;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, bytes, size);
    info.image_width = image.width;
    info.image_height = image.height;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    // Full-resolution chroma: one sample of each component per pixel.
    for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&info, TRUE);
    const size_t stride = ImageStride(image.width);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = image.data + info.next_scanline * stride;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::string();
}

}  // namespace

void WriteWorkJpeg(const Image& image, const fs::path& out) {
    if (!image.data || image.width == 0 || image.height == 0)
        throw RunError(out.string() + ": cannot write the picture (it has no pixels)");
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    const std::string error = Encode(image, &bytes, &size);
    struct Free {
        unsigned char* p;
        ~Free() { std::free(p); }
    } owner{bytes};
    if (!error.empty()) throw RunError(out.string() + ": cannot write the picture (" + error + ")");

    fs::path temp = out;
    temp += ".part";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
        file.close();
        if (!file) {
            std::error_code ec;
            fs::remove(temp, ec);
            throw RunError(out.string() + ": cannot write the picture");
        }
    }
    std::error_code ec;
    fs::rename(temp, out, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw RunError(out.string() + ": cannot write the picture (" + ec.message() + ")");
    }
}

}  // namespace vcdalbum::host
