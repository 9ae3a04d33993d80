// Exported function of the integrity check.

#include <cstring>
#include <string>
#include <vector>

#include "interface/exported_call.h"
#include "manager/index_check.h"

extern "C" {

TV_EXPORT unsigned long tvCheckIndex(char* fileName, char* report,
                                     unsigned long reportLength,
                                     StatusCodeT* status) {
  return ExportedCall(status, 0ul, [&](StatusCodeT* s) -> unsigned long {
    if (report != nullptr && reportLength > 0) report[0] = 0;
    if (fileName == nullptr) {
      *s = StatusMalformedParameter;
      return 0;
    }
    std::vector<std::string> problems;
    CheckIndex(fileName, &problems, s);
    if (report != nullptr && reportLength > 0) {
      std::string text;
      for (const std::string& problem : problems) text += problem + "\n";
      size_t length = text.size() < reportLength - 1 ? text.size()
                                                     : reportLength - 1;
      std::memcpy(report, text.data(), length);
      report[length] = 0;
    }
    return problems.size();
  });
}

}  // extern "C"
