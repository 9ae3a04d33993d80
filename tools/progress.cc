// The progress line; see progress.h.

#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace {

std::string FormatDuration(double seconds) {
  unsigned long s = static_cast<unsigned long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", s / 3600,
                  (s / 60) % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lu:%02lu", s / 60, s % 60);
  }
  return text;
}

int TerminalWidth() {
  winsize size;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) {
    return size.ws_col;
  }
  return 80;
}

}  // namespace

std::string FormatBytes(uint64_t bytes) {
  char text[32];
  if (bytes >= 1000000000) {
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  } else if (bytes >= 1000000) {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  } else if (bytes >= 1000) {
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%llu bytes",
                  static_cast<unsigned long long>(bytes));
  }
  return text;
}

std::string FormatCount(double count) {
  char text[32];
  if (count >= 1e6) {
    std::snprintf(text, sizeof text, "%.1fM", count / 1e6);
  } else if (count >= 1e4) {
    std::snprintf(text, sizeof text, "%.1fk", count / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.0f", count);
  }
  return text;
}

ProgressT::ProgressT(uint64_t totalFiles, uint64_t totalBytes)
    : enabled_(isatty(STDERR_FILENO) == 1),
      totalFiles_(totalFiles),
      totalBytes_(totalBytes),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

ProgressT::~ProgressT() { Finish(); }

double ProgressT::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                       start_)
      .count();
}

void ProgressT::Update(uint64_t files, uint64_t bytes, uint64_t words) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  Draw(files, bytes, words);
}

void ProgressT::Draw(uint64_t files, uint64_t bytes, uint64_t words) {
  double seconds = Seconds();
  double rate = seconds > 0.05 ? words / seconds : 0;
  std::string left = "--:--";
  if (seconds > 0.5 && bytes > 0 && totalBytes_ > bytes) {
    left = FormatDuration((totalBytes_ - bytes) * seconds / bytes);
  } else if (totalBytes_ <= bytes) {
    left = "0:00";
  }
  char text[256];
  std::snprintf(text, sizeof text, " %llu/%llu files  %s  %s words/s  %s left",
                static_cast<unsigned long long>(files),
                static_cast<unsigned long long>(totalFiles_),
                FormatBytes(bytes).c_str(), FormatCount(rate).c_str(),
                left.c_str());
  std::string status = text;
  int width = TerminalWidth() - 1;
  // A bar of constant width while the terminal has room for it.
  int barWidth = 24;
  std::string line;
  if (width - static_cast<int>(status.size()) - 2 >= barWidth) {
    double done = totalBytes_ == 0 ? 1.0
                                   : static_cast<double>(bytes) / totalBytes_;
    if (done > 1.0) done = 1.0;
    int filled = static_cast<int>(done * barWidth);
    line = "[" + std::string(filled, '#') +
           std::string(barWidth - filled, '.') + "]";
  }
  line += status;
  if (static_cast<int>(line.size()) > width) line.resize(width);
  std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressT::Finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\x1b[K");
  std::fflush(stderr);
  drawn_ = false;
}
