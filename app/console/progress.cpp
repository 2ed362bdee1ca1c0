#include "console/progress.h"

#include <algorithm>
#include <cmath>

#include <unistd.h>

namespace vcdalbum::host {

Progress::Progress(std::FILE* out, bool terminal, Verbosity verbosity)
    : out_(out), terminal_(terminal), verbosity_(verbosity) {}

Progress Progress::ForStderr(Verbosity verbosity) { return Progress(stderr, isatty(2) != 0, verbosity); }

std::string Bar(double fraction, int width) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(std::lround(fraction * width));
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(std::floor(fraction * 100)));
    return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '.') +
           "] " + percent;
}

void Progress::SetPhases(const std::vector<std::string>& names) {
    std::lock_guard lock(mutex_);
    phases_.clear();
    for (const auto& n : names) {
        Phase p;
        p.name = n;
        phases_.push_back(std::move(p));
    }
    if (verbosity_ == Verbosity::Quiet || !terminal_) return;
    for (size_t i = 0; i < phases_.size(); ++i) {
        std::fputc('\n', out_);
    }
    drawn_ = true;
    for (size_t i = 0; i < phases_.size(); ++i) Draw(i);
}

// Terminal: the cursor rests below the last phase line; go up to line
// `index`, rewrite it, come back down.
void Progress::Draw(size_t index) {
    const Phase& p = phases_[index];
    const size_t up = phases_.size() - index;
    std::string detail = p.detail.size() > 40 ? p.detail.substr(0, 39) + "~" : p.detail;
    std::fprintf(out_, "\x1b[%zuA\r\x1b[2K  %-22s %s  %s\x1b[%zuB\r", up, p.name.c_str(), Bar(p.fraction, 24).c_str(),
                 detail.c_str(), up);
    std::fflush(out_);
}

void Progress::PrintAbove(const std::string& line) {
    if (terminal_ && drawn_) {
        // Push the bars down: write the line over the first bar, redraw all.
        const size_t up = phases_.size();
        std::fprintf(out_, "\x1b[%zuA\r\x1b[2K%s\n", up, line.c_str());
        for (size_t i = 0; i < phases_.size(); ++i) std::fprintf(out_, "\x1b[2K\n");
        for (size_t i = 0; i < phases_.size(); ++i) Draw(i);
    } else {
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
}

void Progress::Update(size_t index, double fraction, const std::string& detail) {
    std::lock_guard lock(mutex_);
    if (index >= phases_.size() || verbosity_ == Verbosity::Quiet) return;
    Phase& p = phases_[index];
    p.fraction = std::clamp(fraction, p.fraction, 1.0);  // never goes backwards
    const bool newDetail = !detail.empty() && detail != p.detail;
    if (!detail.empty()) p.detail = detail;
    if (terminal_) {
        Draw(index);
        return;
    }
    // Plain lines: the start, every quarter, and in verbose runs every new item.
    const int quarter = static_cast<int>(std::floor(p.fraction * 4));
    if (quarter > p.reportedQuarter && quarter < 4) {
        p.reportedQuarter = quarter;
        std::fprintf(out_, "%s: %d%%%s\n", p.name.c_str(), quarter * 25,
                     p.detail.empty() ? "" : (" (" + p.detail + ")").c_str());
    } else if (verbosity_ == Verbosity::Verbose && newDetail) {
        std::fprintf(out_, "%s: %s\n", p.name.c_str(), detail.c_str());
    }
    std::fflush(out_);
}

void Progress::Done(size_t index, const std::string& detail) {
    std::lock_guard lock(mutex_);
    if (index >= phases_.size() || verbosity_ == Verbosity::Quiet) return;
    Phase& p = phases_[index];
    if (p.done) return;
    p.done = true;
    p.fraction = 1;
    p.detail = detail;
    if (terminal_) {
        Draw(index);
        return;
    }
    std::fprintf(out_, "%s: done%s\n", p.name.c_str(), detail.empty() ? "" : (" (" + detail + ")").c_str());
    std::fflush(out_);
}

void Progress::Note(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Verbose) PrintAbove(line);
}

void Progress::Say(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (verbosity_ != Verbosity::Quiet) PrintAbove(line);
}

}  // namespace vcdalbum::host
