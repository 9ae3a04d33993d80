// tarvis search: runs a query typed as a person types it and prints each
// matching record with its stored path and a highlighted line of its file.
// A search without hits prints nothing and succeeds (exit status 0); only
// failures exit with 1, so scripts can tell "no hits" from "no index".

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "args.h"
#include "commands.h"
#include "index_handle.h"
#include "json.h"
#include "query_text.h"
#include "record_key.h"
#include "settings.h"
#include "snippet.h"
#include "tokenizer.h"
#include "tool_error.h"

namespace {

const char kSearchHelp[] =
    "usage: tarvis search [options] INDEX QUERY...\n"
    "\n"
    "Finds the records of INDEX that match QUERY and prints, for each, its\n"
    "record number, its file and a line of the file with the matched words\n"
    "highlighted. Words are folded, stemmed and stopped as the index was\n"
    "built.\n"
    "\n"
    "query language:\n"
    "  cat dog               both words (as cat AND dog)\n"
    "  cat OR dog            either word        cat NOT dog   cat, without dog\n"
    "  \"black cat\"           a phrase           (cat OR dog) AND food\n"
    "  cat NEAR dog          within --near words     cat W/3 dog  within 3\n"
    "  hous*   wom?n         wildcards          apple - apricot  a range\n"
    "\n"
    "options:\n"
    "  --ranked              order by score, using the query's words\n"
    "  --rank \"TERMS\"        order by score on TERMS (+word required,\n"
    "                        -word excluded); QUERY, if given, filters\n"
    "  -n, --limit N         print at most N hits\n"
    "  --offset N            skip the first N hits\n"
    "  --count               print only the number of matching records\n"
    "  --json                one JSON object per hit\n"
    "  --near N              the distance of NEAR (default 5)\n"
    "  --color auto|always|never\n"
    "                        highlight in colour (default: on a terminal)\n";

// The path as the user would name it: relative when below the current
// directory.
std::string ShownPath(const std::string& path) {
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) return path;
  std::string prefix = cwd;
  std::free(cwd);
  if (prefix != "/") prefix += "/";
  if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
    return path.substr(prefix.size());
  }
  return path;
}

bool UseColour(const ArgsT& args) {
  std::string choice = args.Value("color", "auto");
  if (choice == "always") return true;
  if (choice == "never") return false;
  if (choice != "auto") {
    UsageError("--color must be auto, always or never");
  }
  return isatty(STDOUT_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
}

std::string HitJson(const HitT& hit, bool ranked, const RecordKeyT& key,
                    const SnippetT& snippet) {
  JsonObjectT object;
  object.Add("record", hit.Record);
  if (ranked) {
    object.Add("score", std::isfinite(hit.Score) ? hit.Score : 0.0);
  }
  object.Add("path", key.Path);
  if (key.Kind == ':') object.Add("line", key.Number);
  if (key.Kind == '@') object.Add("offset", key.Number);
  object.Add("snippet", snippet.Text);
  std::string matches = "[";
  for (const auto& mark : snippet.Marks) {
    if (matches.size() > 1) matches += ",";
    matches += JsonString(
        snippet.Text.substr(mark.first, mark.second - mark.first));
  }
  object.AddRaw("matches", matches + "]");
  return object.Text();
}

std::string HitLine(const HitT& hit, bool ranked, const RecordKeyT& key,
                    const SnippetT& snippet, bool colour) {
  std::string line = "#" + std::to_string(hit.Record) + " ";
  if (ranked) {
    char score[32];
    std::snprintf(score, sizeof score, "%.4f ", hit.Score);
    line += score;
  }
  RecordKeyT shown = key;
  shown.Path = ShownPath(key.Path);
  std::string name = DisplayName(shown);
  line += colour ? "\x1b[35m" + name + "\x1b[0m" : name;
  if (snippet.Found) line += ": " + RenderSnippet(snippet, colour);
  return line;
}

}  // namespace

int RunSearchCommand(const CommandArgsT& arguments) {
  ArgsT args({{"ranked", 0, false},
              {"rank", 0, true},
              {"limit", 'n', true},
              {"offset", 0, true},
              {"count", 'c', false},
              {"json", 0, false},
              {"near", 0, true},
              {"color", 0, true}},
             arguments);
  if (args.HelpRequested()) return PrintHelp(kSearchHelp);
  bool rankOnly = args.Has("rank");
  args.ExpectPositional(rankOnly ? 1 : 2, static_cast<size_t>(-1),
                        rankOnly ? "INDEX" : "INDEX and QUERY");
  const std::string index = args.Positional()[0];
  std::string typed;
  for (size_t i = 1; i < args.Positional().size(); ++i) {
    if (i > 1) typed += " ";
    typed += args.Positional()[i];
  }
  unsigned long limit = args.Number("limit", 0, 0, 1ul << 31);
  unsigned long offset = args.Number("offset", 0, 0, 1ul << 31);
  unsigned long near = args.Number("near", 5, 1, 99);
  bool colour = UseColour(args);

  IndexHandleT handle(index);
  handle.OpenForRetrieval();
  IndexSettingsT settings;
  LoadSettings(index, &settings);
  StopWordsT stopWords(settings);
  TokenizerT tokenizer(settings.Stem, stopWords.List());

  QueryTextT query;
  if (!typed.empty()) query = ConvertUserQuery(typed, tokenizer, near);
  std::string ranked;
  if (rankOnly) {
    QueryTextT rankTerms = ConvertRankedTerms(args.Value("rank"), tokenizer);
    ranked = rankTerms.ShortForm;
    query.Terms.insert(query.Terms.end(), rankTerms.Terms.begin(),
                       rankTerms.Terms.end());
  } else if (args.Has("ranked")) {
    ranked = RankedQueryFromTerms(query);
    if (query.Terms.empty()) {
      Fail("--ranked needs words to score (ranges are not scored)");
    }
  }
  // A ranked query keeps no more records than are printed.
  const bool counting = args.Has("count");
  std::vector<HitT> hits = handle.Query(
      ranked, query.ShortForm, counting || limit == 0 ? 0 : offset + limit);

  std::string out;
  if (counting) {
    out = std::to_string(hits.size()) + "\n";
  } else {
    HighlighterT highlighter(query, tokenizer);
    bool json = args.Has("json");
    size_t first = std::min<size_t>(offset, hits.size());
    size_t last = limit == 0 ? hits.size()
                             : std::min<size_t>(hits.size(), first + limit);
    for (size_t i = first; i < last; ++i) {
      RecordKeyT key = ParseRecordData(handle.RecordData(hits[i].Record));
      SnippetT snippet = highlighter.Snippet(key, 160);
      out += json ? HitJson(hits[i], !ranked.empty(), key, snippet)
                  : HitLine(hits[i], !ranked.empty(), key, snippet, colour);
      out += "\n";
    }
  }
  handle.Close();
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kExitSuccess;
}
