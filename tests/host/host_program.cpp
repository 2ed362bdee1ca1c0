// A host program as developers write one: the public headers only, linked
// with the library's import library (or shared object) and nothing else of
// ours. It runs every check twice: on the stack the compiler keeps, and, in
// the build made with -mpreferred-stack-boundary=2 (Windows hosts may call
// in on stacks aligned to 4 bytes only), on stacks deliberately shifted by 4,
// 8 and 12 bytes, so that the library's entry points meet every alignment.
// Exit status 0 when every check holds; each failure is printed.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#  include <malloc.h>
#  include <windows.h>
#else
#  include <alloca.h>
#  include <dlfcn.h>
#endif

#include "vcdalbum/Authoring.h"
#include "vcdalbum/VRX_Burner.h"
#include "vcdalbum/codec.h"
#include "vcdalbum/transitions.h"

namespace {

using vcdalbum::TransitionEffectCount;
using vcdalbum::TransitionFrames;

int g_failures = 0;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++g_failures;                                                                 \
        }                                                                                 \
    } while (0)

// ---- the recording components, as the library loaded them ----

std::string Recorded(const char* module, const char* what) {
    using Fn = const char* (*)(const char*);
#if defined(_WIN32)
    HMODULE handle = GetModuleHandleA(module);
    Fn fn = handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, "RecordedText"))) : nullptr;
#else
    void* handle = dlopen(module, RTLD_NOW | RTLD_NOLOAD);
    Fn fn = handle ? reinterpret_cast<Fn>(dlsym(handle, "RecordedText")) : nullptr;
    if (handle) dlclose(handle);
#endif
    if (!fn) return std::string(module).append(" is not loaded");
    return fn(what);
}
#if defined(_WIN32)
constexpr char kBurnerModule[] = "QelBurner.dll";
constexpr char kEncoderModule[] = "VRXStream.dll";
constexpr char kSep = '\\';
#else
constexpr char kBurnerModule[] = "libqelburner.so";
constexpr char kEncoderModule[] = "libvrxstream.so";
constexpr char kSep = '/';
#endif

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

void ExpectLines(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    CHECK(got == want);
    if (got == want) return;
    for (size_t i = 0; i < got.size() || i < want.size(); ++i)
        std::fprintf(stderr, "  %-3zu got %-50s want %s\n", i, i < got.size() ? got[i].c_str() : "-",
                     i < want.size() ? want[i].c_str() : "-");
}

// ---- the two classes: lifetime and a whole burn ----

char g_picture[] = "picture.jpg";
char* g_pictures[] = {g_picture, nullptr};

Authoring Disc() {
    Authoring a;
    for (unsigned short m = 0; m < 2; ++m) {
        CHECK(a.AppendMenuPage(m, g_pictures, nullptr) == 0);
        CHECK(a.SetAlbumNoPerMenu(m, m == 0 ? 2 : 1) == 0);
    }
    for (unsigned short i = 0; i < 3; ++i)
        CHECK(a.AppendAlbum(0, i, 1, g_pictures, 0, nullptr, 0, 0, 0, 0, nullptr, nullptr) == 0);
    return a;
}

void BurnsTheWholeDisc(const std::string& temp) {
    Recorded(kBurnerModule, "clear");
    Recorded(kEncoderModule, "clear");
    Authoring original = Disc();
    CHECK(original.SetAlbumNoPerMenu(256, 1) != 0);  // outside the menu table
    CHECK(original.SetVideoStandard(VCD_VIDEO_PAL) == 0);

    // The copies own their own frame names and tables: each may go first.
    Authoring* copy = new Authoring(original);
    char name[] = "Host Disc";
    Authoring named(name);
    named = *copy;
    delete copy;
    {
        Authoring scratch;
        scratch = named;
        scratch = scratch;
        CHECK(scratch.GetVideoStandard() == VCD_VIDEO_PAL);
    }
    named = original;
    original = Authoring();  // the original's state goes first
    CHECK(original.GetVideoStandard() == VCD_VIDEO_NTSC);

    const std::string in = temp + kSep;
    const std::vector<std::string> streams = Lines(Recorded(kEncoderModule, "streams"));
    ExpectLines(streams, {in + "menu0.mpg", in + "menu1.mpg", in + "album0.mpg", in + "album1.mpg", in + "album2.mpg"});

    CHECK(named.StartBurning(1, 8, 0, 0) == 0);
    ExpectLines(Lines(Recorded(kBurnerModule, "calls")),
                {"NewProject(4)", "SetProjectName(81, VRX_Burner)",
                 "AddSequence(81, default, " + in + "EnablePbcPAL.mpg, defaultentry)",
                 "AddSequence(81, MenuItem0, " + in + "menu0.mpg, 0)",
                 "AddSequence(81, AlbumItem0, " + in + "album0.mpg, 0)",
                 "AddSequence(81, AlbumItem1, " + in + "album1.mpg, 1)",
                 "AddSequence(81, MenuItem1, " + in + "menu1.mpg, 1)",
                 "AddSequence(81, AlbumItem2, " + in + "album2.mpg, 2)", "AddPbcNode(81, Menu0)",
                 "AddPbcNode(81, Menu1)", "AddPbcNode(81, Album0)", "AddPbcNode(81, Album1)",
                 "AddPbcNode(81, Album2)", "OpenDrive(1)", "BuildProject(81)", "GetMaxWriteSpeed(1)",
                 "SetupRecorder()", "StartRecording(1)", "EndRecording()", "UnlockDrive(1)", "StopDrive(1)",
                 "UnlockDrive(1)", "EjectMedia(1)", "CloseProject(81)"});
    CHECK(Recorded(kBurnerModule, "live") == "0");  // the run released every component object
}

void BurnerObjectsShareTheirSession() {
    Recorded(kBurnerModule, "clear");
    {
        VRX_Burner first;
        unsigned char name[] = "Host";
        CHECK(first.init(4, name) == VRX_OK);
        VRX_Burner second(first);
        VRX_Burner third;
        third = second;
        third = third;
        char id[] = "Album0";
        _pbc_t* node = second.getPlayListNode(id);
        CHECK(node != nullptr);
        if (node) {
            char item[] = "AlbumItem0";
            CHECK(third.addPlayItemID(node, item) == VRX_OK);
            CHECK(first.AddNode(node) == VRX_OK);
        }
    }
    const std::vector<std::string> calls = Lines(Recorded(kBurnerModule, "calls"));
    CHECK(!calls.empty() && calls.front() == "NewProject(4)");
    CHECK(!calls.empty() && calls.back().rfind("CloseProject(", 0) == 0);  // closed once, by the last copy
    int closes = 0;
    for (const auto& call : calls) closes += call.rfind("CloseProject(", 0) == 0;
    CHECK(closes == 1);
    CHECK(Recorded(kBurnerModule, "live") == "0");
}

// ---- codec and transitions, sequentially and on two threads ----

uint64_t Hash(const uint8_t* p, size_t n, uint64_t h = 1469598103934665603ull) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}
uint64_t Hash(const Image& image) { return Hash(image.data, size_t(image.imageSize), image.width * 31 + image.height); }

Image Pattern(uint32_t width, uint32_t height, int seed) {
    Image image{};
    CHECK(vcdalbum::AllocateImage(image, width, height));
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < 3 * width; ++x)
            image.data[y * ImageStride(width) + x] = uint8_t((x * (seed + 3) + y * 7 + (x / 3) * (y / 5) * seed) & 0xff);
    return image;
}

// One job: a JPEG round trip, a rescale and frames of one effect; the hash
// of everything it made.
uint64_t Job(unsigned effect) {
    Image first = Pattern(352, 240, 1 + int(effect % 5));
    Image second = Pattern(200, 150, 7);
    std::vector<uint8_t> jpeg;
    uint64_t h = 0;
    if (vcdalbum::EncodeJpeg(first, jpeg).ok()) {
        h = Hash(jpeg.data(), jpeg.size());
        Image decoded{};
        CHECK(vcdalbum::DecodeJpeg(jpeg, decoded).ok());
        if (decoded.data) h = Hash(decoded) ^ (h << 1);
        vcdalbum::ReleaseImage(decoded);
    } else {
        CHECK(!"EncodeJpeg");
    }
    Image scaled{};
    CHECK(vcdalbum::ScaleImage(second, 352, 240, scaled));
    for (int frame : {1, 10, TransitionFrames}) {
        Image result{};
        const vcdalbum::TransitionResult r = vcdalbum::RenderTransition(first, scaled, effect, frame, result);
        CHECK(r.ok());
        if (result.data) h = Hash(result) ^ (h * 3);
        vcdalbum::ReleaseImage(result);
    }
    CHECK(vcdalbum::TransitionEffectName(effect) != nullptr);
    vcdalbum::ReleaseImage(first);
    vcdalbum::ReleaseImage(second);
    vcdalbum::ReleaseImage(scaled);
    return h;
}

void CodecAndTransitionsOnTwoThreads(const std::function<void(const std::function<void()>&)>& onStack) {
    CHECK(vcdalbum::TransitionEffectNames().size() == size_t(TransitionEffectCount));
    std::vector<uint64_t> alone(TransitionEffectCount);
    for (unsigned e = 0; e < unsigned(TransitionEffectCount); ++e) alone[e] = Job(e);
    std::vector<uint64_t> together(TransitionEffectCount);
    std::atomic<unsigned> next{0};
    auto worker = [&] {
        onStack([&] {
            for (unsigned e; (e = next++) < unsigned(TransitionEffectCount);) together[e] = Job(e);
        });
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    CHECK(together == alone);
    CHECK(std::set<uint64_t>(alone.begin(), alone.end()).size() == alone.size());  // every effect drew its own frames
}

// ---- stack shifting ----

std::mutex g_seenLock;
std::set<uintptr_t> g_seenAlignments;

// Where the frames below the caller's start, modulo 16.
__attribute__((noinline)) void NoteAlignment() {
    volatile int marker = 0;
    std::lock_guard lock(g_seenLock);
    g_seenAlignments.insert(reinterpret_cast<uintptr_t>(&marker) % 16);
}

__attribute__((noinline)) void Shifted(unsigned bytes, const std::function<void()>& body) {
    // With -mpreferred-stack-boundary=2 an alloca of 4, 8 or 12 bytes moves
    // every frame below by that much modulo 16; with the usual boundary the
    // compiler rounds it away, which is just as right.
    volatile char* pad = static_cast<volatile char*>(alloca(bytes));
    pad[0] = 0;
    NoteAlignment();
    body();
    pad[0] = 1;
}

void SetEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s TEMP-FOLDER\n", argv[0]);
        return 2;
    }
    // The streams are named in TEMP; the recorder writes none of them.
    SetEnv("TEMP", argv[1]);
    const bool shifting = HOST_SHIFTS_STACK;
    for (unsigned shift : shifting ? std::vector<unsigned>{4, 8, 12, 16} : std::vector<unsigned>{16}) {
        Shifted(shift, [&] {
            BurnsTheWholeDisc(argv[1]);
            BurnerObjectsShareTheirSession();
        });
        CodecAndTransitionsOnTwoThreads([shift](const std::function<void()>& body) { Shifted(shift, body); });
    }
    if (shifting && g_seenAlignments.size() < 4) {
        std::fprintf(stderr, "the stack was not shifted (%zu alignments seen): the check proves nothing\n",
                     g_seenAlignments.size());
        ++g_failures;
    }
    std::printf("%s: %d failed checks\n", argv[0], g_failures);
    return g_failures == 0 ? 0 : 1;
}
