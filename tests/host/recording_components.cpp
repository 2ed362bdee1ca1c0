// The two components as a host machine would have them, replaced by
// recorders: built twice, as QelBurner.dll and VRXStream.dll
// (libqelburner.so, libvrxstream.so), into a folder of their own that the
// host program names through VCDALBUM_COMPONENT_DIR. The library loads them
// as it loads the real ones. The burner copy answers QelCreateObject with
// the recording burner's objects; the encoder copy answers StreamEncode by
// noting the output path and writing nothing. The host program reads the
// recordings through RecordedText.
#include <mutex>
#include <string>

#include "doubles/recording_burner.h"
#include "vcdalbum/StreamInfo.h"

#if defined(_WIN32)
#  define COMPONENT_EXPORT extern "C" __declspec(dllexport)
#else
#  define COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

namespace com = vcdalbum::com;

std::mutex g_lock;
std::string g_streams;  // one output path a line
std::string g_text;     // what RecordedText last returned

vcdalbum::testing::RecordingBurner& Burner() {
    static vcdalbum::testing::RecordingBurner burner;
    return burner;
}

thread_local bool t_creating = false;

}  // namespace

COMPONENT_EXPORT com::HRESULT QelCreateObject(const com::GUID* clsid, const com::GUID* iid, void** object) {
    std::lock_guard lock(g_lock);
    Burner();
    // A class the recorder does not know would send this copy's registry to
    // the component module, which is this one.
    if (t_creating) {
        *object = nullptr;
        return com::REGDB_E_CLASSNOTREG;
    }
    t_creating = true;
    const com::HRESULT hr = com::CoCreateInstance(*clsid, nullptr, com::CLSCTX_INPROC_SERVER, *iid, object);
    t_creating = false;
    return hr;
}

COMPONENT_EXPORT int StreamEncode(StreamInfo* info) {
    std::lock_guard lock(g_lock);
    g_streams += std::string(info->outputFile ? info->outputFile : "(null)") + "\n";
    return 0;
}

// "calls": the burner's calls, one a line, without the addresses that
// change from run to run; "streams": the encoder's output paths; "live": the
// number of burner objects not yet released. Any other name clears both.
COMPONENT_EXPORT const char* RecordedText(const char* what) {
    std::lock_guard lock(g_lock);
    const std::string name = what;
    g_text.clear();
    if (name == "calls") {
        for (auto call : Burner()->calls) {
            if (call.method == "AddSequence") call.args.resize(4);
            if (call.method == "SetupRecorder") call.args.clear();
            g_text += call.Text() + "\n";
        }
    } else if (name == "streams") {
        g_text = g_streams;
    } else if (name == "live") {
        g_text = std::to_string(Burner()->LiveTotal());
    } else {
        Burner()->Clear();
        g_streams.clear();
    }
    return g_text.c_str();
}
