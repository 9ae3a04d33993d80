// Tarvis through its public header only. Variants: "word", "record" and
// "idf" pick the index mode and index everything in one session; a "-multi"
// suffix splits the records over kSessions sessions, one partition each, and
// merges them with the optimiser afterwards; a "-mN" suffix gives the
// sessions N MiB of working memory (tvSetIndexingMemory) instead of the
// default. Terms reach the engine as hex
// words in the short query form; results are walked record by record.
#include <tarvis/tarvis.h>

#include <cstdio>
#include <cstring>

#include "driver.h"

namespace {

const char kIndexFile[] = "/index.tvx";
constexpr uint32_t kSessions = 16;

bool Ok(StatusCodeT status, const char* what) {
  if (status >= 0) return true;
  fprintf(stderr, "tarvis: %s: %s\n", what, StatusCodeMessage(status));
  return false;
}

std::string HexWord(const std::string& term) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex = "0x";
  for (unsigned char c : term) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

class TarvisEngineT : public EngineT {
 public:
  TarvisEngineT(unsigned long mode, uint32_t sessions, unsigned long memory)
      : mode_(mode), sessions_(sessions), memory_(memory) {}

  ~TarvisEngineT() override {
    if (manager_ == nullptr) return;
    StatusCodeT status = 0;
    tvEndRetrievalSession(manager_, &status);
    tvCloseIndex(manager_, &status);
    tvDeleteIndexManager(manager_, &status);
  }

  bool Index(TokenFileT* tokens, const std::string& dir) override {
    UseForTemporaryFiles(dir);
    std::string path = dir + kIndexFile;
    StatusCodeT status = 0;
    manager_ = tvCreateIndexManager(&status);
    if (!Ok(status, "create manager")) return false;
    tvSetIndexingMemory(manager_, memory_, &status);
    if (!Ok(status, "set indexing memory")) return false;
    tvCreateIndex(manager_, &path[0], mode_, &status);
    if (!Ok(status, "create index")) return false;
    tvOpenIndex(manager_, &path[0], &status);
    if (!Ok(status, "open index")) return false;

    uint32_t perSession =
        sessions_ > 1 ? (tokens->RecordCount() + sessions_ - 1) / sessions_ : UINT32_MAX;
    WordTypeT word;
    memset(&word, 0, sizeof word);
    bool more = tokens->NextRecord();
    while (more) {
      IndexerT* indexer = tvStartIndexingSession(manager_, &status);
      if (!Ok(status, "start session")) return false;
      for (uint32_t n = 0; more && n < perSession; ++n, more = tokens->NextRecord()) {
        for (std::string_view w : tokens->words()) {
          word.WordLength = static_cast<uint8_t>(w.size());
          memcpy(word.Word, w.data(), word.WordLength);
          tvIndexWord(indexer, &word, &status);
          if (!Ok(status, "index word")) return false;
        }
        tvIncrementRecord(indexer, &word, &status);
        if (!Ok(status, "next record")) return false;
      }
      tvEndIndexingSession(manager_, indexer, &word, &status);
      if (!Ok(status, "end session")) return false;
    }
    if (sessions_ > 1) {
      tvOptomizeIndex(manager_, sessions_, &status);
      if (!Ok(status, "optimise")) return false;
      tvEndOptomization(manager_, nullptr, 0, &status);
      if (!Ok(status, "end optimisation")) return false;
    }
    tvCloseIndex(manager_, &status);
    return Ok(status, "close index");
  }

  bool Open(const std::string& dir) override {
    // Large query results spill to temporary files.
    UseForTemporaryFiles(dir);
    std::string path = dir + kIndexFile;
    StatusCodeT status = 0;
    manager_ = tvCreateIndexManager(&status);
    if (!Ok(status, "create manager")) return false;
    tvOpenIndex(manager_, &path[0], &status);
    if (!Ok(status, "open index")) return false;
    tvStartRetrievalSession(manager_, &status);
    if (!Ok(status, "start retrieval")) return false;
    // A ranked query asks for what the run reads of it, as the peers do.
    tvSetRankedResultLimit(manager_, kRankedDepth, &status);
    return Ok(status, "ranked result limit");
  }

  bool Supports(QueryClassT kind) const override {
    return mode_ == WORD_MODE || (kind != kQueryPhrase && kind != kQueryNear);
  }

  bool Run(const QueryT& query, std::vector<uint32_t>* records) override {
    const std::vector<std::string>& t = query.terms;
    std::string text;
    switch (query.kind) {
      case kQueryAnd: text = HexWord(t[0]) + " & " + HexWord(t[1]); break;
      case kQueryOr: text = HexWord(t[0]) + " | " + HexWord(t[1]); break;
      case kQueryAndNot: text = HexWord(t[0]) + " ! " + HexWord(t[1]); break;
      case kQueryPhrase: text = "\"" + HexWord(t[0]) + " " + HexWord(t[1]) + "\""; break;
      case kQueryNear:
        text = HexWord(t[0]) + " w" + std::to_string(kNearDistance) + " " + HexWord(t[1]);
        break;
      case kQueryPrefix: text = HexWord(t[0]) + "*"; break;
      case kQueryRanked:
        for (const std::string& term : t) text += (text.empty() ? "" : " ") + HexWord(term);
        break;
      case kQueryClassCount: return false;
    }
    bool ranked = query.kind == kQueryRanked;
    StatusCodeT status = 0;
    unsigned char* q = reinterpret_cast<unsigned char*>(&text[0]);
    QueryVectorBaseT* vector =
        tvProcessQuery(manager_, ranked ? q : nullptr, ranked ? nullptr : q, &status);
    if (!Ok(status, "query")) return false;
    bool ok = Collect(vector, ranked ? kRankedDepth : UINT32_MAX, records);
    tvDeleteResultVector(vector, &status);
    return ok && Ok(status, "delete vector");
  }

 private:
  static void UseForTemporaryFiles(const std::string& dir) {
    std::string location = dir + "/";
    tvSetLocationForTemporaryFiles(location.c_str());
  }

  // Walks the vector from its first hit and appends its records, at most
  // limit of them.
  static bool Collect(QueryVectorBaseT* vector, uint32_t limit, std::vector<uint32_t>* records) {
    if (vector == nullptr) return true;
    StatusCodeT status = 0;
    unsigned long count = 0;
    tvNumHits(vector, nullptr, &count, nullptr, &status);
    if (count == 0) return Ok(status, "count hits");
    unsigned long record = 0;
    tvVectorCurrentHit(vector, &record, nullptr, nullptr, nullptr, &status);
    while (status == StatusNoError && records->size() < limit) {
      records->push_back(static_cast<uint32_t>(record));
      tvVectorNextRecord(vector, &record, nullptr, nullptr, nullptr, &status);
    }
    return Ok(status, "walk vector");
  }

  unsigned long mode_;
  uint32_t sessions_;
  unsigned long memory_;  // bytes; 0 for the default
  IndexManagerT* manager_ = nullptr;
};

std::unique_ptr<EngineT> Make(const std::string& variant) {
  std::string mode = variant;
  uint32_t sessions = 1;
  unsigned long memory = 0;
  size_t dash = variant.find('-');
  if (dash != std::string::npos) {
    std::string suffix = variant.substr(dash + 1);
    mode = variant.substr(0, dash);
    if (suffix == "multi") {
      sessions = kSessions;
    } else if (suffix.size() > 1 && suffix[0] == 'm' &&
               suffix.find_first_not_of("0123456789", 1) == std::string::npos) {
      memory = std::stoul(suffix.substr(1)) << 20;
    } else {
      return nullptr;
    }
  }
  unsigned long modes[] = {WORD_MODE, RECORD_MODE, IDF_MODE};
  const char* names[] = {"word", "record", "idf"};
  for (int i = 0; i < 3; ++i) {
    if (mode == names[i]) return std::make_unique<TarvisEngineT>(modes[i], sessions, memory);
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) { return DriverMain(argc, argv, Make); }
