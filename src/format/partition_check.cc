// The integrity check of one partition.

#include "format/partition_check.h"

#include <cmath>
#include <vector>

#include "format/decoder.h"
#include "format/option_flags.h"
#include "format/word_info.h"
#include "storage/btree_check.h"
#include "storage/check_report.h"
#include "storage/fileclas.h"

namespace {

// Decodes one term's postings to their end. 1 when they are sound, else 0
// with the problem reported.
int CheckPostings(FileClassT* file, const WordIndexInfoT& info,
                  uint32_t recordCount, const unsigned char* key,
                  CheckReportT* report) {
  const int keyLength = key[0];
  const char* name = reinterpret_cast<const char*>(key + 1);
  IndexDecompressorT decoder;
  if (!decoder.StartDecompression(file, info)) {
    report->Add("term \"%.*s\": its postings cannot be read", keyLength, name);
    return 0;
  }
  TermInstanceT posting;
  uint32_t lastRecord = 0;
  uint32_t lastWord = 0;
  uint32_t records = 0;
  for (uint32_t item = 0; item < info.ItemCount; ++item) {
    const int result = info.IndexMode == WORD_MODE
                           ? decoder.NextWordHit(&posting, 0, 0)
                           : decoder.GetRecordRM(posting);
    if (result != kDecodeDelivered) {
      report->Add("term \"%.*s\": posting %u of %u cannot be decoded",
                  keyLength, name, item + 1, info.ItemCount);
      return 0;
    }
    const uint32_t record = posting.RecordNumber;
    const uint32_t word = posting.WordPosition;
    const bool ascending =
        record > lastRecord ||
        (info.IndexMode == WORD_MODE && record == lastRecord &&
         word > lastWord);
    if (record == 0 || record > recordCount || !ascending || word == 0) {
      report->Add("term \"%.*s\": posting %u (record %u, word %u) is out of "
                  "order or beyond the partition's %u records",
                  keyLength, name, item + 1, record, word, recordCount);
      return 0;
    }
    if (record != lastRecord) ++records;
    lastRecord = record;
    lastWord = word;
  }
  if (records != info.RecordCount) {
    report->Add("term \"%.*s\": its postings hold %u records, its word "
                "information says %u", keyLength, name, records,
                info.RecordCount);
    return 0;
  }
  return 1;
}

// Checks every dictionary entry as the B-tree check hands it over.
class TermCheckT : public BTreeEntryVisitorT {
 public:
  TermCheckT(FileClassT* file, const PartitionHeaderT& header,
             uint32_t position, CheckReportT* report)
      : File(file), Header(header), Position(position), Report(report) {}

  void VisitEntry(const unsigned char* key, const unsigned char* data,
                  uint32_t dataLength) override {
    if (Report->Full()) return;
    const uint32_t areaStart = Position + Header.PostingDataOffset;
    WordIndexInfoT info;
    if (!DecodeWordInformation(data, dataLength, areaStart, &info) ||
        info.IndexMode != Header.IndexMode) {
      Report->Add("term \"%.*s\": its word information is damaged", key[0],
                  reinterpret_cast<const char*>(key + 1));
      return;
    }
    if (info.Location == kPostingsInDataArea &&
        (Header.PostingDataOffset == 0 || info.DataOffset < areaStart ||
         info.DataOffset - areaStart >= Header.PostingDataLength)) {
      Report->Add("term \"%.*s\": its postings lie outside the posting data",
                  key[0], reinterpret_cast<const char*>(key + 1));
      return;
    }
    if (info.RecordCount > Header.RecordCount) {
      Report->Add("term \"%.*s\": %u records in a partition of %u", key[0],
                  reinterpret_cast<const char*>(key + 1), info.RecordCount,
                  Header.RecordCount);
      return;
    }
    CheckPostings(File, info, Header.RecordCount, key, Report);
  }

 private:
  FileClassT* File;
  const PartitionHeaderT& Header;
  uint32_t Position;
  CheckReportT* Report;
};

void CheckDocumentWeights(FileClassT* file, const PartitionHeaderT& h,
                          uint32_t position, CheckReportT* report) {
  if (!h.DocWeightFlag) return;
  const WordIndexInfoT info = DocWeightSegmentInfo(h, position);
  IndexDecompressorT decoder;
  if (!decoder.StartDecompression(file, info)) {
    report->Add("the compressed document weights cannot be read");
    return;
  }
  decoder.SetDocumentWeightInfo(h.LargestWeight, h.SmallestWeight,
                                h.WeightRatio);
  for (uint32_t record = 1; record <= h.RecordCount; ++record) {
    float weight = 0;
    uint32_t words = 0;
    if (decoder.NextDocWeight(&weight, &words, 0) != kDecodeDelivered ||
        !std::isfinite(weight)) {
      report->Add("the compressed document weight of record %u cannot be "
                  "decoded", record);
      return;
    }
  }
  if (!file->Seek(position + h.WeightTableOffset)) {
    report->Add("the document weight table cannot be read");
    return;
  }
  for (uint32_t record = 1; record <= h.RecordCount; ++record) {
    float weight = 0;
    if (!file->ReadFloat(&weight)) {
      report->Add("the document weight table cannot be read");
      return;
    }
    if (!std::isfinite(weight) || weight < 0) {
      report->Add("the document weight of record %u is %g", record, weight);
      return;
    }
  }
}

// Where record area i (data table, data, ID table, ID data) lies, relative
// to the header: it ends where the next present one starts, or at the
// partition's end. Length 0 for an area the partition does not hold.
void RecordArea(const PartitionHeaderT& h, int area, uint32_t* start,
                uint32_t* length) {
  const uint32_t starts[] = {h.RecordDataPointerOffset, h.RecordDataOffset,
                             h.RecordIdPointerOffset, h.RecordIdDataOffset};
  *start = starts[area];
  *length = 0;
  if (*start == 0) return;
  uint32_t end = h.EndOffset;
  for (int next = area + 1; next < 4; ++next) {
    if (starts[next] != 0) {
      end = starts[next];
      break;
    }
  }
  *length = end > *start ? end - *start : 0;
}

// One record table: a pointer table into an area (variable length), or a
// table of fixed-length entries.
void CheckRecordTable(FileClassT* file, const PartitionHeaderT& h,
                      uint32_t position, const char* what, int tableArea,
                      bool variable, bool fixed, uint32_t pointerBytes,
                      uint32_t fixedLength, CheckReportT* report) {
  uint32_t tableStart = 0, tableLength = 0, areaStart = 0, areaLength = 0;
  RecordArea(h, tableArea, &tableStart, &tableLength);
  RecordArea(h, tableArea + 1, &areaStart, &areaLength);
  if (!variable && !fixed) return;
  const uint64_t records = h.RecordCount;
  if (fixed && !variable) {
    if (records * fixedLength != tableLength) {
      report->Add("the %s table holds %u bytes for %u records of %u", what,
                  tableLength, h.RecordCount, fixedLength);
    }
    return;
  }
  if (tableStart == 0 || (records + 1) * pointerBytes != tableLength) {
    report->Add("the %s table holds %u bytes for %u records", what,
                tableLength, h.RecordCount);
    return;
  }
  if (!file->Seek(position + tableStart)) {
    report->Add("the %s table cannot be read", what);
    return;
  }
  uint32_t previous = 0;
  for (uint64_t i = 0; i <= records; ++i) {
    uint32_t pointer = 0;
    if (!(pointerBytes == 8 ? file->ReadOffset(&pointer)
                            : file->ReadLong(&pointer))) {
      report->Add("the %s table cannot be read", what);
      return;
    }
    if (pointer < previous || pointer > areaLength || (i == 0 && pointer != 0)) {
      report->Add("the %s table's pointer %llu (%u) lies outside its area of "
                  "%u bytes or below the one before", what,
                  static_cast<unsigned long long>(i), pointer, areaLength);
      return;
    }
    previous = pointer;
  }
  if (previous != areaLength) {
    report->Add("the %s area holds %u bytes, its table ends at %u", what,
                areaLength, previous);
  }
}

}  // namespace

int CheckPartition(FileClassT* file, uint32_t position, uint32_t limit,
                   PartitionHeaderT* header, CheckReportT* report) {
  PartitionHeaderT h;
  StatusCodeT status = StatusNoError;
  if (!file->Seek(position) || !ReadPartitionHeader(file, &h, &status)) {
    if (status == StatusReadError) {
      report->Add("the partition header cannot be read");
    } else {
      report->Add("the partition header is not sound");
    }
    return 0;
  }
  if (h.EndOffset > limit - position || limit < position) {
    report->Add("the partition ends at %llu, beyond %u",
                static_cast<unsigned long long>(position) + h.EndOffset, limit);
    return 0;
  }
  *header = h;
  const uint32_t end = position + h.EndOffset;
  if (h.WordIndexFlag) {
    TermCheckT terms(file, h, position, report);
    // The dictionary's area ends where the posting data (or the next
    // present area) starts; the header check keeps them in order.
    uint64_t keys = CheckBTree(file, position + kPartitionDictionaryHeaderOffset,
                               end, &terms, report);
    if (!report->Full() && keys != h.TermCount) {
      report->Add("the dictionary holds %llu terms, the header says %u",
                  static_cast<unsigned long long>(keys), h.TermCount);
    }
  }
  if (!report->Full()) CheckDocumentWeights(file, h, position, report);
  const uint32_t flags = h.Options[0];
  if (!report->Full()) {
    CheckRecordTable(file, h, position, "record data", 0,
                     (flags & kOptionVariableRecordData) != 0,
                     (flags & kOptionFixedRecordData) != 0,
                     RecordDataPointerBytes(flags), h.FixedRecordDataLength,
                     report);
  }
  if (!report->Full()) {
    CheckRecordTable(file, h, position, "record ID", 2,
                     (flags & kOptionVariableRecordID) != 0,
                     (flags & kOptionFixedRecordID) != 0,
                     RecordIDPointerBytes(flags), h.FixedRecordIdLength,
                     report);
  }
  return 1;
}
