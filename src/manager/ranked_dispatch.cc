// IndexManagerT::ProcessRankedQuery: a query in its two optional parts, a
// Boolean query that selects records and a ranked query that scores them.

#include <memory>

#include "format/option_flags.h"
#include "manager/index_manager.h"
#include "query/ranked_manager.h"

namespace {

// A part made of nothing but blanks is not given.
int IsGiven(const unsigned char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  return *text != 0;
}

}  // namespace

QueryVectorBaseT* IndexManagerT::ProcessRankedQuery(
    const unsigned char* rankedQuery, const unsigned char* booleanQuery,
    StatusCodeT* status) {
  *status = StatusNoError;
  if (!IsGiven(rankedQuery)) {
    return IsGiven(booleanQuery) ? ProcessQueryHitsOnDemand(booleanQuery, status)
                                 : nullptr;
  }
  // The ranking asks the Boolean result for its records only.
  std::unique_ptr<QueryVectorBaseT> selected;
  if (IsGiven(booleanQuery)) {
    selected.reset(ProcessQueryRecords(booleanQuery, status));
    if (selected == nullptr || *status < 0) return nullptr;
  }
  // The weighting follows the document weights the index keeps.
  const uint32_t mode = WeightMethodFromOptions(Index.Header().Options());
  RankedManagerT ranking(&Loaded, rankedQuery, selected.get(), mode,
                         RankedLimit + 1);
  std::unique_ptr<UncompressedQueryVectorT> ranked(ranking.ParseQuery(status));
  if (ranked == nullptr) return nullptr;
  ranked->Rewind(status);
  if (*status < 0) return nullptr;
  return ranked.release();
}
