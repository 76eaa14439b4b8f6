// Runs a command with transparent huge pages switched off for it and its children, so that a
// machine whose memory comes in huge pages shows what the same run costs with 4 KiB pages:
//
//   nothp COMMAND [ARGS...]
//
// (prctl PR_SET_THP_DISABLE survives exec; even memory the program asks huge pages for gets
// 4 KiB pages.)
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: nothp COMMAND [ARGS...]\n", stderr);
    return 2;
  }
  if (::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) {
    std::perror("prctl(PR_SET_THP_DISABLE)");
    return 1;
  }
  ::execvp(argv[1], argv + 1);
  std::perror(argv[1]);
  return 127;
}
