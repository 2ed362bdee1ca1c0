// vcdalbum effects: the transition effects by number and name.
#include <cstdio>

#include "command.h"
#include "project/effects.h"

namespace vcdalbum::cli {
namespace {

int ListEffects() {
    for (int e = 0; e < host::kEffectCount; ++e) {
        const std::string name(host::EffectName(e));
        const std::string family(host::EffectFamily(e));
        std::printf("%2d  %-28s %s\n", e, name.c_str(), family.c_str());
    }
    return kExitOk;
}

const bool effectsRegistered = RegisterCommand("effects", [](CLI::App& app) -> RunFn {
    app.add_subcommand("effects", "List the transition effects by number and name");
    return [] { return ListEffects(); };
});

}  // namespace
}  // namespace vcdalbum::cli
