#include "app/heif_writer.h"

#include <gtest/gtest.h>

namespace vcdalbum::testing {
namespace fs = std::filesystem;

OwnedImage Marked(uint32_t w, uint32_t h) {
    OwnedImage img = OwnedImage::Black(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            unsigned char* p = img.row(y) + 3 * x;
            if (y < h / 4) p[1] = 255;
            else if (x < w / 2) p[2] = 255;
            else p[0] = 255;
        }
    return img;
}

void WriteHeif(const fs::path& file, const OwnedImage& stored, heif_compression_format format, int orientation,
               const std::vector<uint8_t>& exif) {
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(ctx, format, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_image* image = nullptr;
    const int w = static_cast<int>(stored.width()), h = static_cast<int>(stored.height());
    ASSERT_EQ(heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code, heif_error_Ok);
    ASSERT_EQ(heif_image_add_plane(image, heif_channel_interleaved, w, h, 8).code, heif_error_Ok);
    int stride = 0;
    uint8_t* rgb = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* bgr = stored.row(static_cast<uint32_t>(y)) + 3 * x;
            uint8_t* p = rgb + static_cast<ptrdiff_t>(y) * stride + 3 * x;
            p[0] = bgr[2], p[1] = bgr[1], p[2] = bgr[0];
        }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(orientation);
    heif_image_handle* handle = nullptr;
    ASSERT_EQ(heif_context_encode_image(ctx, image, encoder, options, &handle).code, heif_error_Ok);
    if (!exif.empty()) {
        ASSERT_EQ(heif_context_add_exif_metadata(ctx, handle, exif.data(), static_cast<int>(exif.size())).code,
                  heif_error_Ok);
    }
    ASSERT_EQ(heif_context_write_to_file(ctx, file.c_str()).code, heif_error_Ok);
    heif_image_handle_release(handle);
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
}

}  // namespace vcdalbum::testing
