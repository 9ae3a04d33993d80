// Fuzz target: robots.txt parsing and URL checks. The first line of the
// input is the robot's name, the rest the robots.txt text; every line of the
// text is then asked about as a path and as a URL, and the compact output
// must fit the length the parser announces.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\n');
  std::string name = input.substr(0, split);
  std::string text = split == std::string::npos ? "" : input.substr(split + 1);

  StatusCodeT status = 0;
  RobotsT* robots = tvCreateRobotsTxtParser(&status);
  FUZZ_CHECK(robots != nullptr);
  tvSetRobotName(robots, name.c_str(), name.size());
  tvParseRobotsTxt(robots, &text[0]);

  static const char* const kPaths[] = {"/", "", "/a", "/private/x",
                                       "/cgi-bin/", "*"};
  for (const char* path : kPaths) tvRobotsPermissionGranted(robots, path);
  size_t start = 0;
  for (int lines = 0; start < text.size() && lines < 500; ++lines) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    tvRobotsPermissionGranted(robots, line.c_str());
    tvRobotsPermissionGrantedFullURL(robots, &line[0]);
    start = end + 1;
  }

  unsigned long length = tvRobotsTxtLength(robots);
  FUZZ_CHECK(length > 0 && length < (1ul << 26));
  std::vector<char> compact(length);
  tvOutputCompactRobotsTxt(robots, compact.data());
  FUZZ_CHECK(std::strlen(compact.data()) + 1 <= length);
  tvDeleteRobotsTxtParser(robots);
  return 0;
}
