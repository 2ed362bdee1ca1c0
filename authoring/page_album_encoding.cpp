// Menu pages and albums: each becomes one MPEG stream in the temporary
// directory at once, through the stream encoder component.
#include <string>
#include <vector>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/stream_encoder.h"
#include "vcdalbum/StreamInfo.h"
#include "platform/temp_dir.h"
#include "authoring/album_encoding.h"
#include "authoring/album_motion.h"
#include "authoring/video_standard_choice.h"
#include "vcdalbum/Authoring.h"
#include "vcdalbum/transitions.h"

namespace vcdalbum::authoring {
namespace {

constexpr float kMenuPictureSeconds = 0.5f;
// Album entries carry one frame time each; the encoder gives the pictures
// their real display time from option5.
constexpr float kFrameSeconds = 1.0f / 30.0f;

constexpr int32_t kOption1 = 2;
constexpr int32_t kOption2 = 1;
constexpr int32_t kOption3 = 6;
constexpr int32_t kMenuOption4 = 2;

// The fields a menu page and an album fill alike. `pictures` is the
// null-terminated list, with one entry of `times` per picture.
StreamInfo StreamRecord(std::vector<char*>& pictures, std::vector<float>& times, char** extra, int32_t extraCount,
                        std::string& output, int32_t option4, ProgressCallBack callBack) {
    StreamInfo info{};
    info.pictureFiles = pictures.data();
    info.pictureCount = static_cast<int32_t>(times.size());
    info.pictureTimes = times.data();
    info.extraFiles = extra;
    info.extraCount = extraCount;
    info.outputFile = output.data();
    info.option1 = kOption1;
    info.option2 = kOption2;
    info.option3 = kOption3;
    info.option4 = option4;
    info.callBack = callBack;
    return info;
}

}  // namespace

AlbumRequest Normalised(AlbumRequest request) {
    if (request.option5 < kAlbumMinimumSecondsPerPicture) request.option5 = kAlbumMinimumSecondsPerPicture;
    if (request.pictures == nullptr) request.pictureCount = 0;
    if (request.transitionPositions == nullptr || request.transitionEffects == nullptr) request.transitionCount = 0;
    return request;
}

bool HasFollowingPicture(const AlbumRequest& request, unsigned short k) {
    return static_cast<unsigned>(request.transitionPositions[k]) + 1 < request.pictureCount;
}

std::vector<std::string> CompleteFrames(bool rendered, char* const* names) {
    if (!rendered) return {};
    for (int i = 0; i < vcdalbum::TransitionFrames; ++i) {
        std::error_code ec;
        if (names[i] == nullptr || !std::filesystem::is_regular_file(names[i], ec)) return {};
    }
    return {names, names + vcdalbum::TransitionFrames};
}

int TransitionPercent(unsigned done, unsigned count) {
    return static_cast<int>(static_cast<double>(done) / count * 100.0);
}

uint16_t StandardOption(uint16_t hostOption6, const video::VideoStandard& standard) {
    return standard == video::kNtsc ? hostOption6 : video::StreamOption(standard);
}

std::string EncodeAlbum(const AlbumRequest& request, std::vector<std::vector<std::string>>& frames,
                        ProgressCallBack encoderProgress, const video::VideoStandard& standard,
                        const AlbumMotion* motion) {
    std::vector<char*> extra;
    if (request.extraFiles != nullptr) extra.assign(request.extraFiles, request.extraFiles + request.extraCount);
    extra.push_back(nullptr);
    std::vector<char*> album(request.pictures, request.pictures + request.pictureCount);
    std::vector<int> entries;  // which of the request's pictures each entry shows; -1: a transition frame
    for (int i = 0; i < request.pictureCount; ++i) entries.push_back(i);

    // Last to first, so that ascending positions still name the host's
    // pictures when their frames go in.
    for (int k = static_cast<int>(frames.size()) - 1; k >= 0; --k) {
        if (frames[k].empty()) continue;
        const size_t at = std::min<size_t>(static_cast<size_t>(request.transitionPositions[k]) + 1, album.size());
        std::vector<char*> names;
        for (std::string& name : frames[k]) names.push_back(name.data());
        album.insert(album.begin() + static_cast<std::ptrdiff_t>(at), names.begin(), names.end());
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), names.size(), -1);
    }
    std::vector<float> times(album.size(), kFrameSeconds);
    album.push_back(nullptr);

    std::string output = vcdalbum::platform::TempPath("album" + std::to_string(request.albumNo) + ".mpg");

    StreamInfo info =
        StreamRecord(album, times, extra.data(), request.extraCount, output, request.option4, encoderProgress);
    info.option5 = request.option5;
    info.option6 = StandardOption(request.option6, standard);
    info.sourceCount = request.pictureCount;
    if (motion != nullptr && motion->kind == kAlbumMotionPanZoom) {
        const StreamMotionRecord moving(*motion, request, entries);
        vcdalbum::platform::CallStreamEncodeMoving(&info, moving.get());
    } else {
        vcdalbum::platform::CallStreamEncode(&info);
    }
    return output;
}

}  // namespace vcdalbum::authoring

using namespace vcdalbum::authoring;

int Authoring::AppendMenuPage(unsigned short menuNo, char** pictures, char** extraFiles) {
    // Only the first music file counts for a page; a null list means none.
    char* extra[2] = {extraFiles != nullptr ? extraFiles[0] : nullptr, nullptr};

    std::vector<std::string> names;
    for (char** p = pictures; p != nullptr && *p != nullptr; ++p) names.emplace_back(*p);
    std::vector<char*> pictureFiles;
    for (std::string& name : names) pictureFiles.push_back(name.data());
    pictureFiles.push_back(nullptr);
    std::vector<float> times(names.size(), kMenuPictureSeconds);

    std::string output = vcdalbum::platform::TempPath("menu" + std::to_string(menuNo) + ".mpg");

    StreamInfo info = StreamRecord(pictureFiles, times, extra, 1, output, kMenuOption4, nullptr);
    info.option6 = StandardOption(0, StandardOf(*this));
    // The encoder's result is not looked at: callers rely on 0, and the
    // component reports its own failures and leaves no file behind.
    vcdalbum::platform::CallStreamEncode(&info);

    menuFiles.push_back(output);
    ++menuCount;
    return 0;
}

int Authoring::AppendAlbum(unsigned short, unsigned short albumNo, unsigned short pictureCount, char** pictures,
                           unsigned short extraCount, char** extraFiles, unsigned short option4,
                           unsigned short option5, unsigned short option6, unsigned short transitionCount,
                           unsigned short* transitionPositions, unsigned short* transitionEffects) {
    AlbumRequest request;
    request.albumNo = albumNo;
    request.pictureCount = pictureCount;
    request.pictures = pictures;
    request.extraCount = extraCount;
    request.extraFiles = extraFiles;
    request.option4 = option4;
    request.option5 = option5;
    request.option6 = option6;
    request.transitionCount = transitionCount;
    request.transitionPositions = transitionPositions;
    request.transitionEffects = transitionEffects;
    request = Normalised(request);

    const ProgressCallBack callBack = progressCallBack;
    // Each transition keeps its own copy of the frame names: the object's
    // slots are reused by the next transition.
    std::vector<std::vector<std::string>> frames(request.transitionCount);
    for (unsigned short k = 0; k < request.transitionCount; ++k) {
        if (!HasFollowingPicture(request, k)) continue;
        const unsigned p = request.transitionPositions[k];
        const bool rendered = GetTransitionEffect(pictures[p], pictures[p + 1], transitionEffects[k], frameFiles) == 0;
        frames[k] = CompleteFrames(rendered, frameFiles);
        if (callBack != nullptr) callBack(TransitionPercent(k + 1u, request.transitionCount));
    }

    albumFiles.push_back(EncodeAlbum(request, frames, callBack, StandardOf(*this)));
    ++albumCount;
    return 0;
}
