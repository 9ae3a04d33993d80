// Files made into records; see file_records.h.

#include "file_records.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "interrupt.h"
#include "progress.h"

namespace {

// Reads a whole file; false with errno set when it cannot be read.
bool ReadFile(const std::string& path, std::string* content) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  content->clear();
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    content->append(buffer, n);
  }
  bool good = !std::ferror(file);
  int error = errno;
  std::fclose(file);
  errno = error;
  return good;
}

bool LooksBinary(const std::string& content) {
  size_t probe = std::min<size_t>(content.size(), 8192);
  return std::memchr(content.data(), '\0', probe) != nullptr;
}

}  // namespace

FilesToIndexT FindFilesToIndex(const char* command,
                               const std::vector<std::string>& paths,
                               const std::vector<std::string>& own,
                               uint64_t maxBytes) {
  WalkOptionsT walk;
  for (const std::string& path : own) walk.Exclude.push_back(AbsolutePath(path));
  walk.MaxBytes = maxBytes;
  walk.Interrupted = &gInterrupted;
  std::vector<std::string> problems;
  FilesToIndexT found;
  found.Files = FindFiles(paths, walk, &problems);
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "tarvis: %s: %s\n", command, problem.c_str());
  }
  found.Problems = !problems.empty();
  for (const FoundFileT& file : found.Files) found.Bytes += file.Size;
  return found;
}

std::string TallyText(const FileTallyT& tally, uint64_t records) {
  uint64_t indexed = tally.Files - tally.Binary - tally.Unreadable;
  std::string text = std::to_string(indexed) + " files (" +
                     FormatBytes(tally.Bytes) + ", " +
                     std::to_string(records) + " records, " +
                     std::to_string(tally.Words) + " words)";
  if (tally.Binary != 0) {
    text += ", skipped " + std::to_string(tally.Binary) + " binary";
  }
  return text;
}

FileRecordsT::FileRecordsT(IndexingSessionT* session,
                           const IndexSettingsT& settings, StopListT* stop,
                           const IndexHandleT* updateFrom)
    : session_(session),
      tokenizer_(settings.Stem, stop),
      split_(settings.Split),
      updateFrom_(updateFrom != nullptr && updateFrom->Records() > 0
                      ? updateFrom
                      : nullptr) {}

size_t FileRecordsT::AddFiles(
    const std::vector<FoundFileT>& files, size_t begin, size_t end,
    const volatile std::sig_atomic_t* interrupted, FileTallyT* tally,
    const std::function<void(const std::string&)>& report) {
  std::string content;
  size_t i = begin;
  for (; i < end && !*interrupted; ++i) {
    const FoundFileT& file = files[i];
    uint64_t words = session_->Words();
    if (!ReadFile(file.Path, &content)) {
      report(file.Path + ": " + std::strerror(errno));
      ++tally->Unreadable;
    } else if (!AddFile(file.Path, content)) {
      ++tally->Binary;
    }
    tally->Words += session_->Words() - words;
    tally->Bytes += file.Size;
    ++tally->Files;
  }
  return i - begin;
}

std::vector<unsigned long> FileRecordsT::Replaced() const {
  std::vector<unsigned long> records = replaced_;
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  return records;
}

bool FileRecordsT::AddFile(const std::string& path,
                           const std::string& content) {
  if (LooksBinary(content)) return false;
  if (updateFrom_ != nullptr) {
    for (const HitT& hit : updateFrom_->Query("", FileRecordsQuery(path))) {
      replaced_.push_back(hit.Record);
    }
  }
  const unsigned char* text =
      reinterpret_cast<const unsigned char*>(content.data());
  RecordKeyT key;
  key.Path = path;
  if (split_ == "none") {
    AddRecord(text, content.size(), key);
  } else if (split_ == "lines") {
    key.Kind = ':';
    size_t start = 0;
    while (start < content.size()) {
      size_t end = content.find('\n', start);
      if (end == std::string::npos) end = content.size();
      ++key.Number;
      AddRecord(text + start, end - start, key);
      start = end + 1;
    }
  } else {
    key.Kind = '@';
    AddParagraphs(content, &key);
  }
  return true;
}

void FileRecordsT::AddParagraphs(const std::string& content,
                                 RecordKeyT* key) {
  const unsigned char* text =
      reinterpret_cast<const unsigned char*>(content.data());
  size_t start = 0;      // start of the current line
  size_t paragraph = 0;  // start of the current paragraph
  bool inParagraph = false;
  while (start <= content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    bool blank = true;
    for (size_t i = start; i < end && blank; ++i) {
      blank = content[i] == ' ' || content[i] == '\t' || content[i] == '\r';
    }
    if (!blank && !inParagraph) {
      paragraph = start;
      inParagraph = true;
    } else if (blank && inParagraph) {
      key->Number = paragraph;
      AddRecord(text + paragraph, start - paragraph, *key);
      inParagraph = false;
    }
    if (end == content.size()) break;
    start = end + 1;
  }
  if (inParagraph) {
    key->Number = paragraph;
    AddRecord(text + paragraph, content.size() - paragraph, *key);
  }
}

void FileRecordsT::AddRecord(const unsigned char* text, size_t length,
                             const RecordKeyT& key) {
  if (session_->AddText(tokenizer_, text, length) == 0) return;
  std::string data = RecordDataOf(key);
  std::string id = RecordIdOf(key);
  session_->EndRecord(&data, &id);
}
