#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "process.h"
#include "project.h"

extern char** environ;

namespace vcdalbum::components::burner {
namespace {

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

std::string CommandLineText(const std::vector<std::string>& argv) {
    std::string text;
    for (const std::string& arg : argv) {
        if (!text.empty()) text += ' ';
        const bool quote = arg.empty() || arg.find_first_of(" \t\"'") != std::string::npos;
        text += quote ? "'" + arg + "'" : arg;
    }
    return text;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, ProgramOutput output, const std::string& workDir) {
    ProgramResult result;
    if (argv.empty()) return result;

    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    FileActions actions;
    if (output == ProgramOutput::Capture) {
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            Complain(std::string("cannot run ") + argv[0] + ": " + std::strerror(errno));
            return result;
        }
        posix_spawn_file_actions_adddup2(actions.get(), pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(actions.get(), pipeFds[1], STDERR_FILENO);
    } else {
        // Progress and messages of the tool belong with ours, on stderr,
        // so that a host's standard output stays its own.
        posix_spawn_file_actions_adddup2(actions.get(), STDERR_FILENO, STDOUT_FILENO);
    }
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(actions.get(), workDir.c_str());

    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0].c_str(), actions.get(), nullptr, args.data(), environ);
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    if (spawned != 0) {
        if (pipeFds[0] >= 0) close(pipeFds[0]);
        Complain("cannot run " + argv[0] + ": " + std::strerror(spawned));
        return result;
    }
    result.started = true;

    if (pipeFds[0] >= 0) {
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
            if (got > 0) {
                result.output.append(buffer, static_cast<size_t>(got));
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                break;
            }
        }
        close(pipeFds[0]);
    }

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.exitCode = -1;
            return result;
        }
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    return result;
}

}  // namespace vcdalbum::components::burner
