// Runs a command several times and reports its best and median wall time, the user and system
// time and page faults of the best run, and its peak resident memory, for bench/run.sh:
//
//   runstat [-n RUNS] -- COMMAND [ARGS...]
//
// prints "best_s=0.1234 median_s=0.1250 user_s=0.1000 sys_s=0.0100 faults=1234
// maxrss_kb=86900 status=0" (shell assignments). The command's stdout and stderr go to
// /dev/null; status is its last exit status. On a shared machine the best run is the one least
// disturbed by others, so its own user and system times go with it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  int runs = 5;
  int i = 1;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "-n") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--") == 0) {
      ++i;
      break;
    } else {
      break;
    }
  }
  if (i >= argc) {
    std::fputs("usage: runstat [-n RUNS] -- COMMAND [ARGS...]\n", stderr);
    return 2;
  }
  char** command = argv + i;

  struct Run {
    double wall, user, sys;
    long faults;
  };
  std::vector<Run> results;
  long maxRssKb = 0;
  int status = 0;
  for (int r = 0; r < runs; ++r) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid < 0) {
      std::perror("fork");
      return 1;
    }
    if (pid == 0) {
      int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
      }
      ::execvp(command[0], command);
      std::_Exit(127);
    }
    int raw = 0;
    struct rusage usage {};
    if (::wait4(pid, &raw, 0, &usage) < 0) {
      std::perror("wait4");
      return 1;
    }
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    results.push_back(
        {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
         seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_minflt + usage.ru_majflt});
    maxRssKb = std::max(maxRssKb, usage.ru_maxrss);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  }
  std::sort(results.begin(), results.end(),
            [](const Run& a, const Run& b) { return a.wall < b.wall; });
  const Run& best = results.front();
  std::printf(
      "best_s=%.4f median_s=%.4f user_s=%.4f sys_s=%.4f faults=%ld maxrss_kb=%ld status=%d\n",
      best.wall, results[results.size() / 2].wall, best.user, best.sys, best.faults, maxRssKb,
      status);
  return 0;
}
