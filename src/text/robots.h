// The robots exclusion parser: a crawling host hands it a site's robots.txt
// text, and it keeps the disallowed path prefixes that apply to the host's
// robot, answers whether a path or URL may be fetched, and prints the rules
// it kept in a compact form. It works on text only; it does no network I/O.

#ifndef TARVIS_TEXT_ROBOTS_H_
#define TARVIS_TEXT_ROBOTS_H_

#include <cstdint>

// One disallowed path prefix.
struct URLListT {
  char* Path;  // NUL-terminated, owned by the node
  URLListT* Next;
};

class RobotsT {
 public:
  // The longest robot name kept, in characters.
  static constexpr uint32_t kMaxNameLength = 127;

  RobotsT();
  ~RobotsT();
  RobotsT(const RobotsT&) = delete;
  RobotsT& operator=(const RobotsT&) = delete;

  // Keeps the first length characters of name, at most kMaxNameLength and
  // never beyond a NUL. User-Agent values are matched over what is kept.
  void SetRobotName(const char* name, unsigned long length);

  // Takes the rules of a NUL-terminated robots.txt text. A record is a run of
  // User-Agent lines and the lines after it; the Disallow values of the
  // records naming this robot are kept, or, while no such record has been
  // met, those of the records for "*". A comment line ends a record. Rules
  // that cannot be stored for lack of memory are left out.
  void ParseRobotsTxt(const char* text);

  // 1 when path may be fetched: no kept prefix begins it, or an empty
  // Disallow value (which allows everything) comes first in the list.
  int PermissionGranted(const char* path) const;
  // The same for the path part of a URL ("/" when it has none).
  int PermissionGrantedFullURL(const char* url) const;

  // The size of the buffer OutputCompactRobotsTxt needs, its NUL included.
  unsigned long RobotsTxtLength() const;
  // Writes "User-Agent: name" and a "\nDisallow: path" line per kept path,
  // the most recently taken first, and a NUL.
  void OutputCompactRobotsTxt(char* buffer) const;

 private:
  void ExamineLine(const char* line, const char* lineEnd);
  void AddPath(const char* value, const char* lineEnd);
  void ClearPathList();
  bool IsWildcardRobotName(const char* value, const char* lineEnd) const;
  bool CompareRobotName(const char* value, const char* lineEnd) const;
  // Compares the first n characters of a and b without regard to case: 0
  // when they agree, else the difference of the first differing pair.
  // Stops at the end of a.
  static int strnicmp(const char* a, const char* b, unsigned long n);

  char RobotName[kMaxNameLength + 1];
  uint32_t RobotNameLength;
  URLListT* PathList;  // the last path taken first
  int OwnRecordSeen;   // a User-Agent line naming this robot was met
  int Collecting;      // Disallow lines currently apply
  int Collected;       // some record's Disallow lines were taken
  // The line examined last was a User-Agent line: the next one belongs to
  // the same record.
  int AfterUserAgent;
};

#endif  // TARVIS_TEXT_ROBOTS_H_
