#include "authoring/video_standard_choice.h"

#include <mutex>
#include <unordered_map>

#include "vcdalbum/Authoring.h"

namespace vcdalbum::authoring {
namespace {

// Objects on several threads may choose and read at once.
struct Choices {
    std::mutex lock;
    std::unordered_map<const Authoring*, const video::VideoStandard*> byObject;
};

// Never destroyed: an Authoring object with static storage may be destroyed
// after this table would be, and forgets its entry then.
Choices& Table() {
    static Choices* const choices = new Choices;
    return *choices;
}

}  // namespace

const video::VideoStandard& StandardOf(const Authoring& object) {
    Choices& t = Table();
    std::lock_guard guard(t.lock);
    const auto found = t.byObject.find(&object);
    return found == t.byObject.end() ? video::kNtsc : *found->second;
}

void ChooseStandard(const Authoring& object, const video::VideoStandard& standard) {
    Choices& t = Table();
    std::lock_guard guard(t.lock);
    if (standard == video::kNtsc)
        t.byObject.erase(&object);
    else
        t.byObject[&object] = &standard;
}

void CopyStandard(const Authoring& from, const Authoring& to) { ChooseStandard(to, StandardOf(from)); }

void ForgetStandard(const Authoring& object) {
    Choices& t = Table();
    std::lock_guard guard(t.lock);
    t.byObject.erase(&object);
}

}  // namespace vcdalbum::authoring

int Authoring::SetVideoStandard(int standard) {
    if (standard != VCD_VIDEO_NTSC && standard != VCD_VIDEO_PAL) return 1;
    vcdalbum::authoring::ChooseStandard(*this, standard == VCD_VIDEO_PAL ? vcdalbum::video::kPal : vcdalbum::video::kNtsc);
    return 0;
}

int Authoring::GetVideoStandard() const {
    return vcdalbum::authoring::StandardOf(*this) == vcdalbum::video::kPal ? VCD_VIDEO_PAL : VCD_VIDEO_NTSC;
}
