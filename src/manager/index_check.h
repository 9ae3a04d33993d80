// The integrity check of an index: walks the index file and every partition
// and lists each problem found, without trusting anything it has not
// checked, so that any file, however damaged, gives a report in bounded
// time and memory instead of a crash.
//
// What is checked: the magic and the two header copies (every intact copy
// must describe the file; a copy cut short by a crash, its two stamps
// different, is what an interrupted header write leaves and is no problem
// while the other copy is intact); the partitions the header lists, in the
// file or at their locations, each back to back up to the append position
// and of the index's mode; in each partition the header, the dictionary
// B-tree, every term's word information and posting list, the document
// weights and the record data and record ID tables (format/partition_check.h);
// and the deleted-record list: its magic, its count against the header's,
// its record numbers ascending and within the index, its end against the
// header's end position.

#ifndef TARVIS_MANAGER_INDEX_CHECK_H_
#define TARVIS_MANAGER_INDEX_CHECK_H_

#include <string>
#include <vector>

#include "tarvis/tarvis.h"

// Checks the index file indexFile (opened read-only; nothing is written) and
// appends one line per problem found to problems (at most about a hundred;
// the last line then says that more are not listed). Returns 1 when the
// index is sound (no problem found), else 0. The status is negative only
// when the check could not run: StatusFileNotFound when the file cannot be
// opened (also listed as a problem), StatusMalformedParameter for a null
// name or list. The status may be null.
int CheckIndex(const char* indexFile, std::vector<std::string>* problems,
               StatusCodeT* status);

#endif  // TARVIS_MANAGER_INDEX_CHECK_H_
