// Subcommands of the vcdalbum tool. Each one lives in a file of its own and
// registers itself at start-up, through a flag named after it (the tool's
// files are compiled together, in one unit):
//
//   static const bool decodeRegistered = vcdalbum::cli::RegisterCommand(
//       "decode", [](CLI::App& app) -> vcdalbum::cli::RunFn {
//           auto* sub = app.add_subcommand("decode", "Decode a JPEG file to PPM");
//           auto in = std::make_shared<std::string>();
//           sub->add_option("IN", *in)->required();
//           return [in] { return Decode(*in); };
//       });
//
// Exit codes: 0 success, 1 a failed run (encoder, image build, recorder),
// 2 bad input or usage.
#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

namespace vcdalbum::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadInput = 2;

// Runs the subcommand after its options were parsed; returns the exit code.
using RunFn = std::function<int()>;
// Adds the subcommand to `app` and returns what runs it.
using AttachFn = std::function<RunFn(CLI::App& app)>;

bool RegisterCommand(const std::string& name, AttachFn attach);

// Prints "vcdalbum: <message>" on standard error.
void PrintError(const std::string& message);
// Prints "vcdalbum: warning: <message>" on standard error.
void PrintWarning(const std::string& message);

}  // namespace vcdalbum::cli
