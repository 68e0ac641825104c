// Runs a command and prints what it cost, for the benchmark script:
//   rusage_run COMMAND [ARG...]
// prints "wall=SECONDS cpu=SECONDS maxrss_kb=KB status=N" on stderr after the command's own output.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: rusage_run COMMAND [ARG...]\n");
    return 2;
  }
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  rusage u{};
  if (wait4(pid, &status, 0, &u) != pid) return 2;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                     static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  std::fprintf(stderr, "wall=%.3f cpu=%.3f maxrss_kb=%ld status=%d\n", wall, cpu, u.ru_maxrss,
               WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  return 0;
}
