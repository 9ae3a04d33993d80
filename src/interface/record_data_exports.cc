// Exported functions of record data and record IDs: storing them during an
// indexing session, reading them by record number during a retrieval
// session, and finding a record by its ID.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "indexing/indexer.h"
#include "interface/indexer_call.h"
#include "interface/manager_call.h"
#include "manager/index_manager.h"
#include "query/hex_words.h"

namespace {

// Bytes the exported lengths can name that the library reads at most.
uint32_t Clamp(unsigned long length) {
  return static_cast<uint32_t>(std::min<unsigned long>(length, UINT32_MAX));
}

// A record number beyond 32 bits is beyond every index: it maps to 0, which
// the manager refuses.
uint32_t RecordNumber(unsigned long record) {
  return record > UINT32_MAX ? 0 : static_cast<uint32_t>(record);
}

using StoreT = void (IndexerT::*)(const unsigned char*, unsigned long,
                                  StatusCodeT*);

void Store(IndexerT* indexer, const unsigned char* data, unsigned long length,
           StatusCodeT* status, StoreT store) {
  OnIndexer(indexer, status, [=](IndexerT* i, StatusCodeT* s) {
    if (data == nullptr && length != 0) {
      *s = StatusMalformedParameter;
      return;
    }
    (i->*store)(data, length, s);
  });
}

// The frame of the two data reads: a buffer must be given when it has a
// length, and the count read goes to bytesRead (when not null), 0 on any
// failure.
template <typename ReadT>
void ReadData(IndexManagerT* manager, const unsigned char* buffer,
              unsigned long bufferLength, unsigned long* bytesRead,
              StatusCodeT* status, ReadT read) {
  uint32_t count = 0;
  OnManager(manager, status, [&](IndexManagerT* m, StatusCodeT* s) {
    if (buffer == nullptr && bufferLength != 0) {
      *s = StatusMalformedParameter;
      return;
    }
    read(m, &count, s);
  });
  if (bytesRead != nullptr) *bytesRead = count;
}

}  // namespace

extern "C" {

TV_EXPORT void tvStoreRecordData(IndexerT* indexer, unsigned char* data,
                                 unsigned long length, StatusCodeT* status) {
  Store(indexer, data, length, status, &IndexerT::StoreRecordData);
}

TV_EXPORT void tvStoreMoreRecordData(IndexerT* indexer, unsigned char* data,
                                     unsigned long length,
                                     StatusCodeT* status) {
  Store(indexer, data, length, status, &IndexerT::StoreMoreRecordData);
}

TV_EXPORT void tvProcessRecordID(IndexerT* indexer, unsigned char* id,
                                 unsigned long length, long store, long index,
                                 StatusCodeT* status) {
  OnIndexer(indexer, status, [=](IndexerT* i, StatusCodeT* s) {
    if (id == nullptr && length != 0) {
      *s = StatusMalformedParameter;
      return;
    }
    if (store == 1) i->StoreRecordID(id, length, s);
    if (index == 1 && *s >= 0) i->IndexRecordID(id, length, s);
  });
}

TV_EXPORT void tvRetrieveRecordData(IndexManagerT* manager,
                                    unsigned char* buffer,
                                    unsigned long bufferLength,
                                    unsigned long* bytesRead,
                                    unsigned long recordNumber,
                                    TarvisDataCursorT* cursor,
                                    StatusCodeT* status) {
  ReadData(manager, buffer, bufferLength, bytesRead, status,
           [=](IndexManagerT* m, uint32_t* read, StatusCodeT* s) {
             m->GetRecordInfo(buffer, Clamp(bufferLength), read,
                              RecordNumber(recordNumber), cursor, s);
           });
}

TV_EXPORT void tvRetrieveMoreRecordData(IndexManagerT* manager,
                                        unsigned char* buffer,
                                        unsigned long bufferLength,
                                        unsigned long* bytesRead,
                                        TarvisDataCursorT* cursor,
                                        StatusCodeT* status) {
  ReadData(manager, buffer, bufferLength, bytesRead, status,
           [=](IndexManagerT* m, uint32_t* read, StatusCodeT* s) {
             m->GetMoreRecordInfo(buffer, Clamp(bufferLength), read, cursor,
                                  s);
           });
}

TV_EXPORT void tvRetrieveRecordID(IndexManagerT* manager, unsigned char* id,
                                  unsigned long bufferLength,
                                  unsigned long* length, char* hexId,
                                  unsigned long recordNumber,
                                  StatusCodeT* status) {
  uint32_t idLength = 0;
  OnManager(manager, status, [&](IndexManagerT* m, StatusCodeT* s) {
    // The whole ID is read into a buffer of the library's own, so that its
    // hex form is whole whatever room the host gave for the bytes. A
    // fixed-length ID may be longer than a variable-length one; its length
    // was given as 16 bits.
    const uint32_t fixed = std::min<uint32_t>(
        m->IndexFile().Header().FixedRecordIDLength, UINT16_MAX);
    std::vector<unsigned char> own(std::max(kMaxStoredRecordIDBytes, fixed));
    m->GetRecordID(own.data(), static_cast<uint32_t>(own.size()), &idLength,
                   RecordNumber(recordNumber), s);
    if (*s < 0) return;
    if (id != nullptr) {
      std::memcpy(id, own.data(),
                  std::min<unsigned long>(idLength, bufferLength));
    }
    if (hexId != nullptr) BinaryWordToHexWord(hexId, own.data(), idLength);
  });
  if (length != nullptr) *length = idLength;
}

TV_EXPORT void tvFindRecordID(IndexManagerT* manager, char* hexId,
                              unsigned long* recordNumber,
                              StatusCodeT* status) {
  uint32_t found = 0;
  OnManager(manager, status, [&](IndexManagerT* m, StatusCodeT* s) {
    m->FindRecordID(hexId, &found, s);
  });
  if (recordNumber != nullptr) *recordNumber = found;
}

}  // extern "C"
