// IBurnProject: opens projects and collects their items and nodes.
#include "com_object.h"
#include "image_builder.h"
#include "mpeg_file.h"
#include "project.h"
#include "results.h"

namespace vcdalbum::components::burner {
namespace {

std::string Text(const char* text) { return text ? text : ""; }

class BurnProject final : public ComObject<vcdalbum::burner::IBurnProject> {
public:
    BurnProject() : ComObject(vcdalbum::burner::IID_IBurnProject) {}

    HRESULT VCD_STDCALL NewProject(uint32_t* handle, uint8_t kind) override {
        if (!handle) return com::E_POINTER;
        *handle = 0;
        if (kind != contract::kProjectKindVcd20) {
            Complain("project kind " + std::to_string(kind) + " is not supported; kind " +
                     std::to_string(contract::kProjectKindVcd20) + " is a Video CD 2.0 disc");
            return QEL_E_PROJECT_KIND;
        }
        *handle = ProjectStore::Instance().Open(kind);
        return com::S_OK;
    }

    HRESULT VCD_STDCALL CloseProject(uint32_t handle) override {
        // A handle closed before (or never opened) has nothing left to close.
        return ProjectStore::Instance().Close(handle) ? com::S_OK : com::S_FALSE;
    }

    HRESULT VCD_STDCALL AddSegment(uint32_t handle, const char* itemId, const char* mpegFile) override {
        if (!itemId || !mpegFile) return com::E_POINTER;
        return Change(handle, [&](Project& project) {
            if (!UnusedItemId(project, itemId)) return QEL_E_DUPLICATE_ITEM;
            const StreamProbe probe = ProbeStream(mpegFile);
            if (!probe.ok || probe.isDat) {
                Complain("segment item '" + Text(itemId) + "': file '" + mpegFile + "' " +
                         (probe.ok ? "is a RIFF/CDXA track, not an MPEG still" : probe.error));
                return QEL_E_BAD_STREAM;
            }
            project.segments.push_back({itemId, mpegFile});
            return com::S_OK;
        });
    }

    HRESULT VCD_STDCALL AddSequence(uint32_t handle, const char* itemId, const char* file, const char* entryId,
                                    unsigned long* size, unsigned long* isDat) override {
        if (!itemId || !file) return com::E_POINTER;
        return Change(handle, [&](Project& project) {
            if (!UnusedItemId(project, itemId)) return QEL_E_DUPLICATE_ITEM;
            const StreamProbe probe = ProbeStream(file);
            if (!probe.ok) {
                Complain("sequence item '" + Text(itemId) + "': file '" + file + "' " + probe.error);
                return QEL_E_BAD_STREAM;
            }
            if (size) *size = static_cast<unsigned long>(probe.sectors);
            if (isDat) *isDat = probe.isDat ? 1 : 0;
            project.sequences.push_back({itemId, file, Text(entryId), probe.sectors, probe.isDat});
            return com::S_OK;
        });
    }

    HRESULT VCD_STDCALL AddDirectory(uint32_t handle, const char* directory) override {
        if (!directory) return com::E_POINTER;
        return Change(handle, [&](Project& project) {
            project.directories.emplace_back(directory);
            return com::S_OK;
        });
    }

    // `location` is the place on the disc: empty for the top folder under the
    // file's own name, a folder when it ends in a separator, else the full
    // folder/name.
    HRESULT VCD_STDCALL AddFileEntry(uint32_t handle, const char* file, const char* location, uint32_t) override {
        if (!file) return com::E_POINTER;
        return Change(handle, [&](Project& project) {
            const std::string name = std::filesystem::path(file).filename().string();
            std::string place = Text(location);
            if (place.empty() || place.back() == '/' || place.back() == '\\') place += name;
            project.files.push_back({file, place});
            return com::S_OK;
        });
    }

    HRESULT VCD_STDCALL AddPbcNode(uint32_t handle, _pbc_t* node) override {
        if (!node) return com::E_POINTER;
        return Change(handle, [&](Project& project) {
            std::string why;
            std::optional<PbcNode> copy = CopyNode(*node, why);
            if (!copy) {
                Complain("node '" + Text(node->id) + "' " + why);
                return QEL_E_BAD_NODE;
            }
            project.nodes.push_back(std::move(*copy));
            return com::S_OK;
        });
    }

    HRESULT VCD_STDCALL BuildProject(uint32_t handle) override {
        return Change(handle, [](Project& project) { return BuildImage(project); });
    }

    HRESULT VCD_STDCALL SetProjectName(uint32_t handle, const unsigned char* name) override {
        if (!name) return com::E_POINTER;
        return Change(handle, [&](Project& project) {
            project.name = reinterpret_cast<const char*>(name);
            return com::S_OK;
        });
    }

private:
    // Runs a change on an open project; any change undoes an earlier build.
    template <class Fn>
    static HRESULT Change(uint32_t handle, Fn&& change) {
        HRESULT hr = QEL_E_UNKNOWN_PROJECT;
        const bool open = ProjectStore::Instance().With(handle, [&](Project& project) {
            project.built = false;
            hr = change(project);
        });
        if (!open) Complain("project handle " + std::to_string(handle) + " is not open");
        return hr;
    }

    static bool UnusedItemId(const Project& project, const char* itemId) {
        if (!project.HasItem(itemId)) return true;
        Complain("item ID '" + std::string(itemId) + "' is already used in project '" + project.name + "'");
        return false;
    }
};

}  // namespace

com::IUnknown* NewBurnProject() { return new BurnProject; }

}  // namespace vcdalbum::components::burner
