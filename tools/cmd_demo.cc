// tarvis demo: with nothing to set up, indexes texts every Debian system
// has (the licence texts under /usr/share/common-licenses and a bounded
// part of /usr/share/doc) into a temporary directory, then runs example
// queries of every kind, each shown with the command line that runs it.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "args.h"
#include "commands.h"
#include "tool_error.h"

namespace {

const char kDemoHelp[] =
    "usage: tarvis demo [--keep]\n"
    "\n"
    "Indexes /usr/share/common-licenses and part of /usr/share/doc into a\n"
    "temporary directory and runs example searches of every kind, each shown\n"
    "with its command line. The index is removed afterwards unless --keep is\n"
    "given.\n";

// The text budget taken from /usr/share/doc: enough for interesting
// results, small enough to index in seconds.
const char kMaxBytes[] = "24000000";

std::string ShellQuote(const std::string& arg) {
  if (!arg.empty() &&
      arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVW"
                            "XYZ0123456789-_./=+:@,") == std::string::npos) {
    return arg;
  }
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted.push_back(c);
    }
  }
  return quoted + "'";
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Shows a command line, runs it and returns its exit status; a failure is
// shown as the command itself would show it, and the demo goes on.
int Show(const char* name, int (*run)(const CommandArgsT&),
         const CommandArgsT& args, const char* comment) {
  std::printf("\n# %s\n$ tarvis %s", comment, name);
  for (const std::string& arg : args) {
    std::printf(" %s", ShellQuote(arg).c_str());
  }
  std::printf("\n");
  std::fflush(stdout);
  try {
    int status = run(args);
    std::fflush(stdout);
    return status;
  } catch (const ToolErrorT& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "tarvis: %s: %s\n", name, error.Message.c_str());
    return error.ExitStatus;
  }
}

void RemoveTree(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") == 0 ||
          std::strcmp(entry->d_name, "..") == 0) {
        continue;
      }
      std::string child = path + "/" + entry->d_name;
      if (IsDirectory(child)) {
        RemoveTree(child);
      } else {
        std::remove(child.c_str());
      }
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

}  // namespace

int RunDemoCommand(const CommandArgsT& arguments) {
  ArgsT args({{"keep", 0, false}}, arguments);
  if (args.HelpRequested()) return PrintHelp(kDemoHelp);
  args.ExpectPositional(0, 0, "");

  std::vector<std::string> sources;
  for (const char* path : {"/usr/share/common-licenses", "/usr/share/doc"}) {
    if (IsDirectory(path)) sources.emplace_back(path);
  }
  if (sources.empty()) {
    Fail("neither /usr/share/common-licenses nor /usr/share/doc is here");
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") +
                        "/tarvis-demo.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    Fail(pattern + ": " + std::strerror(errno));
  }
  const std::string dir = name.data();
  const std::string index = dir + "/docs.idx";

  std::printf("Tarvis demo: indexing the licence texts and documentation of "
              "this system into %s\n", dir.c_str());
  CommandArgsT indexArgs = {"--stem", "--stop", "english", "--max-bytes",
                            kMaxBytes, index};
  indexArgs.insert(indexArgs.end(), sources.begin(), sources.end());
  int status = Show("index", RunIndexCommand, indexArgs,
                    "index one record per file, English stems, common words left out");
  if (status == kExitInterrupted || (status != kExitSuccess &&
                                     status != kExitFailure)) {
    RemoveTree(dir);
    return status;
  }

  struct ExampleT {
    const char* Comment;
    CommandArgsT Args;
  };
  const std::vector<ExampleT> searches = {
      {"a word: every form of it, thanks to stemming",
       {"-n", "3", index, "warranties"}},
      {"both words (AND is also what two words side by side mean)",
       {"-n", "3", index, "patent AND royalty"}},
      {"either word", {"-n", "3", index, "mozilla OR apache"}},
      {"one word without the other", {"-n", "3", index, "warranty NOT gnu"}},
      {"a phrase", {"-n", "3", index, "\"free software foundation\""}},
      {"two words at most 5 words apart",
       {"-n", "3", index, "source NEAR object"}},
      {"two words at most 2 words apart", {"-n", "3", index, "moral W/2 rights"}},
      {"grouping", {"-n", "3", index, "(trademark OR trademarks) AND logo"}},
      {"a wildcard: any ending", {"-n", "3", index, "sublicens*"}},
      {"a wildcard: any one letter", {"-n", "3", index, "licen?e"}},
      {"a range of words: the years 1989 to 1991",
       {"-n", "3", index, "1989 - 1991"}},
      {"ranked by score", {"--ranked", "-n", "5", index, "liability damages"}},
      {"ranked by other words, among the records that match the query",
       {"--rank", "+merchantability fitness", "-n", "3", index, "warranty"}},
      {"how many records match", {"--count", index, "copyright"}},
      {"JSON for scripts", {"--json", "-n", "1", index, "public domain"}},
  };
  for (const ExampleT& example : searches) {
    Show("search", RunSearchCommand, example.Args, example.Comment);
  }
  Show("terms", RunTermsCommand, {"-n", "8", index, "licen*"},
       "the words of the index starting with licen, with records and hits");
  Show("info", RunInfoCommand, {index}, "what the index holds");

  if (args.Has("keep")) {
    std::printf("\nThe index stays in %s.\n", dir.c_str());
  } else {
    RemoveTree(dir);
    std::printf("\nThe demo index was removed (tarvis demo --keep keeps it).\n");
  }
  return kExitSuccess;
}
