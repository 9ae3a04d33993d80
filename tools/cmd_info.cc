// tarvis info: what an index is: its mode, partitions, records, deleted
// records, size on disk and the tokenizer options it was built with.

#include <sys/stat.h>

#include <cstdio>

#include "args.h"
#include "commands.h"
#include "index_handle.h"
#include "json.h"
#include "progress.h"
#include "settings.h"
#include "tool_error.h"

namespace {

const char kInfoHelp[] =
    "usage: tarvis info [--json] INDEX\n"
    "\n"
    "Shows the index mode, the partitions (one per indexing session until\n"
    "optimized), the records and deleted records, the size of the index file\n"
    "and the options its words were made with.\n";

}  // namespace

int RunInfoCommand(const CommandArgsT& arguments) {
  ArgsT args({{"json", 0, false}}, arguments);
  if (args.HelpRequested()) return PrintHelp(kInfoHelp);
  args.ExpectPositional(1, 1, "INDEX");
  const std::string index = args.Positional()[0];

  IndexHandleT handle(index);
  handle.OpenForRetrieval();
  IndexSettingsT settings;
  bool hasSettings = LoadSettings(index, &settings);
  unsigned long records = handle.Records();
  StatusCodeT status = 0;
  unsigned long deleted = tvGetNumberOfRecordsDeleted(handle.Manager(), &status);
  handle.Check(status, "deleted records");
  unsigned long partitions = handle.Partitions();
  handle.Close();
  struct stat file;
  unsigned long bytes =
      stat(index.c_str(), &file) == 0 ? static_cast<unsigned long>(file.st_size)
                                      : 0;
  std::string stop = settings.Stop == "list"
                         ? std::to_string(settings.StopWords.size()) + " words"
                         : settings.Stop;
  if (!hasSettings) stop = "unknown (no " + SettingsPath(index) + ")";

  std::string out;
  if (args.Has("json")) {
    JsonObjectT object;
    object.Add("index", index);
    if (hasSettings) object.Add("mode", std::string(ModeName(settings.Mode)));
    object.Add("partitions", partitions);
    object.Add("records", records)
        .Add("deleted", deleted)
        .Add("bytes", bytes);
    if (hasSettings) {
      object.Add("split", settings.Split)
          .AddRaw("stem", settings.Stem ? "true" : "false")
          .Add("stop", stop);
    }
    out = object.Text() + "\n";
  } else {
    char line[512];
    auto add = [&out, &line](const char* name, const std::string& value) {
      std::snprintf(line, sizeof line, "%-11s %s\n", name, value.c_str());
      out += line;
    };
    add("index:", index);
    add("mode:", hasSettings ? ModeName(settings.Mode) : "unknown");
    add("partitions:", std::to_string(partitions));
    add("records:", std::to_string(records - deleted) + " (" +
                        std::to_string(records) + " stored, " +
                        std::to_string(deleted) + " deleted)");
    add("size:", FormatBytes(bytes) + " (" + std::to_string(bytes) +
                     " bytes)");
    if (hasSettings) {
      add("split:", settings.Split);
      add("stem:", settings.Stem ? "yes" : "no");
    }
    add("stop:", stop);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kExitSuccess;
}
