// Internal consistency checks. A failed check means the library's own state
// is inconsistent (never that a host passed bad input or a file is damaged:
// those get status codes); it stops the program with the condition's text
// and the source file.

#ifndef TARVIS_STORAGE_CHECK_H_
#define TARVIS_STORAGE_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define TV_CHECK(condition)                                              \
  do {                                                                   \
    if (!(condition)) {                                                  \
      std::fprintf(stderr, "tarvis: internal check failed: %s (%s:%d)\n", \
                   #condition, __FILE__, __LINE__);                      \
      std::abort();                                                      \
    }                                                                    \
  } while (0)

#endif  // TARVIS_STORAGE_CHECK_H_
