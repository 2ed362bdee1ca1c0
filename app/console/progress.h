// Progress of a build, phase by phase. On a terminal every phase has a bar
// of its own, redrawn in place; elsewhere (a log, a pipe) plain lines say
// when a phase starts, how far it got and when it is done.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace vcdalbum::host {

enum class Verbosity { Quiet, Normal, Verbose };

class Progress {
public:
    Progress(std::FILE* out, bool terminal, Verbosity verbosity);
    // Progress on standard error, bars when it is a terminal.
    static Progress ForStderr(Verbosity verbosity);

    // The phases of the run, in order; shown (on a terminal) all at once.
    void SetPhases(const std::vector<std::string>& names);
    // Fraction 0..1 of phase `index` done; `detail` names what is being worked on.
    void Update(size_t index, double fraction, const std::string& detail = {});
    void Done(size_t index, const std::string& detail = {});
    // A line of its own (verbose runs only).
    void Note(const std::string& line);
    // A line shown unless quiet.
    void Say(const std::string& line);

    Verbosity verbosity() const { return verbosity_; }

private:
    struct Phase {
        std::string name;
        double fraction = 0;
        std::string detail;
        int reportedQuarter = -1;
        bool done = false;
    };
    void Draw(size_t index);
    void PrintAbove(const std::string& line);

    std::FILE* out_;
    bool terminal_;
    Verbosity verbosity_;
    std::vector<Phase> phases_;
    bool drawn_ = false;
    std::mutex mutex_;
};

// "[#########...........]  45%" of the given width.
std::string Bar(double fraction, int width);

}  // namespace vcdalbum::host
