// The main program of a fuzz target in the normal builds: runs the target's
// LLVMFuzzerTestOneInput once over every file named on the command line and
// every file of every directory named there (its seed corpus), so that the
// test suite replays the corpus under the same sanitizers as the rest of the
// tests. A finding stops the program (sanitizer report or abort); otherwise
// it prints how many inputs it ran.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
    __attribute__((weak));

namespace {

void AddInputs(const std::string& path, std::vector<std::string>* inputs) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return;
  }
  if (!S_ISDIR(info.st_mode)) {
    inputs->push_back(path);
    return;
  }
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) AddInputs(path + "/" + name, inputs);
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) AddInputs(argv[i], &inputs);
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
    return 2;
  }
  for (const std::string& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu inputs ran clean\n", inputs.size());
  return 0;
}
