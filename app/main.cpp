#include <cstdio>
#include <iostream>
#include <map>
#include <vector>

#include "command.h"
#include "console/tool_messages.h"

namespace vcdalbum::cli {
namespace {

std::map<std::string, AttachFn>& Registry() {
    static std::map<std::string, AttachFn> commands;
    return commands;
}

}  // namespace

bool RegisterCommand(const std::string& name, AttachFn attach) {
    Registry()[name] = std::move(attach);
    return true;
}

void PrintError(const std::string& message) { std::cerr << "vcdalbum: " << message << '\n'; }

void PrintWarning(const std::string& message) { std::cerr << "vcdalbum: warning: " << message << '\n'; }

}  // namespace vcdalbum::cli

int main(int argc, char** argv) {
    using namespace vcdalbum::cli;
    vcdalbum::host::SilenceFFmpeg();
    CLI::App app{"vcdalbum: turn folders of photos into a Video CD with menus and transitions", "vcdalbum"};
    app.set_version_flag("--version", std::string("vcdalbum ") + VCDALBUM_VERSION);
    app.require_subcommand(0, 1);

    std::vector<std::pair<CLI::App*, RunFn>> runs;
    for (auto& [name, attach] : Registry()) {
        RunFn run = attach(app);
        runs.emplace_back(app.get_subcommand(name), std::move(run));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitBadInput;
    }

    for (auto& [sub, run] : runs)
        if (sub && sub->parsed()) return run();

    std::cout << app.help();
    return kExitOk;
}
