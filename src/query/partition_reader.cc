// PartitionReaderT: the partition header, the dictionary and the document
// weights of one partition.

#include "query/partition_reader.h"

#include "format/decoder.h"
#include "storage/allocation.h"
#include "storage/fileclas.h"

PartitionReaderT::PartitionReaderT(uint32_t partitionNumber)
    : Number(partitionNumber), Tree(kDictionaryCachePages) {}

PartitionReaderT::~PartitionReaderT() = default;

int PartitionReaderT::ReadHeader(FileClassT* file, StatusCodeT* status) {
  ReaderFile = nullptr;
  DictionaryLoaded = 0;
  Cursor = ReadBTreeCursorT();
  if (file == nullptr) {
    *status = StatusReadError;
    return 0;
  }
  HeaderStart = file->GetPosition();
  if (!ReadPartitionHeader(file, &HeaderData, status)) return 0;
  ReaderFile = file;
  return 1;
}

int PartitionReaderT::LoadDictionary(StatusCodeT* status) {
  if (DictionaryLoaded) return 1;
  if (ReaderFile == nullptr) {
    *status = StatusGeneralError;
    return 0;
  }
  if (HeaderData.WordIndexFlag &&
      (!ReaderFile->Seek(HeaderStart + kPartitionDictionaryHeaderOffset) ||
       !Tree.ReadHeader(ReaderFile) || !Tree.LoadTree())) {
    *status = StatusGeneralError;
    return 0;
  }
  DictionaryLoaded = 1;
  return 1;
}

int PartitionReaderT::DecodeWordInformation(WordIndexInfoT* info) const {
  const uint32_t areaStart = HeaderStart + HeaderData.PostingDataOffset;
  WordIndexInfoT decoded;
  if (!::DecodeWordInformation(Cursor.DataBytes(), Cursor.DataLength(),
                               areaStart, &decoded) ||
      decoded.IndexMode != HeaderData.IndexMode) {
    return 0;
  }
  // Postings in the data area start inside it.
  if (decoded.Location == kPostingsInDataArea &&
      (decoded.DataOffset < areaStart ||
       decoded.DataOffset - areaStart >= HeaderData.PostingDataLength)) {
    return 0;
  }
  *info = decoded;
  return 1;
}

int PartitionReaderT::LookupTerm(const unsigned char* key,
                                 WordIndexInfoT* info, StatusCodeT* status) {
  if (!LoadDictionary(status)) return 0;
  if (!HeaderData.WordIndexFlag || key == nullptr || key[0] == 0) return 0;
  const int found = Tree.FindKey(&Cursor, key);
  if (found == kBTreeNotFound) return 0;
  if (found != kBTreeFound) {
    *status = StatusGeneralError;
    return 0;
  }
  if (!DecodeWordInformation(info)) {
    *status = StatusReadError;
    return 0;
  }
  return 1;
}

IndexDecompressorT* PartitionReaderT::GetTermCounts(StatusCodeT* status) {
  if (ReaderFile == nullptr) {
    *status = StatusGeneralError;
    return nullptr;
  }
  if (!HeaderData.DocWeightFlag) return nullptr;
  IndexDecompressorT* weights = NewOrStatus<IndexDecompressorT>(status);
  if (weights == nullptr) return nullptr;
  const WordIndexInfoT info = DocWeightSegmentInfo(HeaderData, HeaderStart);
  if (!weights->StartDecompression(ReaderFile, info)) {
    delete weights;
    *status = StatusGeneralError;
    return nullptr;
  }
  weights->SetDocumentWeightInfo(HeaderData.LargestWeight,
                                 HeaderData.SmallestWeight,
                                 HeaderData.WeightRatio);
  return weights;
}
