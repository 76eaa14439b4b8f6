#pragma once
// The fuzz targets' assertion: always on, whatever the build type, and an abort the fuzzer
// records as a crash with the failed condition on stderr.
#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                                 \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)
