// Shared plumbing of the benchmark drivers. Every driver is one program with
// two subcommands:
//   DRIVER index VARIANT TOKENS DIR         build an index of the token file
//   DRIVER query VARIANT DIR QUERIES OUT    run the query set, write results
// The token file holds one record per line (record r is line r, from 1), its
// tokens separated by single spaces; the query file one query per line, its
// class name, a tab, then the terms separated by spaces. A driver supplies an
// EngineT; everything else (reading, timing, the results file) lives here so
// that every engine is measured the same way.
#ifndef BENCH_DRIVERS_DRIVER_H_
#define BENCH_DRIVERS_DRIVER_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum QueryClassT {
  kQueryAnd,     // both terms in the record
  kQueryOr,      // either term
  kQueryAndNot,  // the first term and not the second
  kQueryPhrase,  // the second term right after the first
  kQueryNear,    // both terms at most kNearDistance positions apart
  kQueryPrefix,  // any term that starts with the prefix
  kQueryRanked,  // the engine's own top kRankedDepth records over 2-3 terms
  kQueryClassCount
};

constexpr uint32_t kNearDistance = 5;
constexpr uint32_t kRankedDepth = 10;

const char* QueryClassName(QueryClassT kind);

struct QueryT {
  QueryClassT kind;
  std::vector<std::string> terms;  // one entry, the prefix, for kQueryPrefix
};

// The token file, read through a buffer of its own so that the file does not
// count towards the memory of the engine being measured. Records come in
// order; the line and the words of the current record stay valid until the
// next call of NextRecord.
class TokenFileT {
 public:
  TokenFileT() = default;
  TokenFileT(const TokenFileT&) = delete;
  TokenFileT& operator=(const TokenFileT&) = delete;
  ~TokenFileT();

  bool Open(const std::string& path);
  // Number of records (lines) in the file, counted by a pass of its own.
  uint32_t RecordCount() const;
  // Moves to the next record; false at the end of the file or on a read
  // error (reported).
  bool NextRecord();
  // The current record's number (from 1), its line and its words.
  uint32_t record() const { return record_; }
  std::string_view line() const { return line_; }
  const std::vector<std::string_view>& words() const { return words_; }

 private:
  // Makes sure a whole line starts at begin_; false at the end of the file.
  bool FillLine(const char** end);

  std::string path_;
  FILE* file_ = nullptr;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // start of the unread part of buffer_
  size_t end_ = 0;    // end of the data in buffer_
  bool eof_ = false;
  uint32_t record_ = 0;
  std::string_view line_;
  std::vector<std::string_view> words_;
};

class EngineT {
 public:
  virtual ~EngineT() = default;
  // Builds the index of every record of tokens inside the directory dir
  // (which exists and is empty). Returns false after printing the reason.
  virtual bool Index(TokenFileT* tokens, const std::string& dir) = 0;
  // Opens the index in dir for querying.
  virtual bool Open(const std::string& dir) = 0;
  // Whether the engine, in this variant, can answer a class at all.
  virtual bool Supports(QueryClassT kind) const = 0;
  // Appends the numbers of the matching records to *records, each once, in
  // any order; for kQueryRanked the top records in rank order.
  virtual bool Run(const QueryT& query, std::vector<uint32_t>* records) = 0;
};

// The main of every driver: makes the engine for the variant (null for an
// unknown one) and runs the subcommand.
int DriverMain(int argc, char** argv,
               std::unique_ptr<EngineT> (*make)(const std::string& variant));

#endif  // BENCH_DRIVERS_DRIVER_H_
