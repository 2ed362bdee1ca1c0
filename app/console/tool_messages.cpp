#include "console/tool_messages.h"

#include <atomic>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

namespace vcdalbum::host {
namespace {

// Where FFmpeg's lines go in a verbose run. FFmpeg's log is one per process,
// so its receiver is too.
std::atomic<Progress*> gReceiver{nullptr};

// FFmpeg may hand over a line in pieces; each thread gathers its own.
void ToProgress(void* object, int level, const char* format, va_list args) {
    if (level > av_log_get_level()) return;
    thread_local std::string pending;
    thread_local int printPrefix = 1;
    char piece[1024];
    av_log_format_line2(object, level, format, args, piece, sizeof piece, &printPrefix);
    pending += piece;
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (Progress* p = gReceiver.load(); p && !line.empty()) p->Note(line);
    }
}

}  // namespace

void SilenceFFmpeg() { av_log_set_level(AV_LOG_QUIET); }

ToolMessages::ToolMessages(Progress& progress)
    : componentsVerbose_("VCDALBUM_VERBOSE", progress.verbosity() == Verbosity::Verbose ? "1" : "0"),
      oldLevel_(av_log_get_level()) {
    if (progress.verbosity() != Verbosity::Verbose) {
        av_log_set_level(AV_LOG_QUIET);
        return;
    }
    gReceiver = &progress;
    routed_ = true;
    av_log_set_level(AV_LOG_INFO);  // what FFmpeg shows by default
    av_log_set_callback(&ToProgress);
}

ToolMessages::~ToolMessages() {
    if (routed_) {
        av_log_set_callback(&av_log_default_callback);
        gReceiver = nullptr;
    }
    av_log_set_level(oldLevel_);
}

}  // namespace vcdalbum::host
