// FFmpeg's own log lines and those of the outside tools the components run
// (vcdxbuild, cdrdao) are for finding faults, not for the person making a
// disc: they reach the terminal only in verbose runs.
#pragma once

#include "console/progress.h"
#include "console/scoped_env.h"

namespace vcdalbum::host {

// FFmpeg says nothing from here on. The tool calls it once, before any work.
void SilenceFFmpeg();

// For the length of a build: in verbose runs FFmpeg's lines go through
// `progress` (above the bars, on a terminal) and the components pass on the
// tools' lines; otherwise all of them stay silent. The components are told
// through VCDALBUM_VERBOSE in the environment, which they read.
class ToolMessages {
public:
    explicit ToolMessages(Progress& progress);
    ~ToolMessages();
    ToolMessages(const ToolMessages&) = delete;
    ToolMessages& operator=(const ToolMessages&) = delete;

private:
    ScopedEnv componentsVerbose_;
    int oldLevel_;
    bool routed_ = false;
};

}  // namespace vcdalbum::host
