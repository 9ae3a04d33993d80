// The lower-bound reference: reads the token file once, inverts it into
// posting lists (record, position) kept in a hash map, and writes them out
// raw, 8 bytes a posting. No engine can index with less work than touching
// every token once, so its figures are the floor the others are measured
// against. Its queries follow the benchmark's definitions literally, which
// also makes its answers the reference of the agreement check.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>

#include "driver.h"

namespace {

struct PostingT {
  uint32_t record;
  uint32_t position;
};

using PostingListT = std::vector<PostingT>;

const char kIndexFile[] = "/postings.raw";

bool WriteAll(FILE* file, const void* data, size_t length) {
  return length == 0 || fwrite(data, 1, length, file) == length;
}

bool ReadAll(FILE* file, void* data, size_t length) {
  return length == 0 || fread(data, 1, length, file) == length;
}

// Records of a list, each once, ascending.
std::vector<uint32_t> Records(const PostingListT& list) {
  std::vector<uint32_t> records;
  for (const PostingT& p : list) {
    if (records.empty() || records.back() != p.record) records.push_back(p.record);
  }
  return records;
}

// Calls match(record, positions of a, positions of b) for every record that
// holds both lists; positions are [begin, end) ranges of each list.
template <typename MatchT>
void ForCommonRecords(const PostingListT& a, const PostingListT& b, MatchT match) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    uint32_t ra = a[i].record, rb = b[j].record;
    if (ra < rb) {
      ++i;
    } else if (rb < ra) {
      ++j;
    } else {
      size_t ie = i, je = j;
      while (ie < a.size() && a[ie].record == ra) ++ie;
      while (je < b.size() && b[je].record == rb) ++je;
      match(ra, &a[i], &a[ie], &b[j], &b[je]);
      i = ie;
      j = je;
    }
  }
}

class LowerBoundEngineT : public EngineT {
 public:
  bool Index(TokenFileT* tokens, const std::string& dir) override {
    // Keys point into spelled, which copies each distinct term once.
    std::deque<std::string> spelled;
    std::unordered_map<std::string_view, PostingListT> lists;
    uint32_t records = 0;
    while (tokens->NextRecord()) {
      records = tokens->record();
      uint32_t position = 0;
      for (std::string_view word : tokens->words()) {
        auto it = lists.find(word);
        if (it == lists.end()) {
          spelled.emplace_back(word);
          it = lists.emplace(spelled.back(), PostingListT()).first;
        }
        it->second.push_back(PostingT{records, ++position});
      }
    }
    std::string path = dir + kIndexFile;
    FILE* file = fopen(path.c_str(), "wb");
    bool ok = file != nullptr && WriteAll(file, &records, sizeof records);
    for (const auto& [term, list] : lists) {
      if (!ok) break;
      uint32_t length = static_cast<uint32_t>(term.size());
      uint32_t count = static_cast<uint32_t>(list.size());
      ok = WriteAll(file, &length, sizeof length) && WriteAll(file, term.data(), length) &&
           WriteAll(file, &count, sizeof count) &&
           WriteAll(file, list.data(), count * sizeof(PostingT));
    }
    if (file != nullptr && fclose(file) != 0) ok = false;
    if (!ok) fprintf(stderr, "cannot write %s\n", path.c_str());
    return ok;
  }

  bool Open(const std::string& dir) override {
    std::string path = dir + kIndexFile;
    FILE* file = fopen(path.c_str(), "rb");
    bool ok = file != nullptr && ReadAll(file, &records_, sizeof records_);
    uint32_t length = 0;
    while (ok && fread(&length, sizeof length, 1, file) == 1) {
      std::string term(length, '\0');
      uint32_t count = 0;
      ok = ReadAll(file, term.data(), length) && ReadAll(file, &count, sizeof count);
      if (!ok) break;
      PostingListT& list = lists_[term];
      list.resize(count);
      ok = ReadAll(file, list.data(), count * sizeof(PostingT));
      terms_.emplace_back(std::move(term), &list);
    }
    if (file != nullptr) fclose(file);
    if (!ok) fprintf(stderr, "cannot read %s\n", path.c_str());
    std::sort(terms_.begin(), terms_.end());
    return ok;
  }

  bool Supports(QueryClassT) const override { return true; }

  bool Run(const QueryT& query, std::vector<uint32_t>* records) override {
    const PostingListT& a = List(query.terms[0]);
    const PostingListT& b = query.terms.size() > 1 ? List(query.terms[1]) : empty_;
    switch (query.kind) {
      case kQueryAnd:
        ForCommonRecords(a, b, [&](uint32_t r, auto...) { records->push_back(r); });
        break;
      case kQueryOr: {
        std::vector<uint32_t> ra = Records(a), rb = Records(b);
        std::set_union(ra.begin(), ra.end(), rb.begin(), rb.end(),
                       std::back_inserter(*records));
        break;
      }
      case kQueryAndNot: {
        std::vector<uint32_t> ra = Records(a), rb = Records(b);
        std::set_difference(ra.begin(), ra.end(), rb.begin(), rb.end(),
                            std::back_inserter(*records));
        break;
      }
      case kQueryPhrase:
        ForCommonRecords(a, b, [&](uint32_t r, const PostingT* ai, const PostingT* ae,
                                   const PostingT* bi, const PostingT* be) {
          for (; ai < ae && bi < be;) {
            if (ai->position + 1 == bi->position) {
              records->push_back(r);
              return;
            }
            if (ai->position + 1 < bi->position) ++ai; else ++bi;
          }
        });
        break;
      case kQueryNear:
        ForCommonRecords(a, b, [&](uint32_t r, const PostingT* ai, const PostingT* ae,
                                   const PostingT* bi, const PostingT* be) {
          for (; ai < ae && bi < be;) {
            uint32_t pa = ai->position, pb = bi->position;
            if ((pa > pb ? pa - pb : pb - pa) <= kNearDistance) {
              records->push_back(r);
              return;
            }
            if (pa < pb) ++ai; else ++bi;
          }
        });
        break;
      case kQueryPrefix: {
        const std::string& prefix = query.terms[0];
        seen_.assign(records_ + 1, 0);
        for (auto it = std::lower_bound(terms_.begin(), terms_.end(), prefix,
                                        [](const TermT& t, const std::string& p) {
                                          return t.first < p;
                                        });
             it != terms_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
          for (const PostingT& p : *it->second) seen_[p.record] = 1;
        }
        for (uint32_t r = 1; r <= records_; ++r) {
          if (seen_[r]) records->push_back(r);
        }
        break;
      }
      case kQueryRanked:
        Rank(query, records);
        break;
      case kQueryClassCount:
        return false;
    }
    return true;
  }

 private:
  const PostingListT& List(const std::string& term) {
    auto it = lists_.find(term);
    return it == lists_.end() ? empty_ : it->second;
  }

  // tf-idf: the sum over the query terms of (1 + ln tf) * ln(N / df).
  void Rank(const QueryT& query, std::vector<uint32_t>* records) {
    std::unordered_map<uint32_t, double> scores;
    for (const std::string& term : query.terms) {
      const PostingListT& list = List(term);
      std::vector<uint32_t> holding = Records(list);
      if (holding.empty()) continue;
      double idf = std::log(static_cast<double>(records_) / holding.size());
      for (size_t i = 0; i < list.size();) {
        size_t end = i;
        while (end < list.size() && list[end].record == list[i].record) ++end;
        scores[list[i].record] += (1 + std::log(static_cast<double>(end - i))) * idf;
        i = end;
      }
    }
    std::vector<std::pair<double, uint32_t>> ranked;
    for (const auto& [record, score] : scores) ranked.emplace_back(-score, record);
    size_t depth = std::min<size_t>(kRankedDepth, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + depth, ranked.end());
    for (size_t i = 0; i < depth; ++i) records->push_back(ranked[i].second);
  }

  uint32_t records_ = 0;
  std::unordered_map<std::string, PostingListT> lists_;
  using TermT = std::pair<std::string, const PostingListT*>;
  std::vector<TermT> terms_;  // sorted, for prefixes
  std::vector<uint8_t> seen_;
  const PostingListT empty_;
};

std::unique_ptr<EngineT> Make(const std::string& variant) {
  if (variant != "positions") return nullptr;
  return std::make_unique<LowerBoundEngineT>();
}

}  // namespace

int main(int argc, char** argv) { return DriverMain(argc, argv, Make); }
