// tarvik-cli: the conversion without windows.
#include <cstdio>

int main() {
  std::printf("tarvik-cli %s\n", TARVIK_VERSION);
  return 0;
}
