// tarvelctl: the host without a window. Actions run in order; see the README for the grammar.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tarvel {

// Exit statuses of tarvelctl.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUnitFailure = 1;
inline constexpr int kExitUsage = 2;

// Runs tarvelctl with `args` (without the program name); returns the exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tarvel
