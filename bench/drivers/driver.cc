// The common main of the benchmark drivers: token and query files, the
// warm-up and timed passes over the query set, and the results file.
#include "driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char* const kClassNames[kQueryClassCount] = {
    "and", "or", "andnot", "phrase", "near", "prefix", "ranked"};

bool ParseClass(const std::string& name, QueryClassT* kind) {
  for (int i = 0; i < kQueryClassCount; ++i) {
    if (name == kClassNames[i]) {
      *kind = static_cast<QueryClassT>(i);
      return true;
    }
  }
  return false;
}

bool ReadQueries(const std::string& path, std::vector<QueryT>* queries) {
  std::ifstream in(path);
  if (!in) {
    fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    QueryT query;
    if (tab == std::string::npos || !ParseClass(line.substr(0, tab), &query.kind)) {
      fprintf(stderr, "%s: bad query line: %s\n", path.c_str(), line.c_str());
      return false;
    }
    std::istringstream terms(line.substr(tab + 1));
    std::string term;
    while (terms >> term) query.terms.push_back(term);
    size_t wanted = query.kind == kQueryPrefix ? 1 : 2;
    if (query.terms.size() < wanted) {
      fprintf(stderr, "%s: too few terms: %s\n", path.c_str(), line.c_str());
      return false;
    }
    queries->push_back(std::move(query));
  }
  return true;
}

// FNV-1a over the sorted record numbers: two engines that return the same
// records give the same hash whatever order they return them in.
uint64_t HashRecords(std::vector<uint32_t>* records) {
  std::sort(records->begin(), records->end());
  uint64_t hash = 1469598103934665603ull;
  for (uint32_t record : *records) {
    for (int shift = 0; shift < 32; shift += 8) {
      hash ^= (record >> shift) & 0xff;
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

// The peak resident memory of this process since it was started (VmHWM).
// Unlike the resource usage its parent sees, it leaves out the image of the
// parent that the process carried between fork and exec.
long PeakResidentKiB() {
  FILE* status = fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (fgets(line, sizeof line, status) != nullptr) {
    if (sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  fclose(status);
  return kib;
}

// Bytes this process has handed to write calls so far (wchar of
// /proc/self/io): the index and every temporary file alike.
long long WrittenBytes() {
  FILE* io = fopen("/proc/self/io", "r");
  if (io == nullptr) return -1;
  char line[256];
  long long bytes = -1;
  while (fgets(line, sizeof line, io) != nullptr) {
    if (sscanf(line, "wchar: %lld", &bytes) == 1) break;
  }
  fclose(io);
  return bytes;
}

int RunIndex(EngineT* engine, const std::string& tokenPath, const std::string& dir) {
  TokenFileT tokens;
  if (!tokens.Open(tokenPath) || !engine->Index(&tokens, dir)) return 1;
  printf("peak_rss_kib %ld\n", PeakResidentKiB());
  printf("written_bytes %lld\n", WrittenBytes());
  return 0;
}

int RunQueries(EngineT* engine, const std::string& dir, const std::string& queryPath,
               const std::string& outPath) {
  std::vector<QueryT> queries;
  if (!ReadQueries(queryPath, &queries)) return 1;
  if (!engine->Open(dir)) return 1;
  FILE* out = fopen(outPath.c_str(), "w");
  if (out == nullptr) {
    fprintf(stderr, "cannot write %s\n", outPath.c_str());
    return 1;
  }

  // Warm-up pass: every query once, in file order; its results are the ones
  // reported, so that the timed pass measures a warm cache.
  std::vector<uint32_t> records;
  std::vector<long> counts(queries.size(), -1);
  int failures = 0;
  for (size_t i = 0; i < queries.size(); ++i) {
    const QueryT& query = queries[i];
    const char* name = QueryClassName(query.kind);
    if (!engine->Supports(query.kind)) continue;
    records.clear();
    if (!engine->Run(query, &records)) {
      fprintf(out, "q %zu %s error -\n", i, name);
      ++failures;
      continue;
    }
    counts[i] = static_cast<long>(records.size());
    uint64_t hash = query.kind == kQueryRanked ? 0 : HashRecords(&records);
    fprintf(out, "q %zu %s %zu %016llx\n", i, name, records.size(),
            static_cast<unsigned long long>(hash));
  }

  // Timed passes, class by class. The machine is shared, so each class is
  // timed kTimedPasses times and the least total, the least disturbed, is
  // reported.
  constexpr int kTimedPasses = 3;
  for (int c = 0; c < kQueryClassCount; ++c) {
    QueryClassT kind = static_cast<QueryClassT>(c);
    if (!engine->Supports(kind)) {
      fprintf(out, "class %s unsupported\n", QueryClassName(kind));
      continue;
    }
    double best = 0;
    size_t run = 0;
    for (int pass = 0; pass < kTimedPasses; ++pass) {
      double total = 0;
      run = 0;
      for (size_t i = 0; i < queries.size(); ++i) {
        if (queries[i].kind != kind || counts[i] < 0) continue;
        records.clear();
        auto start = std::chrono::steady_clock::now();
        bool ok = engine->Run(queries[i], &records);
        total += std::chrono::duration<double, std::milli>(
                     std::chrono::steady_clock::now() - start).count();
        ++run;
        if (!ok || static_cast<long>(records.size()) != counts[i]) {
          fprintf(stderr, "query %zu gave a different result when timed\n", i);
          ++failures;
        }
      }
      if (pass == 0 || total < best) best = total;
    }
    fprintf(out, "class %s %zu %.3f\n", QueryClassName(kind), run, best);
  }
  if (fclose(out) != 0) {
    fprintf(stderr, "cannot write %s\n", outPath.c_str());
    return 1;
  }
  if (failures != 0) fprintf(stderr, "%d queries failed\n", failures);
  return 0;
}

}  // namespace

const char* QueryClassName(QueryClassT kind) { return kClassNames[kind]; }

TokenFileT::~TokenFileT() {
  if (file_ != nullptr) fclose(file_);
}

bool TokenFileT::Open(const std::string& path) {
  path_ = path;
  file_ = fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    fprintf(stderr, "cannot open %s\n", path.c_str());
    return false;
  }
  buffer_.resize(1 << 20);
  return true;
}

uint32_t TokenFileT::RecordCount() const {
  FILE* file = fopen(path_.c_str(), "rb");
  if (file == nullptr) return 0;
  // A small chunk: the count must not add to the peak memory measured.
  std::vector<char> chunk(1 << 16);
  uint32_t lines = 0;
  char last = '\n';
  size_t got;
  while ((got = fread(chunk.data(), 1, chunk.size(), file)) > 0) {
    lines += static_cast<uint32_t>(std::count(chunk.data(), chunk.data() + got, '\n'));
    last = chunk[got - 1];
  }
  fclose(file);
  return last == '\n' ? lines : lines + 1;
}

bool TokenFileT::FillLine(const char** end) {
  for (;;) {
    const char* data = buffer_.data();
    const void* nl = memchr(data + begin_, '\n', end_ - begin_);
    if (nl != nullptr) {
      *end = static_cast<const char*>(nl);
      return true;
    }
    if (eof_) {
      *end = data + end_;
      return end_ > begin_;  // a last line without its newline
    }
    // Move the partial line to the front, grow the buffer for a line longer
    // than it, and read on.
    memmove(buffer_.data(), data + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (end_ == buffer_.size()) buffer_.resize(2 * buffer_.size());
    size_t got = fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    if (got == 0) {
      if (ferror(file_)) {
        fprintf(stderr, "cannot read %s\n", path_.c_str());
        return false;
      }
      eof_ = true;
    }
    end_ += got;
  }
}

bool TokenFileT::NextRecord() {
  const char* end = nullptr;
  if (file_ == nullptr || !FillLine(&end)) return false;
  const char* begin = buffer_.data() + begin_;
  begin_ = std::min(static_cast<size_t>(end - buffer_.data()) + 1, end_);
  ++record_;
  line_ = std::string_view(begin, static_cast<size_t>(end - begin));
  words_.clear();
  for (const char* p = begin; p < end;) {
    const void* space = memchr(p, ' ', static_cast<size_t>(end - p));
    const char* stop = space != nullptr ? static_cast<const char*>(space) : end;
    if (stop > p) words_.emplace_back(p, static_cast<size_t>(stop - p));
    p = stop + 1;
  }
  return true;
}

int DriverMain(int argc, char** argv,
               std::unique_ptr<EngineT> (*make)(const std::string& variant)) {
  std::string command = argc > 1 ? argv[1] : "";
  bool isIndex = command == "index" && argc == 5;
  bool isQuery = command == "query" && argc == 6;
  if (!isIndex && !isQuery) {
    fprintf(stderr,
            "usage: %s index VARIANT TOKENS DIR\n"
            "       %s query VARIANT DIR QUERIES OUT\n",
            argv[0], argv[0]);
    return 2;
  }
  std::unique_ptr<EngineT> engine = make(argv[2]);
  if (!engine) {
    fprintf(stderr, "%s: unknown variant %s\n", argv[0], argv[2]);
    return 2;
  }
  return isIndex ? RunIndex(engine.get(), argv[3], argv[4])
                 : RunQueries(engine.get(), argv[3], argv[4], argv[5]);
}
