#include "build/work_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "console/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

constexpr int kStoppingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The folders a stopping signal takes away. A signal handler may do next to
// nothing, so it only hands the signal's number through a pipe to a thread
// that removes the folders and then lets the signal end the process as it
// would have without a handler (the caller sees the usual 128 + signal).
struct Registry {
    std::mutex mutex;
    std::set<fs::path> folders;
    std::map<size_t, std::function<void()>> undos;  // newest last
    size_t nextUndo = 0;
    int pipe[2] = {-1, -1};
};

Registry& Folders() {
    static Registry* registry = new Registry;  // outlives every static destructor
    return *registry;
}

void OnStoppingSignal(int signal) {
    const int saved = errno;
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = write(Folders().pipe[1], &number, 1);
    errno = saved;
}

void RemoveAll(const fs::path& folder) {
    // Threads of the run may still be writing into it: try again while
    // new files keep it from going.
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::error_code ec;
        fs::remove_all(folder, ec);
        if (!fs::exists(folder, ec)) return;
    }
}

[[noreturn]] void CleanUpAndStop(Registry& registry, int signal) {
    std::lock_guard lock(registry.mutex);  // held to the end: nobody adds or removes any more
    // The run's threads fail as their files go; what they would say about
    // it is no news to the person who stopped the run.
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) dup2(null, STDERR_FILENO);
    for (auto undo = registry.undos.rbegin(); undo != registry.undos.rend(); ++undo) {
        try {
            undo->second();
        } catch (...) {
            // Stopping all the same; the others still get their turn.
        }
    }
    for (const fs::path& folder : registry.folders) RemoveAll(folder);
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(signal, &plain, nullptr);
    kill(getpid(), signal);
    // A signal whose default is not to stop (never one of ours), or one that
    // is blocked here: stop all the same.
    std::_Exit(128 + signal);
}

void InstallOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        Registry& registry = Folders();
        if (pipe2(registry.pipe, O_CLOEXEC) != 0) return;  // no clean-up, but the run goes on
        std::thread([&registry] {
            char number = 0;
            for (;;) {
                const ssize_t got = read(registry.pipe[0], &number, 1);
                if (got == 1) CleanUpAndStop(registry, number);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) return;
            }
        }).detach();
        for (int signal : kStoppingSignals) {
            struct sigaction current {};
            sigaction(signal, nullptr, &current);
            // A signal the caller chose to ignore (nohup, a background job's
            // SIGINT) stays ignored.
            if (current.sa_handler == SIG_IGN) continue;
            struct sigaction handler {};
            handler.sa_handler = &OnStoppingSignal;
            sigemptyset(&handler.sa_mask);
            handler.sa_flags = SA_RESTART;
            sigaction(signal, &handler, nullptr);
        }
    });
}

// The temporary directory, or a RunError that names the variable pointing
// elsewhere (the standard call throws a bare filesystem error instead).
fs::path TemporaryDirectory() {
    std::error_code ec;
    fs::path dir = fs::temp_directory_path(ec);
    if (!ec) return dir;
    for (const char* name : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"})
        if (const char* value = std::getenv(name))
            throw RunError("no temporary folder: " + std::string(name) + " names " + value +
                           ", which is not an existing folder");
    throw RunError("no temporary folder: " + ec.message());
}

}  // namespace

WorkFolder::WorkFolder(const std::string& prefix, bool keep) : WorkFolder(prefix, keep, TemporaryDirectory()) {}

WorkFolder::WorkFolder(const std::string& prefix, bool keep, const fs::path& temporary) : keep_(keep) {
    std::string pattern = (temporary / (prefix + "XXXXXX")).string();
    if (!keep_) InstallOnce();
    {
        // Made and registered in one step, so that no signal finds it unlisted.
        Registry& registry = Folders();
        std::lock_guard lock(registry.mutex);
        if (!mkdtemp(pattern.data()))
            throw RunError("cannot make a work folder in " + temporary.string());
        path_ = pattern;
        if (!keep_) registry.folders.insert(path_);
    }
}

WorkFolder::~WorkFolder() {
    if (keep_) return;
    Registry& registry = Folders();
    std::lock_guard lock(registry.mutex);
    std::error_code ec;
    fs::remove_all(path_, ec);
    registry.folders.erase(path_);
}

UndoOnStop::UndoOnStop(const std::function<void()>& step, std::function<void()> undo) {
    InstallOnce();
    Registry& registry = Folders();
    std::lock_guard lock(registry.mutex);
    step();
    id_ = registry.nextUndo++;
    registry.undos.emplace(id_, std::move(undo));
}

UndoOnStop::~UndoOnStop() {
    Registry& registry = Folders();
    std::lock_guard lock(registry.mutex);
    registry.undos.erase(id_);
}

}  // namespace vcdalbum::host
