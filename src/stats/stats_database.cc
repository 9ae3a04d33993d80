// StatsDatabaseT: the statistics file's tree and the coding of its counts.

#include "stats/stats_database.h"

#include <cstring>
#include <utility>

#include "format/encode.h"
#include "storage/allocation.h"
#include "storage/file_status.h"

StatsDatabaseT::~StatsDatabaseT() { CloseDestination(); }

void StatsDatabaseT::CloseDestination() {
  if (Destination == nullptr) return;
  Destination->Close();
  delete Destination;
  Destination = nullptr;
}

void StatsDatabaseT::Create(const char* fileName, StatusCodeT* status) {
  if (Destination != nullptr) {
    *status = StatusGeneralError;
    return;
  }
  if (fileName == nullptr || fileName[0] == '\0') {
    *status = StatusCannotOpenFile;
    return;
  }
  Destination =
      NewOpenFile(fileName, kFileCreate, StatusCannotOpenFile, status);
  if (Destination == nullptr) return;
  Tree.StartSession();
}

void StatsDatabaseT::StartAdditions(StatusCodeT* status) {
  if (Destination == nullptr || !Tree.StartInsertions(kStatsPageSize)) {
    *status = StatusGeneralError;
  }
}

void StatsDatabaseT::AddKey(const unsigned char* word, uint32_t first,
                            uint32_t second, StatusCodeT* status) {
  unsigned char data[kStatsDataMaxBytes];
  uint32_t length = 0;
  if (!EncodeWordInfo(data, &length, first, second)) {
    *status = StatusGeneralError;
    return;
  }
  int inserted = Tree.TreeInsert(word, data, length);
  if (inserted == 3 && Tree.NextPage()) {
    inserted = Tree.TreeInsert(word, data, length);
  }
  FileCall(inserted == 1, StatusWriteError, status);
}

void StatsDatabaseT::EndAdditions(StatusCodeT* status) {
  if (Destination == nullptr) {
    *status = StatusGeneralError;
    return;
  }
  if (FileCall(Tree.WriteBlankHeader(Destination), StatusWriteError, status) &&
      FileCall(Tree.EndInsertions(), StatusGeneralError, status)) {
    FileCall(Tree.CopyDataToDataFile() && Tree.WriteFullHeader(),
             StatusWriteError, status);
  }
  Tree.EndSession();
  // The header is rewritten in place; closing writes out what is buffered.
  if (!Destination->Close() && *status >= 0) *status = StatusWriteError;
  delete Destination;
  Destination = nullptr;
}

int StatsDatabaseT::EncodeWordInfo(unsigned char* buffer, uint32_t* length,
                                   uint32_t first, uint32_t second) {
  BioT bits;
  bits.StartWriting(buffer, kStatsDataMaxBytes, nullptr);
  bits.PutDelta(first != 0 ? first : 1);
  bits.PutDelta(second != 0 ? second : 1);
  if (!bits.FlushByte()) return 0;
  *length = bits.BytesEmitted();
  return 1;
}

int StatsDatabaseT::DecodeWordInfo(const ReadBTreeCursorT* cursor,
                                   uint32_t* first, uint32_t* second) {
  BioT bits;
  bits.StartReading(cursor->DataBytes(), cursor->DataLength());
  return bits.GetDelta(first) && bits.GetDelta(second);
}

int StatsReaderT::Open(const char* fileName) {
  Started = 0;
  Cursor = ReadBTreeCursorT();
  if (fileName == nullptr) return 0;
  std::unique_ptr<FileClassT> file(NewOrNull<FileClassT>(fileName));
  if (file == nullptr || !file->Open(kFileReadOnly) ||
      !Tree.ReadHeader(file.get())) {
    return 0;
  }
  File = std::move(file);
  return Tree.LoadTree();
}

int StatsReaderT::Next(unsigned char* word, uint32_t* first,
                       uint32_t* second) {
  static const unsigned char kBeforeEveryWord[1] = {0};
  int moved;
  if (!Started) {
    moved = Tree.FindKey(&Cursor, kBeforeEveryWord) == kBTreeNotFound ? 1 : 0;
  } else {
    moved = Tree.NextKey(&Cursor);
    if (moved == kBTreeAtLastKey) return 0;
  }
  if (moved != 1 || !StatsDatabaseT::DecodeWordInfo(&Cursor, first, second)) {
    return -1;
  }
  Started = 1;
  std::memcpy(word, Cursor.Key(), 1u + Cursor.Key()[0]);
  return 1;
}
