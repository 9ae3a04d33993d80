// The index manager wrapper; see index_handle.h.

#include "index_handle.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "creation_params.h"
#include "host_error.h"
#include "record_key.h"

IndexHandleT::IndexHandleT(const std::string& path) : path_(path) {
  StatusCodeT status = 0;
  manager_ = tvCreateIndexManager(&status);
  if (manager_ == nullptr) CheckStatus(status < 0 ? status : -1, path_);
}

IndexHandleT::~IndexHandleT() {
  StatusCodeT status = 0;
  if (open_) tvCloseIndex(manager_, &status);
  if (manager_ != nullptr) tvDeleteIndexManager(manager_, &status);
}

void IndexHandleT::Check(StatusCodeT status, const std::string& what) const {
  CheckStatus(status, what.empty() ? path_ : path_ + ": " + what);
}

void IndexHandleT::Create(unsigned long mode, bool recordData,
                          bool recordIds) {
  struct stat info;
  if (stat(path_.c_str(), &info) == 0) Check(StatusFileExists, "");
  CreationParamsT params(mode, recordData, recordIds, path_);
  params.SetFileName(path_);
  StatusCodeT status = 0;
  tvCreateIndexEx(manager_, params.Get(), &status);
  Check(status, "");
}

void IndexHandleT::SetLockWait(unsigned long seconds) {
  StatusCodeT status = 0;
  tvSetLockTimeout(manager_, seconds * 1000, &status);
  Check(status, "");
}

void IndexHandleT::SetIndexingMemory(unsigned long bytes) {
  StatusCodeT status = 0;
  tvSetIndexingMemory(manager_, bytes, &status);
  Check(status, "indexing memory of " + std::to_string(bytes) + " bytes");
}

void IndexHandleT::Open() {
  StatusCodeT status = 0;
  tvOpenIndex(manager_, const_cast<char*>(path_.c_str()), &status);
  // A failed open leaves the manager without an index (it releases the file
  // itself), so there is nothing to close.
  Check(status, "");
  open_ = true;
}

void IndexHandleT::OpenForRetrieval() {
  Open();
  StatusCodeT status = 0;
  tvStartRetrievalSession(manager_, &status);
  Check(status, "");
}

void IndexHandleT::Close() {
  if (!open_) return;
  open_ = false;
  StatusCodeT status = 0;
  tvCloseIndex(manager_, &status);
  Check(status, "");
}

unsigned long IndexHandleT::Records() const {
  StatusCodeT status = 0;
  unsigned long count = 0;
  tvNumberOfRecordsInIndex(manager_, &count, &status);
  Check(status, "");
  return count;
}

unsigned long IndexHandleT::LiveRecords() const {
  unsigned long records = Records();
  StatusCodeT status = 0;
  unsigned long deleted = tvGetNumberOfRecordsDeleted(manager_, &status);
  Check(status, "deleted records");
  return records - deleted;
}

std::string IndexHandleT::RecordData(unsigned long record) const {
  std::string data;
  RecordData(record, &data);  // none in an index of another host
  return data;
}

bool IndexHandleT::RecordData(unsigned long record, std::string* data) const {
  data->clear();
  std::vector<unsigned char> buffer(4096);
  TarvisDataCursorT cursor;
  unsigned long bytesRead = 0;
  StatusCodeT status = 0;
  tvRetrieveRecordData(manager_, buffer.data(), buffer.size(), &bytesRead,
                       record, &cursor, &status);
  if (status == StatusNoRecordData) return false;
  Check(status, "record " + std::to_string(record));
  data->append(reinterpret_cast<const char*>(buffer.data()), bytesRead);
  while (!cursor.Done) {
    bytesRead = 0;
    tvRetrieveMoreRecordData(manager_, buffer.data(), buffer.size(),
                             &bytesRead, &cursor, &status);
    Check(status, "record " + std::to_string(record));
    if (bytesRead == 0) break;
    data->append(reinterpret_cast<const char*>(buffer.data()), bytesRead);
  }
  return true;
}

bool IndexHandleT::RecordId(unsigned long record, std::string* id) const {
  unsigned char buffer[256];
  unsigned long length = 0;
  StatusCodeT status = 0;
  tvRetrieveRecordID(manager_, buffer, sizeof buffer, &length, nullptr, record,
                     &status);
  if (status == StatusNoRecordData) return false;
  Check(status, "record " + std::to_string(record));
  id->assign(reinterpret_cast<const char*>(buffer),
             std::min<unsigned long>(length, sizeof buffer));
  return true;
}

unsigned long IndexHandleT::FindRecordId(const std::string& id) const {
  // Only IDs of 1 to 120 bytes are indexed; no other can be found.
  if (id.empty() || id.size() > kMaxIndexedIdBytes || Records() == 0) {
    return 0;
  }
  std::vector<char> hex(2 * id.size() + 3);
  std::string bytes = id;
  tvCharWordToHexWord(hex.data(), reinterpret_cast<unsigned char*>(&bytes[0]),
                      bytes.size());
  unsigned long record = 0;
  StatusCodeT status = 0;
  tvFindRecordID(manager_, hex.data(), &record, &status);
  Check(status, "record ID");
  return record;
}

std::vector<unsigned long> IndexHandleT::DeletedRecords() const {
  StatusCodeT status = 0;
  unsigned long count = tvGetNumberOfRecordsDeleted(manager_, &status);
  Check(status, "deleted records");
  std::vector<unsigned long> records(count);
  if (count != 0) tvOutputDeletedRecords(manager_, records.data(), &status);
  Check(status, "deleted records");
  return records;
}

void IndexHandleT::MarkDeleted(const std::vector<unsigned long>& records,
                               bool deleted) {
  unsigned long count = Records();
  for (unsigned long record : records) {
    if (record == 0 || record > count) {
      HostFail(StatusMalformedParameter,
               path_ + ": no record " + std::to_string(record) +
                   " (the index holds " + std::to_string(count) + ")");
    }
  }
  if (records.empty()) return;
  std::vector<unsigned long> list = records;
  StatusCodeT status = 0;
  if (deleted) {
    tvDeleteRecordNums(manager_, list.data(), list.size(), &status);
  } else {
    tvUnDeleteRecordNums(manager_, list.data(), list.size(), &status);
  }
  Check(status, deleted ? "delete" : "undelete");
}

void IndexHandleT::MergeLastPartitions(unsigned long partitions) {
  StatusCodeT status = 0;
  tvOptomizeIndex(manager_, partitions, &status);
  Check(status, "optimize");
  tvEndOptomization(manager_, nullptr, 0, &status);
  Check(status, "optimize");
}

void IndexHandleT::AddPartitionFile(const std::string& file) {
  StatusCodeT status = 0;
  tvAddPartitionFileToIndex(manager_, const_cast<char*>(file.c_str()),
                            &status);
  Check(status, "adding " + file);
}

unsigned long IndexHandleT::Partitions() const {
  if (Records() == 0) return 0;
  return tvGetNumberOfUnoptomizedInsertions(manager_) + 1;
}

std::vector<HitT> IndexHandleT::Query(const std::string& ranked,
                                      const std::string& boolean,
                                      unsigned long rankedLimit) const {
  std::vector<HitT> hits;
  if (Records() == 0) return hits;
  if (!ranked.empty()) {
    StatusCodeT set = 0;
    tvSetRankedResultLimit(manager_,
                           rankedLimit == 0 || rankedLimit > TV_MAXIMUM_RANKED_RESULTS
                               ? TV_MAXIMUM_RANKED_RESULTS
                               : rankedLimit,
                           &set);
    Check(set, "ranked result limit");
  }
  std::string rankedText = ranked;
  std::string booleanText = boolean;
  StatusCodeT status = 0;
  QueryVectorBaseT* vector = tvProcessQuery(
      manager_,
      ranked.empty() ? nullptr
                     : reinterpret_cast<unsigned char*>(&rankedText[0]),
      boolean.empty() ? nullptr
                      : reinterpret_cast<unsigned char*>(&booleanText[0]),
      &status);
  Check(status, "query");
  if (vector == nullptr) return hits;
  // Records and weights only: a Boolean result then never needs to produce
  // its word positions.
  unsigned long records = 0;
  tvNumHits(vector, nullptr, &records, nullptr, &status);
  if (status >= 0 && records > 0) {
    unsigned long record = 0;
    float weight = 0;
    tvVectorCurrentHit(vector, &record, nullptr, nullptr, &weight, &status);
    while (status == 0) {
      hits.push_back({record, weight});
      // A ranked result holds one hit per record, best first.
      if (ranked.empty()) {
        tvVectorNextRecord(vector, &record, nullptr, nullptr, &weight, &status);
      } else {
        tvVectorNextHit(vector, &record, nullptr, nullptr, &weight, &status);
      }
    }
  }
  StatusCodeT ignored = 0;
  tvDeleteResultVector(vector, &ignored);
  Check(status, "query");
  return hits;
}
