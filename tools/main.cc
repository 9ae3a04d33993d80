// tarvis: indexes files and searches them, a host of libtarvis built on its
// public interface alone. Dispatches to the subcommands and turns their
// failures into one line on stderr and the exit status.

#include <cstdio>
#include <cstring>
#include <new>

#include "args.h"
#include "commands.h"
#include "tool_error.h"

namespace {

const char kMainHelp[] =
    "usage: tarvis COMMAND [options] [arguments]\n"
    "\n"
    "Full-text indexing and search of files.\n"
    "\n"
    "commands:\n"
    "  index INDEX PATH...        add files and directories to an index\n"
    "  build-partition --settings INDEX.settings OUT.part PATH...\n"
    "                             build a partition file without an index\n"
    "  add-partitions INDEX PART...\n"
    "                             add partition files to an index, in order\n"
    "  search INDEX QUERY...      find records; --ranked orders by score\n"
    "  terms INDEX [PREFIX]       list the words of an index with counts\n"
    "  info INDEX                 mode, partitions, records and options\n"
    "  delete INDEX RECORD...     delete records by number\n"
    "  undelete INDEX RECORD...   bring deleted records back\n"
    "  optimize INDEX             merge partitions, drop deleted records\n"
    "  stats INDEX OUT            write the word statistics file\n"
    "  check INDEX                check the index file for damage\n"
    "  demo                       index this system's licence texts and\n"
    "                             documentation and search them\n"
    "\n"
    "\"tarvis COMMAND --help\" tells more about a command. Exit status: 0 on\n"
    "success (also for a search without hits), 1 on failure, 2 on a usage\n"
    "error, 130 when indexing was interrupted.\n";

struct CommandT {
  const char* Name;
  int (*Run)(const CommandArgsT&);
};

const CommandT kCommands[] = {
    {"index", RunIndexCommand},
    {"build-partition", RunBuildPartitionCommand},
    {"add-partitions", RunAddPartitionsCommand},
    {"search", RunSearchCommand},
    {"terms", RunTermsCommand},       {"info", RunInfoCommand},
    {"delete", RunDeleteCommand},     {"undelete", RunUndeleteCommand},
    {"optimize", RunOptimizeCommand}, {"stats", RunStatsCommand},
    {"check", RunCheckCommand},       {"demo", RunDemoCommand},
};

}  // namespace

int PrintHelp(const char* text) {
  std::fputs(text, stdout);
  return kExitSuccess;
}

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 ||
      std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "help") == 0) {
    if (argc < 2) {
      std::fputs(kMainHelp, stderr);
      return kExitUsage;
    }
    return PrintHelp(kMainHelp);
  }
  for (const CommandT& command : kCommands) {
    if (std::strcmp(argv[1], command.Name) != 0) continue;
    try {
      int status = command.Run(ArgumentList(argc, argv, 2));
      if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tarvis: %s: cannot write the output\n",
                     command.Name);
        return kExitFailure;
      }
      return status;
    } catch (const ToolErrorT& error) {
      if (error.ExitStatus == kExitUsage) {
        std::fprintf(stderr, "tarvis: %s: %s (see \"tarvis %s --help\")\n",
                     command.Name, error.Message.c_str(), command.Name);
      } else {
        std::fprintf(stderr, "tarvis: %s: %s\n", command.Name,
                     error.Message.c_str());
      }
      return error.ExitStatus;
    } catch (const HostErrorT& error) {
      std::fprintf(stderr, "tarvis: %s: %s\n", command.Name,
                   error.Message.c_str());
      return kExitFailure;
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "tarvis: %s: %s\n", command.Name,
                   StatusCodeMessage(StatusNotEnoughMemory));
      return kExitFailure;
    }
  }
  std::fprintf(stderr, "tarvis: unknown command '%s' (see \"tarvis --help\")\n",
               argv[1]);
  return kExitUsage;
}
