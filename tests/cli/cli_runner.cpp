#include "cli/cli_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <vcdalbum/codec.h>

extern char** environ;

namespace vcdalbum::clitest {
namespace fs = std::filesystem;

RunningProgram StartProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::vector<std::string>& env, const fs::path& cwd) {
    static int serial = 0;
    const fs::path base = fs::path(::testing::TempDir()) /
                          ("vcdalbum_run_" + std::to_string(getpid()) + "_" + std::to_string(serial++));
    RunningProgram running;
    running.outFile = base.string() + ".out";
    running.errFile = base.string() + ".err";
    const std::string& outFile = running.outFile;
    const std::string& errFile = running.errFile;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The parent's environment, with `env` taking precedence.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& x : env) replaced |= x.substr(0, x.find('=')) == name;
        if (!replaced) envStrings.push_back(entry);
    }
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    // The stopping signals act as they do for a program started from a
    // terminal, whatever the test runner ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    if (posix_spawnp(&running.pid, program.c_str(), &actions, &attributes, argv.data(), envp.data()) != 0)
        running.pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return running;
}

RunResult RunningProgram::Wait() {
    RunResult result;
    if (pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid = -1;
    }
    result.out = vcdalbum::testing::ReadFile(outFile);
    result.err = vcdalbum::testing::ReadFile(errFile);
    std::error_code ec;
    fs::remove(outFile, ec);
    fs::remove(errFile, ec);
    return result;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env,
                     const fs::path& cwd) {
    return StartProgram(program, args, env, cwd).Wait();
}

RunResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    return RunProgram(VCDALBUM_CLI, args, env);
}

RunningProgram StartCli(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    return StartProgram(VCDALBUM_CLI, args, env);
}

void WritePicture(const fs::path& file, int seed, unsigned width, unsigned height) {
    Image image{};
    ASSERT_TRUE(AllocateImage(image, width, height));
    const unsigned band = (static_cast<unsigned>(seed) * 37) % height;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            unsigned char* p = image.data + y * ImageStride(width) + 3 * x;
            const bool white = y >= band && y < band + height / 10;
            p[0] = white ? 255 : static_cast<unsigned char>(seed * 50);
            p[1] = white ? 255 : static_cast<unsigned char>(seed * 90 + x / 4);
            p[2] = white ? 255 : static_cast<unsigned char>(200 - seed * 30);
        }
    const CodecResult rc = EncodeJpegFile(file.string(), image);
    ReleaseImage(image);
    ASSERT_TRUE(rc.ok()) << rc.message;
}

}  // namespace vcdalbum::clitest
