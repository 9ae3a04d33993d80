// CheckReportT: formatting and capping the problems of an integrity check.

#include "storage/check_report.h"

#include <cstdarg>
#include <cstdio>

void CheckReportT::Add(const char* format, ...) {
  ++Added;
  if (Added > kMaxProblems) {
    if (Added == kMaxProblems + 1) {
      Problems->push_back(Context + "further problems are not listed");
    }
    return;
  }
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Problems->push_back(Context + text);
}
