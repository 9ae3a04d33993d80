// How long a commit holds the writer lock, and what a commit costs a reader
// working beside it.
//
//   bench_lock_hold TOKENS DIR [SHARES]
//
// The records of the token file are cut into SHARES shares (16 by default),
// indexed into one single-file word-mode index by one session each. A
// session's merge and compression run without the lock; adding its
// partition (tvMakeIndexActive: the partition copied in, the list and header
// written) is the commit timed. Then 1,000 records are deleted and the manager
// closed (the write-back of deletions); the last two partitions are merged
// and the optimisation ended (the whole index file written anew). Each of
// these calls is timed from the outside, an upper bound of the time the lock
// is held. Meanwhile a reader thread with a manager of its own runs a
// two-term AND query in a loop, reloading the index every 50 queries; its
// query times while a commit runs are set against its times alone.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tarvis/tarvis.h"

namespace {

using ClockT = std::chrono::steady_clock;

double Millis(ClockT::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void Check(StatusCodeT status, const char* what) {
  if (status < 0) {
    std::fprintf(stderr, "%s: %s\n", what, StatusCodeMessage(status));
    std::exit(1);
  }
}

std::string Hex(const std::string& word) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex = "0x";
  for (unsigned char c : word) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

IndexCreationParametersT* Params(const std::string& path) {
  StatusCodeT status = StatusNoError;
  IndexCreationParametersT* params = tvCreateIndexCreationParams(&status);
  uint32_t mode = WORD_MODE;
  tvSetIndexCreationParams(params, IndexParamSingleFile, nullptr);
  tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
  tvSetIndexCreationParams(params, IndexParamFileName,
                           const_cast<char*>(path.c_str()));
  tvSetIndexCreationParams(params, IndexParamWeightLogSum, nullptr);
  return params;
}

// Feeds lines first to last of the token file to a session of the open
// index and ends it without adding its partition.
IndexerT* BuildShare(IndexManagerT* manager,
                     const std::vector<std::string>& lines, size_t first,
                     size_t last) {
  StatusCodeT status = StatusNoError;
  IndexerT* indexer = tvStartIndexingSession(manager, &status);
  Check(status, "session");
  WordTypeT word = {};
  for (size_t r = first; r < last; ++r) {
    const std::string& line = lines[r];
    size_t start = 0;
    while (start < line.size()) {
      size_t end = line.find(' ', start);
      if (end == std::string::npos) end = line.size();
      const size_t length = std::min<size_t>(end - start, 255);
      std::memcpy(word.Word, line.data() + start, length);
      word.WordLength = static_cast<uint8_t>(length);
      if (length > 0) tvIndexWord(indexer, &word, &status);
      start = end + 1;
    }
    tvIncrementRecord(indexer, nullptr, &status);
  }
  Check(status, "indexing");
  tvFinalProcessIndex(manager, indexer, &status);
  Check(status, "session end");
  return indexer;
}

struct ReaderT {
  std::atomic<bool> Stop{false};
  std::atomic<bool> Busy{false};  // a commit is running
  std::vector<double> Alone, Beside;

  void Run(const std::string& index, const std::string& query) {
    StatusCodeT status = StatusNoError;
    IndexManagerT* m = tvCreateIndexManager(&status);
    tvOpenIndex(m, const_cast<char*>(index.c_str()), &status);
    tvStartRetrievalSession(m, &status);
    for (int n = 1; !Stop; ++n) {
      if (n % 50 == 0) {
        status = StatusNoError;
        tvReloadIndex(m, &status);
        tvStartRetrievalSession(m, &status);
      }
      const bool busy = Busy;
      const ClockT::time_point start = ClockT::now();
      status = StatusNoError;
      QueryVectorBaseT* hits = tvProcessQuery(
          m, nullptr, reinterpret_cast<unsigned char*>(
                          const_cast<char*>(query.c_str())),
          &status);
      if (hits != nullptr) tvDeleteResultVector(hits, &status);
      (busy && Busy ? Beside : Alone).push_back(Millis(ClockT::now() - start));
    }
    tvDeleteIndexManager(m, &status);
  }
};

void Report(const char* what, std::vector<double> times) {
  if (times.empty()) return;
  std::sort(times.begin(), times.end());
  std::printf("%-28s n=%-5zu median %8.2f ms  worst %8.2f ms\n", what,
              times.size(), times[times.size() / 2], times.back());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TOKENS DIR [SHARES]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[2];
  const size_t shares = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 16;
  std::vector<std::string> lines;
  {
    std::ifstream in(argv[1]);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  const std::string index = dir + "/lock.tvx";
  std::remove(index.c_str());
  StatusCodeT status = StatusNoError;
  IndexManagerT* writer = tvCreateIndexManager(&status);
  tvSetLockTimeout(writer, 600000, &status);
  IndexCreationParametersT* params = Params(index);
  tvCreateIndexEx(writer, params, &status);
  tvDeleteIndexCreationParams(params);
  Check(status, "create");

  // The reader needs a partition to query: the first share goes in alone.
  tvOpenIndex(writer, const_cast<char*>(index.c_str()), &status);
  auto share = [&](size_t s) {
    return BuildShare(writer, lines, lines.size() * s / shares,
                      lines.size() * (s + 1) / shares);
  };
  tvMakeIndexActive(writer, share(0), &status);
  Check(status, "append");
  ReaderT reader;
  std::thread readerThread(&ReaderT::Run, &reader, index,
                           Hex("the") + " & " + Hex("of"));

  // Each session's partition is built without the lock; only adding it to
  // the index (tvMakeIndexActive) is the commit.
  std::vector<double> appends;
  for (size_t s = 1; s < shares; ++s) {
    IndexerT* ended = share(s);
    reader.Busy = true;
    const ClockT::time_point start = ClockT::now();
    tvMakeIndexActive(writer, ended, &status);
    appends.push_back(Millis(ClockT::now() - start));
    reader.Busy = false;
    Check(status, "append");
  }
  tvStartRetrievalSession(writer, &status);
  unsigned long records = 0;
  tvNumberOfRecordsInIndex(writer, &records, &status);
  for (unsigned long r = 1; r <= records && r <= 1000 * 97; r += 97) {
    tvDeleteRecordNum(writer, r, &status);
  }
  reader.Busy = true;
  ClockT::time_point start = ClockT::now();
  tvCloseIndex(writer, &status);
  const double writeBack = Millis(ClockT::now() - start);
  reader.Busy = false;
  Check(status, "close");

  tvOpenIndex(writer, const_cast<char*>(index.c_str()), &status);
  tvStartRetrievalSession(writer, &status);
  tvOptomizeIndex(writer, 2, &status);
  Check(status, "optimise");
  reader.Busy = true;
  start = ClockT::now();
  tvEndOptomization(writer, nullptr, 0, &status);
  const double optimisationEnd = Millis(ClockT::now() - start);
  reader.Busy = false;
  Check(status, "optimisation end");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  reader.Stop = true;
  readerThread.join();
  tvCloseIndex(writer, &status);
  tvDeleteIndexManager(writer, &status);

  std::printf("%zu records in %zu shares\n", lines.size(), shares);
  Report("append (commit)", appends);
  Report("deletions written back", {writeBack});
  Report("optimisation end", {optimisationEnd});
  Report("reader query, alone", reader.Alone);
  Report("reader query, beside commit", reader.Beside);
  return 0;
}
