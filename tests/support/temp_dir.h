// A scratch directory for one test: created fresh, made the library's
// location for temporary files, and removed with everything in it at the end.

#ifndef TARVIS_TESTS_SUPPORT_TEMP_DIR_H_
#define TARVIS_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>
#include <vector>

class ScopedTempDirT {
 public:
  ScopedTempDirT();
  ~ScopedTempDirT();
  ScopedTempDirT(const ScopedTempDirT&) = delete;
  ScopedTempDirT& operator=(const ScopedTempDirT&) = delete;

  // The directory, without a trailing separator.
  const std::string& Path() const { return path_; }
  // A path inside the directory.
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // The names of the files in the directory, sorted.
  std::vector<std::string> Files() const;

 private:
  std::string path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Writes bytes to a file, replacing it.
void WriteWholeFile(const std::string& path, const std::string& bytes);

#endif  // TARVIS_TESTS_SUPPORT_TEMP_DIR_H_
