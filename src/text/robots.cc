// Parsing robots.txt text and answering permission questions. Every scan of
// the text stops at the end of the line it works on, so text of any shape
// is read no further than its terminating NUL.

#include "text/robots.h"

#include <cctype>
#include <cstring>
#include <new>

namespace {

const char kUserAgent[] = "User-Agent:";
const char kDisallow[] = "Disallow:";
const char kCompactHead[] = "User-Agent: ";
const char kCompactLine[] = "\nDisallow: ";

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// Skips the blanks and colons that may stand between a field and its value.
const char* SkipSeparators(const char* p, const char* lineEnd) {
  while (p < lineEnd && (*p == ' ' || *p == '\t' || *p == ':')) ++p;
  return p;
}

}  // namespace

RobotsT::RobotsT()
    : RobotNameLength(0),
      PathList(nullptr),
      OwnRecordSeen(0),
      Collecting(0),
      Collected(0),
      AfterUserAgent(0) {
  RobotName[0] = '\0';
}

RobotsT::~RobotsT() { ClearPathList(); }

void RobotsT::SetRobotName(const char* name, unsigned long length) {
  size_t kept = length < kMaxNameLength ? length : kMaxNameLength;
  kept = name == nullptr ? 0 : strnlen(name, kept);
  if (kept != 0) std::memcpy(RobotName, name, kept);
  RobotName[kept] = '\0';
  RobotNameLength = static_cast<uint32_t>(kept);
}

int RobotsT::strnicmp(const char* a, const char* b, unsigned long n) {
  for (unsigned long i = 0; i < n; ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
    if (a[i] == '\0') break;
  }
  return 0;
}

bool RobotsT::IsWildcardRobotName(const char* value,
                                  const char* lineEnd) const {
  value = SkipSeparators(value, lineEnd);
  return value < lineEnd && *value == '*';
}

bool RobotsT::CompareRobotName(const char* value, const char* lineEnd) const {
  value = SkipSeparators(value, lineEnd);
  return static_cast<size_t>(lineEnd - value) >= RobotNameLength &&
         strnicmp(value, RobotName, RobotNameLength) == 0;
}

void RobotsT::ClearPathList() {
  while (PathList != nullptr) {
    URLListT* next = PathList->Next;
    delete[] PathList->Path;
    delete PathList;
    PathList = next;
  }
}

void RobotsT::AddPath(const char* value, const char* lineEnd) {
  value = SkipSeparators(value, lineEnd);
  const char* end = value;
  while (end < lineEnd && *end != '#') ++end;
  while (end > value && (end[-1] == ' ' || end[-1] == '\t')) --end;
  size_t length = static_cast<size_t>(end - value);

  URLListT* node = new (std::nothrow) URLListT;
  char* path = new (std::nothrow) char[length + 1];
  if (node == nullptr || path == nullptr) {
    delete node;
    delete[] path;
    return;
  }
  if (length != 0) std::memcpy(path, value, length);
  path[length] = '\0';
  node->Path = path;
  node->Next = PathList;
  PathList = node;
}

void RobotsT::ExamineLine(const char* line, const char* lineEnd) {
  // Fewer than four characters of text left, or a "#" among the line's
  // first three: a comment, which ends the record.
  bool shortText = strnlen(line, 4) < 4;
  bool comment = false;
  for (const char* p = line; p < lineEnd && p < line + 3; ++p) {
    if (*p == '#') comment = true;
  }
  if (shortText || comment) {
    Collecting = 0;
    AfterUserAgent = 0;
    return;
  }

  if (strnicmp(line, kUserAgent, sizeof kUserAgent - 1) == 0) {
    const char* value = line + (sizeof kUserAgent - 1);
    if (CompareRobotName(value, lineEnd)) {
      // Rules taken from "*" records give way to the robot's own record.
      if (Collected && !OwnRecordSeen) ClearPathList();
      OwnRecordSeen = Collecting = Collected = 1;
    } else if (IsWildcardRobotName(value, lineEnd) && !OwnRecordSeen) {
      Collecting = Collected = 1;
    } else if (!AfterUserAgent) {
      // Another robot's record begins (or a "*" record once the robot's own
      // was met). A further User-Agent line of a record that applies leaves
      // it applying.
      Collecting = 0;
    }
    AfterUserAgent = 1;
    return;
  }

  AfterUserAgent = 0;
  if (Collecting && strnicmp(line, kDisallow, sizeof kDisallow - 1) == 0) {
    AddPath(line + (sizeof kDisallow - 1), lineEnd);
  }
}

void RobotsT::ParseRobotsTxt(const char* text) {
  const char* p = text;
  for (;;) {
    while (IsLineBreak(*p)) ++p;
    if (*p == '\0') return;
    const char* lineEnd = p;
    while (*lineEnd != '\0' && !IsLineBreak(*lineEnd)) ++lineEnd;
    ExamineLine(p, lineEnd);
    p = lineEnd;
  }
}

int RobotsT::PermissionGranted(const char* path) const {
  for (const URLListT* node = PathList; node != nullptr; node = node->Next) {
    if (node->Path[0] == '\0') return 1;
    if (std::strncmp(node->Path, path, std::strlen(node->Path)) == 0) return 0;
  }
  return 1;
}

int RobotsT::PermissionGrantedFullURL(const char* url) const {
  const char* rest = std::strstr(url, "//");
  rest = rest != nullptr ? rest + 2 : url;
  const char* path = std::strchr(rest, '/');
  return PermissionGranted(path != nullptr ? path : "/");
}

unsigned long RobotsT::RobotsTxtLength() const {
  unsigned long length = 14 + std::strlen(RobotName);
  for (const URLListT* node = PathList; node != nullptr; node = node->Next) {
    length += 12 + std::strlen(node->Path);
  }
  return length;
}

void RobotsT::OutputCompactRobotsTxt(char* buffer) const {
  auto append = [&buffer](const char* text) {
    size_t length = std::strlen(text);
    std::memcpy(buffer, text, length);
    buffer += length;
  };
  append(kCompactHead);
  append(RobotName);
  for (const URLListT* node = PathList; node != nullptr; node = node->Next) {
    append(kCompactLine);
    append(node->Path);
  }
  *buffer = '\0';
}
