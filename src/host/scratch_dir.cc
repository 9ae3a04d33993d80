// The scratch directory; see scratch_dir.h.

#include "scratch_dir.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <tarvis/tarvis.h>

#include "host_error.h"

ScratchDirT::ScratchDirT(const std::string& prefix) {
  std::string pattern = prefix + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    HostFail(StatusCannotOpenFile,
             prefix + ": cannot make a directory for temporary files: " +
                 std::strerror(errno));
  }
  path_ = name.data();
  std::string location = path_ + "/";
  tvSetLocationForTemporaryFiles(location.c_str());
}

ScratchDirT::~ScratchDirT() {
  tvSetLocationForTemporaryFiles(nullptr);
  if (DIR* dir = opendir(path_.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::remove((path_ + "/" + entry->d_name).c_str());
    }
    closedir(dir);
  }
  rmdir(path_.c_str());
}
