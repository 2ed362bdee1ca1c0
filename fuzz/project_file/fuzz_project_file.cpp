// Fuzzes the project file: JSON text into the loader, and every project it
// accepts into the planner, the capacity check and the printed plan.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "build/disc_plan.h"
#include "console/errors.h"
#include "project/project.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vcdalbum::host;
    try {
        const Project project = ParseProject(std::string(reinterpret_cast<const char*>(data), size),
                                             "/nonexistent/fuzz/project.json");
        const DiscPlan plan = PlanDisc(project, size > 0 ? data[0] : 0, 74);
        std::ostringstream out;
        PrintPlan(out, project, plan);
        CheckFits(project, plan);
    } catch (const InputError&) {
        // Refusing malformed input, with a message, is the expected outcome.
    }
    return 0;
}
