// PartitionReaderT browsing: the dictionary position, the key-browsing
// interface over it, and the vector of the key at the position.

#include "query/partition_reader.h"

#include <cstring>

#include "query/compressed_vector.h"
#include "storage/allocation.h"

namespace {

// A key is copied with its length byte.
void CopyKey(unsigned char* out, const unsigned char* key) {
  std::memcpy(out, key, 1u + key[0]);
}

// A step of the dictionary to a status: moved, at the end given, or failed
// (without a position there was nowhere to step from).
StatusCodeT StepStatus(int result, int end, const ReadBTreeCursorT* cursor) {
  if (result == 1) return StatusNoError;
  if (result == end) return StatusEndOfWordList;
  return cursor->IsPositioned() ? StatusGeneralError : StatusNoCurrentKey;
}

}  // namespace

int PartitionReaderT::ReportCurrentKey(unsigned char* key, uint32_t& records,
                                       uint32_t& hits, StatusCodeT* status) {
  WordIndexInfoT info;
  if (!DecodeWordInformation(&info)) {
    *status = StatusReadError;
    return 0;
  }
  if (key != nullptr) CopyKey(key, Cursor.Key());
  records = info.RecordCount;
  hits = info.PostingCount;
  return 1;
}

int PartitionReaderT::FindKey(const unsigned char* key, BooleanT& found,
                              uint32_t& records, uint32_t& hits,
                              StatusCodeT* status) {
  found = 0;
  records = 0;
  hits = 0;
  if (key == nullptr) {
    *status = StatusMalformedParameter;
    return 0;
  }
  StatusCodeT loaded = StatusNoError;
  if (!LoadDictionary(&loaded)) {
    *status = StatusGeneralError;
    return 0;
  }
  if (!HeaderData.WordIndexFlag) {
    Cursor = ReadBTreeCursorT();
    return 1;
  }
  const int result = Tree.FindKey(&Cursor, key);
  if (result == kBTreeNotFound) return 1;
  if (result != kBTreeFound) {
    *status = StatusGeneralError;
    return 0;
  }
  if (!ReportCurrentKey(nullptr, records, hits, status)) return 0;
  found = 1;
  return 1;
}

int PartitionReaderT::CurrentKey(unsigned char* key, uint32_t& records,
                                 uint32_t& hits, StatusCodeT* status) {
  if (!Cursor.IsPositioned()) {
    *status = StatusNoCurrentKey;
    return 0;
  }
  return ReportCurrentKey(key, records, hits, status);
}

int PartitionReaderT::ReportStep(int result, int end, unsigned char* key,
                                 uint32_t& records, uint32_t& hits,
                                 StatusCodeT* status) {
  const StatusCodeT moved = StepStatus(result, end, &Cursor);
  if (moved < 0) {
    *status = moved;
    return 0;
  }
  return ReportCurrentKey(key, records, hits, status);
}

int PartitionReaderT::NextKey(unsigned char* key, uint32_t& records,
                              uint32_t& hits, StatusCodeT* status) {
  return ReportStep(Tree.NextKey(&Cursor), kBTreeAtLastKey, key, records, hits,
                    status);
}

int PartitionReaderT::PreviousKey(unsigned char* key, uint32_t& records,
                                  uint32_t& hits, StatusCodeT* status) {
  return ReportStep(Tree.PreviousKey(&Cursor), kBTreeAtFirstKey, key, records,
                    hits, status);
}

int PartitionReaderT::FindNthKey(uint32_t n, unsigned char* key,
                                 uint32_t& records, uint32_t& hits,
                                 StatusCodeT* status) {
  StatusCodeT loaded = StatusNoError;
  if (!LoadDictionary(&loaded)) {
    *status = StatusGeneralError;
    return 0;
  }
  // The key counts tell no more than that n lies beyond them.
  if (!HeaderData.WordIndexFlag || !Tree.GetNthKey(&Cursor, n)) {
    *status = StatusEndOfWordList;
    return 0;
  }
  return ReportCurrentKey(key, records, hits, status);
}

void PartitionReaderT::DF_FindKey(void* cursor, unsigned char* key,
                                  uint32_t& length, StatusCodeT* status) {
  *status = StatusNoError;
  if (length > 255 || (length != 0 && key == nullptr)) {
    *status = StatusBadKeyLength;
    return;
  }
  StatusCodeT loaded = StatusNoError;
  if (!LoadDictionary(&loaded)) {
    *status = StatusGeneralError;
    return;
  }
  if (!HeaderData.WordIndexFlag) {
    *status = StatusEndOfWordList;
    return;
  }
  if (!Tree.FindKey(DictionaryCursor(cursor), key, length)) {
    *status = StatusGeneralError;
  }
}

void PartitionReaderT::DF_CurrentKey(void* cursor, unsigned char* key,
                                     uint32_t& length, StatusCodeT* status) {
  *status = Tree.CurrentKey(DictionaryCursor(cursor), key, length)
                ? StatusNoError
                : StatusNoCurrentKey;
}

void PartitionReaderT::DF_NextKey(void* cursor, unsigned char* key,
                                  uint32_t& length, StatusCodeT* status) {
  ReadBTreeCursorT* c = DictionaryCursor(cursor);
  *status = StepStatus(Tree.NextKey(c, key, length), kBTreeAtLastKey, c);
}

void PartitionReaderT::DF_PreviousKey(void* cursor, unsigned char* key,
                                      uint32_t& length, StatusCodeT* status) {
  ReadBTreeCursorT* c = DictionaryCursor(cursor);
  *status = StepStatus(Tree.PreviousKey(c, key, length), kBTreeAtFirstKey, c);
}

CompressedQueryVectorT* PartitionReaderT::NewTermVector(
    const WordIndexInfoT* info, StatusCodeT* status) {
  StatusCodeT made = StatusNoError;
  CompressedQueryVectorT* vector =
      NewOrStatus<CompressedQueryVectorT>(status, &made);
  if (vector == nullptr) return nullptr;
  if (info != nullptr) {
    vector->HookVectorToIndex(ReaderFile, *info, &made);
    if (made < 0) {
      delete vector;
      *status = made;
      return nullptr;
    }
  }
  return vector;
}

CompressedQueryVectorT* PartitionReaderT::CurrentKeyVector(
    StatusCodeT* status) {
  WordIndexInfoT info;
  if (!DecodeWordInformation(&info)) {
    *status = StatusReadError;
    return nullptr;
  }
  return NewTermVector(&info, status);
}

CompressedQueryVectorT* PartitionReaderT::GetCurrentQueryVector(
    StatusCodeT* status) {
  if (!Cursor.IsPositioned()) {
    *status = StatusNoCurrentKey;
    return nullptr;
  }
  return CurrentKeyVector(status);
}
