// A run's work folder in the temporary directory. It goes when the run ends,
// whether it ends well, with an error, or stopped by Ctrl-C (SIGINT), a
// closed terminal (SIGHUP) or `kill` (SIGTERM): a stopped build must not
// leave tens of megabytes of frames and streams behind.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace vcdalbum::host {

class WorkFolder {
public:
    // Makes "<temporary directory>/<prefix>XXXXXX"; throws RunError when it
    // cannot. With `keep`, the folder stays after the run, even a stopped one.
    WorkFolder(const std::string& prefix, bool keep);
    // The same in `parent` instead of the temporary directory.
    WorkFolder(const std::string& prefix, bool keep, const std::filesystem::path& parent);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool keep_;
};

// A step a stopping signal must take back. The constructor runs `step` while
// no signal can clean up, and from then until the destructor a signal runs
// `undo` first (still before the work folders go). A step that throws arms
// nothing. So what the step changes is either all there or all undone.
class UndoOnStop {
public:
    UndoOnStop(const std::function<void()>& step, std::function<void()> undo);
    ~UndoOnStop();
    UndoOnStop(const UndoOnStop&) = delete;
    UndoOnStop& operator=(const UndoOnStop&) = delete;

private:
    size_t id_;
};

}  // namespace vcdalbum::host
