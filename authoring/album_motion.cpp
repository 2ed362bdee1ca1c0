#include "authoring/album_motion.h"

#include "codec/picture_files.h"
#include "motion/pan_zoom.h"

namespace vcdalbum::authoring {

bool PictureMoves(const AlbumMotion* motion, const AlbumRequest& request, unsigned index) {
    return motion != nullptr && motion->kind == kAlbumMotionPanZoom && motion->sources != nullptr &&
           index < request.pictureCount && motion->sources[index] != nullptr && motion->sources[index][0] != '\0';
}

OwnedImage MovingFrame(const AlbumMotion& motion, unsigned index, double t, uint32_t width, uint32_t height) {
    OwnedImage source;
    codec::LoadJpegImage(motion.sources[index], &source.get());
    if (!source || source.width() == 0 || source.height() == 0) return OwnedImage();
    OwnedImage frame = OwnedImage::Black(width, height);
    if (!frame) return frame;
    const motion::FrameShape shape = motion::VideoCdFrame(static_cast<int>(width), static_cast<int>(height));
    const motion::PanZoomPath path(motion::PictureSeed(motion.seed, index), static_cast<int>(source.width()),
                                   static_cast<int>(source.height()), shape);
    const motion::MipChain mips(motion::PixelView{source.get().data, ImageStride(source.width()),
                                                  static_cast<int>(source.width()), static_cast<int>(source.height())});
    mips.Sample(path.At(t), shape, frame.get().data, ImageStride(width));
    return frame;
}

StreamMotionRecord::StreamMotionRecord(const AlbumMotion& motion, const AlbumRequest& request,
                                       const std::vector<int>& entries) {
    for (int picture : entries) {
        const bool moves = picture >= 0 && PictureMoves(&motion, request, static_cast<unsigned>(picture));
        sources_.push_back(moves ? motion.sources[picture] : nullptr);
        seeds_.push_back(moves ? motion::PictureSeed(motion.seed, static_cast<uint32_t>(picture)) : 0);
    }
    sources_.push_back(nullptr);
    record_.sourceFiles = sources_.data();
    record_.seeds = seeds_.data();
}

}  // namespace vcdalbum::authoring
