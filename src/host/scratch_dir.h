// A private directory for the library's temporary files, made with a fresh
// name ("<prefix>.XXXXXX") and set as the process-wide location of every
// temporary file while it lives; removed with whatever is left in it. A
// private directory keeps two processes from choosing the same temporary
// name.

#ifndef TARVIS_HOST_SCRATCH_DIR_H_
#define TARVIS_HOST_SCRATCH_DIR_H_

#include <string>

class ScratchDirT {
 public:
  // Fails with StatusCannotOpenFile when the directory cannot be made.
  explicit ScratchDirT(const std::string& prefix);
  ~ScratchDirT();
  ScratchDirT(const ScratchDirT&) = delete;
  ScratchDirT& operator=(const ScratchDirT&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

#endif  // TARVIS_HOST_SCRATCH_DIR_H_
