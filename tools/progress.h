// The indexing progress line on stderr, drawn only when stderr is a
// terminal: files and bytes done, words per second, the time left (from the
// byte rate) and a bar. Redrawn at most ten times a second.

#ifndef TARVIS_TOOLS_PROGRESS_H_
#define TARVIS_TOOLS_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <string>

class ProgressT {
 public:
  ProgressT(uint64_t totalFiles, uint64_t totalBytes);
  ~ProgressT();

  void Update(uint64_t files, uint64_t bytes, uint64_t words);
  // Clears the line.
  void Finish();
  double Seconds() const;

 private:
  void Draw(uint64_t files, uint64_t bytes, uint64_t words);

  bool enabled_;
  bool drawn_ = false;
  uint64_t totalFiles_;
  uint64_t totalBytes_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
};

// "1.2 MB", "980 KB", "12 bytes".
std::string FormatBytes(uint64_t bytes);
// "1.2M", "34.5k", "12".
std::string FormatCount(double count);

#endif  // TARVIS_TOOLS_PROGRESS_H_
