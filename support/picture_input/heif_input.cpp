#include "heif_input.h"

#include "jpeg_check.h"

#include <libexif/exif-data.h>
#include <libheif/heif.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace vcdalbum::components::picture_input {
namespace {

using Kind = Problem::Kind;

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct ExifFree {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};
using ContextPtr = std::unique_ptr<heif_context, ContextFree>;
using HandlePtr = std::unique_ptr<heif_image_handle, HandleFree>;
using ImagePtr = std::unique_ptr<heif_image, ImageFree>;

// libheif registers its decoders on first use; pictures are read on several
// threads at once, so that happens here, once, before any of them.
void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

// libheif's messages name its own internals ("No 'ipma' box"); a person is
// told what it means for them.
Problem FromHeif(const heif_error& error) {
    // libheif's own size limit, past ours, comes as a memory error: it is
    // the file that is at fault.
    if (error.subcode == heif_suberror_Security_limit_exceeded)
        return Fail(Kind::kTooLarge, "picture is too large (past the limits of libheif)");
    switch (error.code) {
        case heif_error_Input_does_not_exist: return Fail(Kind::kNotFound, "picture not found");
        case heif_error_Memory_allocation_error: return Fail(Kind::kOutOfMemory, "out of memory");
        case heif_error_Unsupported_filetype:
        case heif_error_Unsupported_feature:
            return Fail(Kind::kUnsupported, "HEIF picture of a kind that cannot be read");
        default: return Fail(Kind::kDamaged, "damaged HEIF picture");
    }
}

// The file's structure and its primary picture's handle, without its pixels.
Problem OpenPrimary(const std::string& path, ContextPtr& context, HandlePtr& handle) {
    InitOnce();
    context.reset(heif_context_alloc());
    if (!context) return Fail(Kind::kOutOfMemory, "out of memory");
    // Pictures are decoded side by side already, one per thread.
    heif_context_set_max_decoding_threads(context.get(), 0);
    heif_error error = heif_context_read_from_file(context.get(), path.c_str(), nullptr);
    if (error.code != heif_error_Ok) return FromHeif(error);
    heif_image_handle* raw = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &raw);
    if (error.code != heif_error_Ok) return FromHeif(error);
    handle.reset(raw);
    return Problem{};
}

// EXIF DateTimeOriginal from a HEIF Exif block: four bytes giving the offset
// of the TIFF header after them, then the TIFF-structured tags.
bool IsTiffHeader(const uint8_t* p, size_t size) {
    return size >= 8 && (std::memcmp(p, "II*\0", 4) == 0 || std::memcmp(p, "MM\0*", 4) == 0);
}

std::string ExifDate(const std::vector<uint8_t>& block) {
    if (block.size() < 4) return {};
    const uint32_t stated = uint32_t{block[0]} << 24 | uint32_t{block[1]} << 16 | uint32_t{block[2]} << 8 | block[3];
    size_t offset = stated;
    // Some writers state the offset wrongly; the header is then looked for
    // near the start.
    if (offset > block.size() - 4 || !IsTiffHeader(block.data() + 4 + offset, block.size() - 4 - offset)) {
        offset = 0;
        while (offset < 64 && offset < block.size() - 4 && !IsTiffHeader(block.data() + 4 + offset, block.size() - 4 - offset))
            ++offset;
        if (offset == 64 || offset >= block.size() - 4) return {};
    }
    const uint8_t* tiff = block.data() + 4 + offset;
    const size_t size = block.size() - 4 - offset;
    // libexif wants the JPEG segment's own header in front.
    std::vector<uint8_t> segment = {'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff, tiff + size);
    const std::unique_ptr<ExifData, ExifFree> data(
        exif_data_new_from_data(segment.data(), static_cast<unsigned int>(segment.size())));
    if (!data) return {};
    const ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_DATE_TIME_ORIGINAL);
    if (entry == nullptr || entry->format != EXIF_FORMAT_ASCII || entry->data == nullptr) return {};
    const auto* text = reinterpret_cast<const char*>(entry->data);
    return std::string(text, strnlen(text, entry->size));
}

std::string TakenDateOf(const heif_image_handle* handle) {
    heif_item_id ids[4];
    const int n = heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", ids, 4);
    for (int i = 0; i < n; ++i) {
        std::vector<uint8_t> block(heif_image_handle_get_metadata_size(handle, ids[i]));
        if (block.empty() || heif_image_handle_get_metadata(handle, ids[i], block.data()).code != heif_error_Ok) continue;
        std::string date = ExifDate(block);
        if (!date.empty()) return date;
    }
    return {};
}

std::string SizeText(int64_t width, int64_t height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

bool IsHeifFile(const std::string& path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    uint8_t head[12];
    if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return false;
    // Without its file-type box at the start, libheif reads nothing anyway.
    if (std::memcmp(head + 4, "ftyp", 4) != 0) return false;
    const heif_filetype_result kind = heif_check_filetype(head, sizeof head);
    return kind == heif_filetype_yes_supported || kind == heif_filetype_yes_unsupported;
}

FramePtr DecodeHeifPicture(const std::string& path, Problem& problem, const DecodeOptions& options) {
    ContextPtr context;
    HandlePtr handle;
    if ((problem = OpenPrimary(path, context, handle))) return nullptr;
    // The handle's size is the one shown, after its transforms, and is known
    // from the file's boxes alone.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0) {
        problem = Fail(Kind::kDamaged, "picture has no size");
        return nullptr;
    }
    const int64_t pixels = int64_t{width} * height;
    if (options.maxPixels > 0 && pixels > options.maxPixels) {
        problem = Fail(Kind::kTooLarge, "picture of " + SizeText(width, height) + " pixels is too large");
        return nullptr;
    }

    const std::unique_ptr<heif_decoding_options, OptionsFree> decoding(heif_decoding_options_alloc());
    if (!decoding) {
        problem = Fail(Kind::kOutOfMemory, "out of memory");
        return nullptr;
    }
    decoding->ignore_transformations = 0;
    decoding->convert_hdr_to_8bit = 1;
    decoding->strict_decoding = options.refuseDamaged ? 1 : 0;
    heif_image* raw = nullptr;
    const heif_error error =
        heif_decode_image(handle.get(), &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGB, decoding.get());
    const ImagePtr image(raw);
    if (error.code != heif_error_Ok) {
        problem = FromHeif(error);
        return nullptr;
    }
    int stride = 0;
    const uint8_t* rgb = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    // A grid whose tiles disagree with its declared size is cut or padded by
    // libheif; a picture larger than declared would have slipped the limit.
    if (rgb == nullptr || w <= 0 || h <= 0 || int64_t{w} * h > pixels) {
        problem = Fail(Kind::kDamaged, "damaged HEIF picture");
        return nullptr;
    }
    FramePtr frame = AllocFrame(AV_PIX_FMT_RGB24, w, h);
    if (!frame) {
        problem = Fail(Kind::kOutOfMemory, "out of memory");
        return nullptr;
    }
    for (int y = 0; y < h; ++y)
        std::memcpy(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0],
                    rgb + static_cast<ptrdiff_t>(y) * stride, 3 * static_cast<size_t>(w));
    frame->color_range = AVCOL_RANGE_JPEG;
    const std::string date = TakenDateOf(handle.get());
    if (!date.empty()) av_dict_set(&frame->metadata, "DateTimeOriginal", date.c_str(), 0);
    problem = Problem{};
    return frame;
}

std::string HeifTakenDate(const std::string& path) {
    ContextPtr context;
    HandlePtr handle;
    if (OpenPrimary(path, context, handle)) return {};
    return TakenDateOf(handle.get());
}

}  // namespace vcdalbum::components::picture_input
