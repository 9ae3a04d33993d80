// tarvis terms: walks the index's dictionary in key order, all partitions
// merged, printing each word with the number of records holding it and its
// number of hits. A PREFIX lists the words starting with it; a PATTERN with
// "*" or "?" the words it matches (term_list.h).

#include <cstdio>

#include "args.h"
#include "commands.h"
#include "index_handle.h"
#include "json.h"
#include "term_list.h"
#include "tokenizer.h"
#include "tool_error.h"

namespace {

const char kTermsHelp[] =
    "usage: tarvis terms [options] INDEX [PREFIX|PATTERN]\n"
    "\n"
    "Lists the words of INDEX in order, each with the number of records that\n"
    "hold it and its number of hits: all of them, those starting with PREFIX,\n"
    "or those matching PATTERN (\"*\" any rest, \"?\" one character).\n"
    "\n"
    "options:\n"
    "  -n, --limit N   list at most N words\n"
    "  --json          one JSON object per word\n";

}  // namespace

int RunTermsCommand(const CommandArgsT& arguments) {
  ArgsT args({{"limit", 'n', true}, {"json", 0, false}}, arguments);
  if (args.HelpRequested()) return PrintHelp(kTermsHelp);
  args.ExpectPositional(1, 2, "INDEX");
  unsigned long limit = args.Number("limit", 0, 0, 1ul << 31);
  bool json = args.Has("json");
  const std::string pattern =
      args.Positional().size() > 1 ? args.Positional()[1] : "";
  if (FoldText(pattern).size() > kMaxWordBytes) {
    UsageError("PREFIX is too long");
  }

  IndexHandleT handle(args.Positional()[0]);
  handle.OpenForRetrieval();
  std::string out;
  TermListT terms(handle, pattern);
  TermT term;
  for (unsigned long listed = 0;
       (limit == 0 || listed < limit) && terms.Next(&term); ++listed) {
    if (json) {
      out += JsonObjectT()
                 .Add("word", term.Word)
                 .Add("records", term.Records)
                 .Add("hits", term.Hits)
                 .Text();
    } else {
      char counts[64];
      std::snprintf(counts, sizeof counts, "%10lu %10lu  ", term.Records,
                    term.Hits);
      out += counts + term.Word;
    }
    out += "\n";
  }
  handle.Close();
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kExitSuccess;
}
