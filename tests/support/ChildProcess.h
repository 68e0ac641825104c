// Helpers for the child side of fork(): where its output goes, and the program it becomes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tarvel::testing {

// Standard output and standard error into these files (created or emptied).
inline void RedirectOutput(const std::string& outPath, const std::string& errPath) {
  ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
  ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
}

// Becomes `program` with `args`; exits with 127 when it cannot.
[[noreturn]] inline void ExecProgram(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace tarvel::testing
