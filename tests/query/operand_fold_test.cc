// Folding any number of vectors into their OR, as wildcard and range
// expansions do.

#include "query/operand_fold.h"

#include <memory>
#include <set>
#include <utility>

#include "gtest/gtest.h"
#include "support/temp_dir.h"

namespace {

class EvenRecordsDeletedT : public DeletedRecordSetT {
 public:
  int IsRecordDeleted(uint32_t record) const override { return record % 2 == 0; }
};

TEST(OrFold, FoldsAnyNumberOfVectorsDroppingDeletedRecords) {
  ScopedTempDirT temp;
  EvenRecordsDeletedT deleted;
  QueryProcessorT processor(1000, &deleted, 0);
  // Counts around a group of 64 vectors and around 16 groups, whose partial
  // results are merged in turn.
  for (uint32_t count : {0u, 1u, 63u, 64u, 65u, 128u, 200u, 1024u, 1100u}) {
    OrFoldT fold(&processor);
    std::set<std::pair<uint32_t, uint32_t>> expected;
    for (uint32_t i = 0; i < count; ++i) {
      StatusCodeT status = StatusNoError;
      auto* vector = new UncompressedQueryVectorT(kScratchVectorBytes, &status);
      for (uint32_t record = 1 + i % 7; record < 300; record += 1 + i % 11) {
        TermInstanceT hit;
        hit.RecordNumber = record;
        hit.WordPosition = 1 + i % 3;
        vector->AddInstance(&hit, &status);
        if (record % 2 == 1) expected.insert({record, hit.WordPosition});
      }
      vector->Rewind(&status);
      ASSERT_EQ(fold.Add(vector, &status), 1);
      ASSERT_EQ(status, StatusNoError);
    }
    StatusCodeT status = StatusNoError;
    std::unique_ptr<UncompressedQueryVectorT> result(fold.Finish(&status));
    ASSERT_NE(result, nullptr);
    std::set<std::pair<uint32_t, uint32_t>> found;
    for (bool more = result->IsPositioned(); more;) {
      found.insert({result->CurrentRecord(), result->CurrentWord()});
      result->NextHit(&status);
      more = status == StatusNoError;
    }
    EXPECT_EQ(found, expected) << count << " vectors";
    EXPECT_EQ(result->InstanceCount, expected.size());
  }
}

TEST(OrFold, VectorsLeftInAnUnfinishedFoldAreDestroyed) {
  ScopedTempDirT temp;
  QueryProcessorT processor(10, nullptr, 0);
  OrFoldT fold(&processor);
  StatusCodeT status = StatusNoError;
  for (int i = 0; i < 70; ++i) {
    fold.Add(new UncompressedQueryVectorT(kScratchVectorBytes, &status), &status);
  }
}

}  // namespace
