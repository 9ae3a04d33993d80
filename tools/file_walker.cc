// The file walk; see file_walker.h.

#include "file_walker.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "tool_error.h"

namespace {

class WalkerT {
 public:
  WalkerT(const WalkOptionsT& options, std::vector<std::string>* problems)
      : options_(options), problems_(problems) {}

  void Visit(const std::string& path, bool named) {
    if (Stopped()) return;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
      std::string message = path + ": " + std::strerror(errno);
      if (named) Fail(message);
      problems_->push_back(message);  // a dangling link inside a tree
      return;
    }
    if (!seen_.insert({info.st_dev, info.st_ino}).second) return;
    if (S_ISDIR(info.st_mode)) {
      VisitDirectory(path);
    } else if (S_ISREG(info.st_mode)) {
      if (std::find(options_.Exclude.begin(), options_.Exclude.end(), path) !=
          options_.Exclude.end()) {
        return;
      }
      uint64_t size = static_cast<uint64_t>(info.st_size);
      if (options_.MaxBytes != 0 && bytes_ + size > options_.MaxBytes) {
        full_ = true;
        return;
      }
      bytes_ += size;
      files_.push_back({path, size});
    } else if (named) {
      Fail(path + ": not a file or directory");
    }
  }

  std::vector<FoundFileT> TakeFiles() { return std::move(files_); }

 private:
  bool Stopped() const {
    return full_ || (options_.Interrupted != nullptr && *options_.Interrupted);
  }

  void VisitDirectory(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
      problems_->push_back(path + ": " + std::strerror(errno));
      return;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") == 0 ||
          std::strcmp(entry->d_name, "..") == 0) {
        continue;
      }
      names.emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    std::string prefix = path == "/" ? path : path + "/";
    for (const std::string& name : names) {
      if (Stopped()) return;
      Visit(prefix + name, false);
    }
  }

  const WalkOptionsT& options_;
  std::vector<std::string>* problems_;
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::vector<FoundFileT> files_;
  uint64_t bytes_ = 0;
  bool full_ = false;
};

}  // namespace

std::string AbsolutePath(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string directory =
      slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char* real = realpath(directory.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string absolute = real;
  std::free(real);
  if (name.empty() || name == ".") return absolute;
  return absolute == "/" ? absolute + name : absolute + "/" + name;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::vector<FoundFileT> FindFiles(const std::vector<std::string>& paths,
                                  const WalkOptionsT& options,
                                  std::vector<std::string>* problems) {
  WalkerT walker(options, problems);
  for (const std::string& path : paths) {
    // The real path of a named directory gives stable names to its files
    // however it was named ("docs", "./docs/", a link to it).
    char* real = realpath(path.c_str(), nullptr);
    std::string absolute;
    if (real != nullptr) {
      absolute = real;
      std::free(real);
    } else {
      absolute = AbsolutePath(path);
    }
    walker.Visit(absolute, true);
  }
  return walker.TakeFiles();
}
