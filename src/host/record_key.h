// What identifies a record of the command's indexes: the absolute path of
// its file, and for a file split into lines or paragraphs the line number
// (":12") or the byte offset of the paragraph ("@345").
//
// Record data: the path, a NUL byte (no path holds one), then the split
// suffix, so the path reads back unambiguously. Record ID: the path and
// suffix as one string when it fits in the 120 bytes an indexed ID may
// have, else "#", a 64-bit hash of the path in hexadecimal, and the suffix.
// Every form of a file's IDs starts with the same text, so one query with
// prefix wildcards finds all records of a file, whichever split they used.

#ifndef TARVIS_HOST_RECORD_KEY_H_
#define TARVIS_HOST_RECORD_KEY_H_

#include <string>

struct RecordKeyT {
  std::string Path;
  char Kind = 0;            // 0 whole file, ':' line, '@' paragraph
  unsigned long Number = 0;  // line number or byte offset
};

enum { kMaxIndexedIdBytes = 120 };

std::string RecordDataOf(const RecordKeyT& key);
std::string RecordIdOf(const RecordKeyT& key);
RecordKeyT ParseRecordData(const std::string& data);
// "path", "path:12" or "path@345".
std::string DisplayName(const RecordKeyT& key);
// A Boolean query in the engine's short form matching every record whose
// ID belongs to the file at path.
std::string FileRecordsQuery(const std::string& path);

#endif  // TARVIS_HOST_RECORD_KEY_H_
