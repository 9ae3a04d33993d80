// tarvis terms: walks the index's dictionary in key order, all partitions
// merged, printing each word with the number of records holding it and its
// number of hits. A PREFIX lists the words starting with it; a PATTERN with
// "*" or "?" the words it matches. The record ID terms the command indexes
// beside the words are not shown.

#include <cstdio>
#include <cstring>

#include "args.h"
#include "commands.h"
#include "index_handle.h"
#include "json.h"
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

// The command's own words hold letters and digits only; a key with other
// ASCII bytes is a record ID term.
bool IsWord(const unsigned char* key, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = key[i];
    if (c < 0x80 && !((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return length > 0;
}

}  // namespace

int RunTermsCommand(const CommandArgsT& arguments) {
  ArgsT args({{"limit", 'n', true}, {"json", 0, false}}, arguments);
  if (args.HelpRequested()) return PrintHelp(kTermsHelp);
  args.ExpectPositional(1, 2, "INDEX");
  unsigned long limit = args.Number("limit", 0, 0, 1ul << 31);
  bool json = args.Has("json");
  std::string pattern =
      args.Positional().size() > 1 ? FoldText(args.Positional()[1]) : "";
  if (pattern.size() > kMaxWordBytes) UsageError("PREFIX is too long");
  size_t wildcard = pattern.find_first_of("*?");
  std::string prefix = pattern.substr(0, wildcard);

  IndexHandleT handle(args.Positional()[0]);
  handle.OpenForRetrieval();
  std::string out;
  if (handle.Records() > 0) {
    WordHighlighterT* matcher = nullptr;
    StatusCodeT status = 0;
    if (wildcard != std::string::npos) {
      matcher = tvCreateHighlightMatcher(&status);
      handle.Check(status, "pattern");
      tvAddWildCardPatternToHighlightMatcher(
          matcher, reinterpret_cast<unsigned char*>(&pattern[0]),
          pattern.size(), &status);
    }
    DictionaryCursorT cursor;
    std::memset(&cursor, 0, sizeof cursor);
    unsigned char key[256];
    key[0] = static_cast<unsigned char>(prefix.size());
    std::memcpy(key + 1, prefix.data(), prefix.size());
    BooleanT found = 0;
    unsigned long records = 0, hits = 0, listed = 0;
    if (status >= 0) {
      tvFindKey(handle.Manager(), &cursor, key, &found, &records, &hits,
                &status);
    }
    while (status >= 0 && (limit == 0 || listed < limit)) {
      size_t length = key[0];
      if (length < prefix.size() ||
          std::memcmp(key + 1, prefix.data(), prefix.size()) != 0) {
        break;  // past every key with the prefix
      }
      if (IsWord(key + 1, length) &&
          (matcher == nullptr ||
           tvHighlightMatcherMatch(matcher, key + 1, length))) {
        std::string word(reinterpret_cast<const char*>(key + 1), length);
        if (json) {
          out += JsonObjectT()
                     .Add("word", word)
                     .Add("records", records)
                     .Add("hits", hits)
                     .Text();
        } else {
          char counts[64];
          std::snprintf(counts, sizeof counts, "%10lu %10lu  ", records,
                        hits);
          out += counts + word;
        }
        out += "\n";
        ++listed;
      }
      tvNextKey(handle.Manager(), &cursor, key, &records, &hits, &status);
    }
    tvDeleteHighlightMatcher(matcher);
    if (status != StatusEndOfWordList) handle.Check(status, "dictionary");
  }
  handle.Close();
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kExitSuccess;
}
