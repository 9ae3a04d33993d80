// SQLite FTS5 as a contentless table: the index alone, no copy of the text.
// Variant "full" keeps word positions (detail=full); "none" keeps only which
// records hold a term (detail=none) and cannot answer phrase or proximity.
// The table's ASCII tokenizer splits the token file's lines exactly where the
// benchmark's tokeniser did.
#include <sqlite3.h>

#include <cstdio>

#include "driver.h"

namespace {

const char kDatabaseFile[] = "/fts5.db";

std::string Quoted(const std::string& term) { return "\"" + term + "\""; }

class Fts5EngineT : public EngineT {
 public:
  explicit Fts5EngineT(bool positions) : positions_(positions) {}
  ~Fts5EngineT() override {
    sqlite3_finalize(select_);
    sqlite3_finalize(ranked_);
    sqlite3_close(db_);
  }

  bool Index(TokenFileT* tokens, const std::string& dir) override {
    if (!OpenDatabase(dir)) return false;
    std::string create = std::string("CREATE VIRTUAL TABLE t USING fts5(body, content='', ") +
                         "detail=" + (positions_ ? "full" : "none") + ", tokenize='ascii')";
    // One transaction for the whole load, no journal and no sync: the usual
    // settings of a bulk load that can simply be redone.
    if (!Exec("PRAGMA journal_mode=OFF") || !Exec("PRAGMA synchronous=OFF") ||
        !Exec(create.c_str()) || !Exec("BEGIN")) {
      return false;
    }
    sqlite3_stmt* insert = nullptr;
    if (!Check(sqlite3_prepare_v2(db_, "INSERT INTO t(rowid, body) VALUES(?, ?)", -1,
                                  &insert, nullptr))) {
      return false;
    }
    bool ok = true;
    while (ok && tokens->NextRecord()) {
      std::string_view line = tokens->line();
      sqlite3_bind_int64(insert, 1, tokens->record());
      sqlite3_bind_text(insert, 2, line.data(), static_cast<int>(line.size()), SQLITE_STATIC);
      ok = Check(sqlite3_step(insert));
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    // Merging every segment into one is FTS5's own optimisation step.
    return ok && Exec("COMMIT") && Exec("INSERT INTO t(t) VALUES('optimize')");
  }

  bool Open(const std::string& dir) override {
    return OpenDatabase(dir) &&
           Check(sqlite3_prepare_v2(db_, "SELECT rowid FROM t WHERE t MATCH ?", -1, &select_,
                                    nullptr)) &&
           Check(sqlite3_prepare_v2(db_,
                                    "SELECT rowid FROM t WHERE t MATCH ? ORDER BY rank LIMIT ?",
                                    -1, &ranked_, nullptr));
  }

  bool Supports(QueryClassT kind) const override {
    return positions_ || (kind != kQueryPhrase && kind != kQueryNear);
  }

  bool Run(const QueryT& query, std::vector<uint32_t>* records) override {
    const std::vector<std::string>& t = query.terms;
    std::string match;
    switch (query.kind) {
      case kQueryAnd: match = Quoted(t[0]) + " AND " + Quoted(t[1]); break;
      case kQueryOr: match = Quoted(t[0]) + " OR " + Quoted(t[1]); break;
      case kQueryAndNot: match = Quoted(t[0]) + " NOT " + Quoted(t[1]); break;
      case kQueryPhrase: match = Quoted(t[0] + " " + t[1]); break;
      // NEAR's distance counts the tokens between the two, one less than
      // the difference of their positions.
      case kQueryNear:
        match = "NEAR(" + Quoted(t[0]) + " " + Quoted(t[1]) + ", " +
                std::to_string(kNearDistance - 1) + ")";
        break;
      case kQueryPrefix: match = Quoted(t[0]) + "*"; break;
      case kQueryRanked:
        for (const std::string& term : t) match += (match.empty() ? "" : " OR ") + Quoted(term);
        break;
      case kQueryClassCount: return false;
    }
    sqlite3_stmt* stmt = query.kind == kQueryRanked ? ranked_ : select_;
    sqlite3_bind_text(stmt, 1, match.data(), static_cast<int>(match.size()), SQLITE_STATIC);
    if (query.kind == kQueryRanked) sqlite3_bind_int(stmt, 2, kRankedDepth);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      records->push_back(static_cast<uint32_t>(sqlite3_column_int64(stmt, 0)));
    }
    sqlite3_reset(stmt);
    return Check(rc);
  }

 private:
  bool OpenDatabase(const std::string& dir) {
    std::string path = dir + kDatabaseFile;
    return Check(sqlite3_open(path.c_str(), &db_));
  }

  bool Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
    fprintf(stderr, "sqlite: %s: %s\n", sql, error != nullptr ? error : "?");
    sqlite3_free(error);
    return false;
  }

  bool Check(int rc) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return true;
    fprintf(stderr, "sqlite: %s\n", db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
    return false;
  }

  bool positions_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  sqlite3_stmt* ranked_ = nullptr;
};

std::unique_ptr<EngineT> Make(const std::string& variant) {
  if (variant == "full") return std::make_unique<Fts5EngineT>(true);
  if (variant == "none") return std::make_unique<Fts5EngineT>(false);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) { return DriverMain(argc, argv, Make); }
