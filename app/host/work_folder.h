// A run's work folder in the temporary directory. It goes when the run ends,
// whether it ends well, with an error, or stopped by Ctrl-C (SIGINT), a
// closed terminal (SIGHUP) or `kill` (SIGTERM): a stopped build must not
// leave tens of megabytes of frames and streams behind.
#pragma once

#include <filesystem>
#include <string>

namespace vcdalbum::host {

class WorkFolder {
public:
    // Makes "<temporary directory>/<prefix>XXXXXX"; throws RunError when it
    // cannot. With `keep`, the folder stays after the run, even a stopped one.
    WorkFolder(const std::string& prefix, bool keep);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool keep_;
};

}  // namespace vcdalbum::host
