// Helpers for the component's tests: scratch folders, short streams made by
// the ffmpeg tool, playback-control records built by hand, component objects,
// and a stand-in for the optical drives.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com_object.h"
#include "test_tools.h"
#include "drives.h"
#include "platform/com.h"
#include "project.h"
#include "results.h"

namespace vcdalbum::components::burner::testing {

using com::ComPtr;
using com::HRESULT;

// A playback-control record and everything it points to, owned here, laid
// out the way the wrapper lays out its nodes.
class NodeRecord {
public:
    NodeRecord(int32_t type, const std::string& name) {
        node_.type = type;
        node_.id = Keep(name);
        if (type == PBC_PLAY_LIST) {
            node_.playItems = NewList();
        } else {
            node_.selections = NewList();
            node_.areas = NewList();
            node_.selectionBase = 1;
            node_.timeoutTime = -1;
        }
    }
    NodeRecord(const NodeRecord&) = delete;
    NodeRecord& operator=(const NodeRecord&) = delete;

    _pbc_t* get() { return &node_; }
    NodeRecord& Prev(const std::string& id) { node_.prevId = Keep(id); return *this; }
    NodeRecord& Next(const std::string& id) { node_.nextId = Keep(id); return *this; }
    NodeRecord& Return(const std::string& id) { node_.returnId = Keep(id); return *this; }
    NodeRecord& Wait(int32_t seconds) { node_.waitTime = seconds; return *this; }
    NodeRecord& PlayItem(const std::string& id) { Append(node_.playItems, Keep(id)); return *this; }
    NodeRecord& Item(const std::string& id) { node_.itemId = Keep(id); return *this; }
    NodeRecord& Select(const std::string& id) { Append(node_.selections, Keep(id)); return *this; }
    NodeRecord& Area(_pbc_area_t* area) { Append(node_.areas, area); return *this; }
    NodeRecord& Timeout(int32_t seconds) { node_.timeoutTime = seconds; return *this; }
    NodeRecord& Loop(int32_t count) { node_.loopCount = count; return *this; }

    // Overwrites the text of a string the record points to, in place.
    static void Scribble(char* text) {
        for (char* p = text; *p; ++p) *p = 'X';
    }

private:
    char* Keep(const std::string& text) {
        strings_.emplace_back(text.begin(), text.end());
        strings_.back().push_back('\0');
        return strings_.back().data();
    }
    PbcList* NewList() {
        lists_.push_back(std::make_unique<PbcList>());
        return lists_.back().get();
    }
    void Append(PbcList* list, void* data) {
        cells_.push_back(std::make_unique<PbcListNode>(PbcListNode{list, nullptr, data}));
        PbcListNode* cell = cells_.back().get();
        if (list->count == 0)
            list->head = cell;
        else
            list->tail->next = cell;
        list->tail = cell;
        ++list->count;
    }

    _pbc_t node_{};
    std::deque<std::vector<char>> strings_;
    std::vector<std::unique_ptr<PbcList>> lists_;
    std::vector<std::unique_ptr<PbcListNode>> cells_;
};

template <class T>
ComPtr<T> Create(const com::GUID& clsid, const com::GUID& iid) {
    ComPtr<T> object;
    EXPECT_EQ(CreateComponentObject(clsid, iid, object.put_void()), com::S_OK);
    return object;
}

inline ComPtr<vcdalbum::burner::IBurnProject> NewProjectObject() {
    return Create<vcdalbum::burner::IBurnProject>(vcdalbum::burner::CLSID_BurnProject, vcdalbum::burner::IID_IBurnProject);
}
inline ComPtr<vcdalbum::burner::IBurnRecorder> NewRecorderObject() {
    return Create<vcdalbum::burner::IBurnRecorder>(vcdalbum::burner::CLSID_BurnRecorder, vcdalbum::burner::IID_IBurnRecorder);
}
inline ComPtr<vcdalbum::burner::IDriveControl> NewDriveControlObject() {
    return Create<vcdalbum::burner::IDriveControl>(vcdalbum::burner::CLSID_DriveControl, vcdalbum::burner::IID_IDriveControl);
}

inline fs::path WorkDirOf(uint32_t handle) {
    fs::path dir;
    ProjectStore::Instance().With(handle, [&](Project& project) { dir = project.workDir; });
    return dir;
}

// Optical drives that exist only in the test: each has a device path, a
// record to report and a log of the tray commands it got.
class FakeDrives : public OpticalDrives {
public:
    struct Drive {
        std::string device;
        _QelDriveInfo info{};
        _QelDiscInfo disc{};
        int16_t maxWriteSpeed = 0;
    };
    explicit FakeDrives(std::vector<Drive> drives, std::vector<std::string>* log) : drives_(std::move(drives)), log_(log) {}

    std::vector<std::string> Devices() override {
        std::vector<std::string> list;
        for (const Drive& d : drives_) list.push_back(d.device);
        return list;
    }
    bool DriveInfo(const std::string& device, _QelDriveInfo& info, std::string& error) override {
        const Drive* d = Find(device);
        if (!d) return error = "no " + device, false;
        info = d->info;
        return true;
    }
    bool DiscInfo(const std::string& device, _QelDiscInfo& info, std::string& error) override {
        const Drive* d = Find(device);
        if (!d) return error = "no " + device, false;
        info = d->disc;
        return true;
    }
    int16_t MaxWriteSpeed(const std::string& device) override {
        const Drive* d = Find(device);
        return d ? d->maxWriteSpeed : 0;
    }
    bool Eject(const std::string& device, std::string&) override { return Log("eject " + device); }
    bool Load(const std::string& device, std::string&) override { return Log("load " + device); }
    bool Unlock(const std::string& device, std::string&) override { return Log("unlock " + device); }

private:
    const Drive* Find(const std::string& device) const {
        for (const Drive& d : drives_)
            if (d.device == device) return &d;
        return nullptr;
    }
    bool Log(const std::string& line) {
        if (log_) log_->push_back(line);
        return true;
    }
    std::vector<Drive> drives_;
    std::vector<std::string>* log_;
};

// Puts fake drives in place for one scope.
class ScopedDrives {
public:
    explicit ScopedDrives(std::unique_ptr<OpticalDrives> drives) : old_(ReplaceOpticalDrives(std::move(drives))) {}
    ~ScopedDrives() { ReplaceOpticalDrives(std::move(old_)); }

private:
    std::unique_ptr<OpticalDrives> old_;
};

// A "cdrdao" first on PATH that writes its arguments, one line per run, to
// a log and exits with the code in the file exit-code (0 if absent).
class RecordingCdrdao {
public:
    RecordingCdrdao() : path_("PATH", (dir_.path() / "bin").string() + ":" + std::getenv("PATH")) {
        fs::create_directories(dir_ / "bin");
        WriteFile(dir_ / "bin" / "cdrdao",
                  "#!/bin/sh\n"
                  "echo \"$*\" >> '" + Log().string() + "'\n"
                  "echo \"cdrdao stand-in: $1\"\n"
                  "code=0; [ -f '" + (dir_ / "exit-code").string() + "' ] && code=$(cat '" +
                      (dir_ / "exit-code").string() + "')\n"
                  "exit $code\n");
        fs::permissions(dir_ / "bin" / "cdrdao", fs::perms::owner_all);
    }
    fs::path Log() const { return dir_ / "calls.log"; }
    std::string Calls() const { return ReadFile(Log()); }
    void ExitWith(int code) { WriteFile(dir_ / "exit-code", std::to_string(code)); }

private:
    ScratchDir dir_;
    ScopedEnv path_;
};

}  // namespace vcdalbum::components::burner::testing
