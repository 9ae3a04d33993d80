// The subcommands. Each takes the arguments after its name, writes its
// results on stdout, throws ToolErrorT on failure and returns the exit
// status of a run that did not fail.

#ifndef TARVIS_TOOLS_COMMANDS_H_
#define TARVIS_TOOLS_COMMANDS_H_

#include <string>
#include <vector>

using CommandArgsT = std::vector<std::string>;

int RunIndexCommand(const CommandArgsT& args);
int RunBuildPartitionCommand(const CommandArgsT& args);
int RunAddPartitionsCommand(const CommandArgsT& args);
int RunSearchCommand(const CommandArgsT& args);
int RunTermsCommand(const CommandArgsT& args);
int RunInfoCommand(const CommandArgsT& args);
int RunDeleteCommand(const CommandArgsT& args);
int RunUndeleteCommand(const CommandArgsT& args);
int RunOptimizeCommand(const CommandArgsT& args);
int RunStatsCommand(const CommandArgsT& args);
int RunCheckCommand(const CommandArgsT& args);
int RunDemoCommand(const CommandArgsT& args);

// Prints a help text on stdout; returns 0.
int PrintHelp(const char* text);

#endif  // TARVIS_TOOLS_COMMANDS_H_
