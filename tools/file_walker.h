// Finds the files to index under the paths given: files are taken as they
// are, directories walked in name order. Symbolic links are followed, to
// files and to directories alike, but a directory or file reached a second
// time (by device and inode: a link loop, two links to one directory, the
// same tree named twice) is taken once, under the name met first; a link
// that leads nowhere is reported. Everything is named by its absolute path.

#ifndef TARVIS_TOOLS_FILE_WALKER_H_
#define TARVIS_TOOLS_FILE_WALKER_H_

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

struct FoundFileT {
  std::string Path;
  uint64_t Size;
};

struct WalkOptionsT {
  // Files to leave out (the index's own files), as absolute paths.
  std::vector<std::string> Exclude;
  // Stop once the files found reach this many bytes (0: no bound).
  uint64_t MaxBytes = 0;
  // The walk stops early when this becomes nonzero.
  const volatile std::sig_atomic_t* Interrupted = nullptr;
};

// A path that does not exist is an error (ToolErrorT); a directory that
// cannot be read is reported in problems and the walk goes on.
std::vector<FoundFileT> FindFiles(const std::vector<std::string>& paths,
                                  const WalkOptionsT& options,
                                  std::vector<std::string>* problems);

// True when something exists at path (a link that leads nowhere does not).
bool FileExists(const std::string& path);

// The absolute form of a path: its directory resolved to its real path, its
// last component kept; the path as given when the directory does not exist.
std::string AbsolutePath(const std::string& path);

#endif  // TARVIS_TOOLS_FILE_WALKER_H_
