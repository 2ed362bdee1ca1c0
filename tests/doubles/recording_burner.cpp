#include "doubles/recording_burner.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace vcdalbum::testing {

namespace vb = vcdalbum::burner;
using com::HRESULT;
using com::IID;
using com::REFIID;

std::string Ptr(const void* p) {
    if (!p) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

namespace {

std::string Str(const char* s) { return s ? s : "(null)"; }
std::string Str(const unsigned char* s) { return Str(reinterpret_cast<const char*>(s)); }
template <class N>
std::string Num(N n) { return std::to_string(n); }

std::optional<std::string> Opt(const char* s) {
    if (!s) return std::nullopt;
    return std::string(s);
}

// Reads a list the way the component walks it and checks its bookkeeping.
template <class T, class Convert>
bool Walk(const PbcList* list, std::vector<T>& out, Convert convert) {
    bool ok = true;
    int cells = 0;
    const PbcListNode* last = nullptr;
    for (const PbcListNode* cell = list->head; cell; cell = cell->next) {
        if (cell->list != list) ok = false;
        out.push_back(convert(cell->data));
        last = cell;
        if (++cells > 100000) return false;  // a cycle
    }
    return ok && cells == list->count && last == list->tail;
}

}  // namespace

NodeSnapshot Snapshot(const _pbc_t* node) {
    NodeSnapshot s;
    s.address = node;
    s.type = node->type;
    s.id = Opt(node->id);
    s.prevId = Opt(node->prevId);
    s.nextId = Opt(node->nextId);
    s.returnId = Opt(node->returnId);
    s.timeoutId = Opt(node->timeoutId);
    s.itemId = Opt(node->itemId);
    s.waitTime = node->waitTime;
    s.selectionBase = node->selectionBase;
    s.timeoutTime = node->timeoutTime;
    s.loopCount = node->loopCount;
    s.prevArea = node->prevArea;
    s.nextArea = node->nextArea;
    s.returnArea = node->returnArea;
    auto text = [](void* data) { return std::string(static_cast<const char*>(data)); };
    auto area = [](void* data) { return static_cast<const _pbc_area_t*>(data); };
    if ((s.hasPlayItems = node->playItems != nullptr)) s.listsWellFormed &= Walk(node->playItems, s.playItems, text);
    if ((s.hasSelections = node->selections != nullptr))
        s.listsWellFormed &= Walk(node->selections, s.selections, text);
    if ((s.hasAreas = node->areas != nullptr)) s.listsWellFormed &= Walk(node->areas, s.areas, area);
    uintptr_t reserved = node->unused8 | node->unused12 | node->unused28 | node->unused36 | node->unused44 |
                         node->unused60 | node->unused72 | node->unused88;
    for (uintptr_t word : node->unused100) reserved |= word;
    s.reservedWordsZero = reserved == 0;
    return s;
}

std::string RecordedCall::Text() const {
    std::string text = method + "(";
    for (std::size_t i = 0; i < args.size(); ++i) text += (i ? ", " : "") + args[i];
    return text + ")";
}

std::vector<std::string> Recording::CallTexts() const {
    std::vector<std::string> texts;
    for (const auto& call : calls) texts.push_back(call.Text());
    return texts;
}

std::vector<std::string> Recording::Methods() const {
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.method);
    return names;
}

std::vector<std::string> Recording::CallsOf(const std::string& method) const {
    std::vector<std::string> texts;
    for (const auto& call : calls)
        if (call.method == method) texts.push_back(call.Text());
    return texts;
}

int Recording::LiveTotal() const {
    int total = 0;
    for (int n : live) total += n;
    return total;
}

void Recording::Clear() {
    calls.clear();
    nodes.clear();
    recorderIO.clear();
    recorderReport.clear();
    destroyed.clear();
}

HRESULT Recording::Record(const std::string& method, std::vector<std::string> args) {
    calls.push_back({method, std::move(args)});
    auto it = results.find(method);
    return it == results.end() ? com::S_OK : it->second;
}

namespace {

// IUnknown for one recording class.
template <class Interface, BurnerClass Kind>
class DoubleObject : public Interface {
public:
    explicit DoubleObject(std::shared_ptr<Recording> recording, const IID& iid)
        : rec_(std::move(recording)), iid_(iid) {
        ++rec_->created[static_cast<int>(Kind)];
        ++rec_->live[static_cast<int>(Kind)];
    }
    virtual ~DoubleObject() = default;

    HRESULT VCD_STDCALL QueryInterface(REFIID iid, void** object) override {
        if (!object) return com::E_POINTER;
        if (iid == iid_ || iid == com::IID_IUnknown) {
            AddRef();
            *object = static_cast<Interface*>(this);
            return com::S_OK;
        }
        *object = nullptr;
        return com::E_NOINTERFACE;
    }
    uint32_t VCD_STDCALL AddRef() override { return ++refs_; }
    uint32_t VCD_STDCALL Release() override {
        const uint32_t left = --refs_;
        if (left == 0) {
            --rec_->live[static_cast<int>(Kind)];
            rec_->destroyed.push_back(Kind);
            delete this;
        }
        return left;
    }

protected:
    HRESULT Record(const std::string& method, std::vector<std::string> args = {}) {
        return rec_->Record(method, std::move(args));
    }
    std::shared_ptr<Recording> rec_;

private:
    IID iid_;
    std::atomic<uint32_t> refs_{0};
};

class Project : public DoubleObject<vb::IBurnProject, BurnerClass::Project> {
public:
    using DoubleObject::DoubleObject;
    HRESULT VCD_STDCALL NewProject(uint32_t* handle, uint8_t kind) override {
        if (handle) *handle = rec_->projectHandle;
        return Record("NewProject", {Num(kind)});
    }
    HRESULT VCD_STDCALL CloseProject(uint32_t handle) override { return Record("CloseProject", {Num(handle)}); }
    HRESULT VCD_STDCALL AddSegment(uint32_t handle, const char* itemId, const char* mpegFile) override {
        return Record("AddSegment", {Num(handle), Str(itemId), Str(mpegFile)});
    }
    HRESULT VCD_STDCALL AddSequence(uint32_t handle, const char* itemId, const char* file, const char* entryId,
                                    unsigned long* size, unsigned long* isDat) override {
        if (size) *size = rec_->sequenceSize;
        if (isDat) *isDat = rec_->sequenceIsDat;
        return Record("AddSequence", {Num(handle), Str(itemId), Str(file), Str(entryId), Ptr(size), Ptr(isDat)});
    }
    HRESULT VCD_STDCALL AddDirectory(uint32_t handle, const char* directory) override {
        return Record("AddDirectory", {Num(handle), Str(directory)});
    }
    HRESULT VCD_STDCALL AddFileEntry(uint32_t handle, const char* file, const char* location,
                                     uint32_t flags) override {
        return Record("AddFileEntry", {Num(handle), Str(file), Str(location), Num(flags)});
    }
    HRESULT VCD_STDCALL AddPbcNode(uint32_t handle, _pbc_t* node) override {
        if (node) rec_->nodes.push_back(Snapshot(node));
        return Record("AddPbcNode", {Num(handle), node ? Str(node->id) : "null"});
    }
    HRESULT VCD_STDCALL BuildProject(uint32_t handle) override { return Record("BuildProject", {Num(handle)}); }
    HRESULT VCD_STDCALL SetProjectName(uint32_t handle, const unsigned char* name) override {
        return Record("SetProjectName", {Num(handle), Str(name)});
    }
};

class Recorder : public DoubleObject<vb::IBurnRecorder, BurnerClass::Recorder> {
public:
    using DoubleObject::DoubleObject;
    HRESULT VCD_STDCALL SetupRecorder(IOInfo* io, ReportInfo* report) override {
        if (io) rec_->recorderIO.push_back(*io);
        if (report) rec_->recorderReport.push_back(*report);
        return Record("SetupRecorder", {Ptr(io), Ptr(report)});
    }
    HRESULT VCD_STDCALL StartRecording(int32_t mode) override { return Record("StartRecording", {Num(mode)}); }
    HRESULT VCD_STDCALL EndRecording() override { return Record("EndRecording"); }
};

class Encoder : public DoubleObject<vb::IPictureEncoder, BurnerClass::Encoder> {
public:
    using DoubleObject::DoubleObject;
    HRESULT VCD_STDCALL ConvertPicture(int32_t format, const char* picture, const char* mpegFile,
                                       int32_t* nRet) override {
        if (nRet) *nRet = rec_->convertRet;
        return Record("ConvertPicture", {Num(format), Str(picture), Str(mpegFile), Ptr(nRet)});
    }
};

class Chooser : public DoubleObject<vb::IDriveChooser, BurnerClass::Chooser> {
public:
    using DoubleObject::DoubleObject;
    HRESULT VCD_STDCALL ChooseDrive(vb::DriveSelection* selection) override {
        if (selection) *selection = rec_->chosenDrive;
        return Record("ChooseDrive", {Ptr(selection)});
    }
};

class Eraser : public DoubleObject<vb::IDiscEraser, BurnerClass::Eraser> {
public:
    using DoubleObject::DoubleObject;
    HRESULT VCD_STDCALL SetEraseDrive(int32_t drive) override { return Record("SetEraseDrive", {Num(drive)}); }
    HRESULT VCD_STDCALL EraseDisc() override { return Record("EraseDisc"); }
    HRESULT VCD_STDCALL SetEraseMode(int16_t mode) override { return Record("SetEraseMode", {Num(mode)}); }
    HRESULT VCD_STDCALL FinishErase() override { return Record("FinishErase"); }
};

class Aux : public DoubleObject<vb::IAuxObject, BurnerClass::Aux> {
public:
    using DoubleObject::DoubleObject;
};

class DriveControl : public DoubleObject<vb::IDriveControl, BurnerClass::DriveControl> {
public:
    using DoubleObject::DoubleObject;
    HRESULT VCD_STDCALL QueryDriveInfo(int32_t drive, _QelDriveInfo* info, uint32_t* error) override {
        if (info) *info = rec_->driveInfo;
        if (error) *error = 0;
        return Record("QueryDriveInfo", {Num(drive), Ptr(info)});
    }
    HRESULT VCD_STDCALL QueryDiscInfo(int32_t drive, _QelDiscInfo* info, uint32_t* error) override {
        if (info) *info = rec_->discInfo;
        if (error) *error = 0;
        return Record("QueryDiscInfo", {Num(drive), Ptr(info)});
    }
    HRESULT VCD_STDCALL StopDrive(int32_t drive, uint32_t*) override { return Record("StopDrive", {Num(drive)}); }
    HRESULT VCD_STDCALL GetMaxWriteSpeed(int32_t drive, int16_t* write, uint32_t*) override {
        if (write) *write = rec_->maxWriteSpeed;
        return Record("GetMaxWriteSpeed", {Num(drive)});
    }
    HRESULT VCD_STDCALL OpenDrive(int32_t drive, uint32_t*) override { return Record("OpenDrive", {Num(drive)}); }
    HRESULT VCD_STDCALL UnlockDrive(int32_t drive, uint32_t*) override {
        return Record("UnlockDrive", {Num(drive)});
    }
    HRESULT VCD_STDCALL EjectMedia(int32_t drive, uint32_t*) override { return Record("EjectMedia", {Num(drive)}); }
    HRESULT VCD_STDCALL LoadMedia(int32_t drive, uint32_t*) override { return Record("LoadMedia", {Num(drive)}); }
};

template <class Object>
com::ClassFactory Factory(std::shared_ptr<Recording> rec, BurnerClass which, const IID& iid) {
    return [rec, which, iid](REFIID asked, void** object) -> HRESULT {
        *object = nullptr;
        if (auto it = rec->refused.find(which); it != rec->refused.end()) return it->second;
        auto* created = new Object(rec, iid);
        created->AddRef();
        const HRESULT hr = created->QueryInterface(asked, object);
        created->Release();
        return hr;
    };
}

}  // namespace

RecordingBurner::RecordingBurner() : recording_(std::make_shared<Recording>()) {
    auto add = [this](const com::CLSID& clsid, com::ClassFactory factory) {
        previous_.emplace_back(clsid, com::RegisterClassFactory(clsid, std::move(factory)));
    };
    add(vb::CLSID_BurnProject, Factory<Project>(recording_, BurnerClass::Project, vb::IID_IBurnProject));
    add(vb::CLSID_BurnRecorder, Factory<Recorder>(recording_, BurnerClass::Recorder, vb::IID_IBurnRecorder));
    add(vb::CLSID_PictureEncoder, Factory<Encoder>(recording_, BurnerClass::Encoder, vb::IID_IPictureEncoder));
    add(vb::CLSID_DiscEraser, Factory<Eraser>(recording_, BurnerClass::Eraser, vb::IID_IDiscEraser));
    add(vb::CLSID_AuxObject, Factory<Aux>(recording_, BurnerClass::Aux, vb::IID_IAuxObject));
    add(vb::CLSID_DriveControl, Factory<DriveControl>(recording_, BurnerClass::DriveControl, vb::IID_IDriveControl));
    add(vb::CLSID_DriveChooser, Factory<Chooser>(recording_, BurnerClass::Chooser, vb::IID_IDriveChooser));
}

RecordingBurner::~RecordingBurner() {
    for (auto& [clsid, factory] : previous_) {
        if (factory)
            com::RegisterClassFactory(clsid, std::move(factory));
        else
            com::UnregisterClassFactory(clsid);
    }
}

}  // namespace vcdalbum::testing
