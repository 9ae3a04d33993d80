// Record data, record IDs and the file-records query; see record_key.h.

#include "record_key.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <tarvis/tarvis.h>

namespace {

std::string Suffix(const RecordKeyT& key) {
  if (key.Kind == 0) return "";
  return std::string(1, key.Kind) + std::to_string(key.Number);
}

// FNV-1a: stable across runs and machines.
std::string PathHash(const std::string& path) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : path) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char text[24];
  std::snprintf(text, sizeof text, "#%016llx",
                static_cast<unsigned long long>(hash));
  return text;
}

// The short-form term of an indexed record ID: "m" and the ID's bytes.
std::string IdTerm(const std::string& id, bool prefix) {
  std::string term = "m" + id;
  std::vector<char> hex(2 * term.size() + 3);
  tvCharWordToHexWord(hex.data(),
                      reinterpret_cast<unsigned char*>(&term[0]),
                      term.size());
  return std::string(hex.data()) + (prefix ? "*" : "");
}

}  // namespace

std::string RecordDataOf(const RecordKeyT& key) {
  std::string data = key.Path;
  data.push_back('\0');
  data += Suffix(key);
  return data;
}

std::string RecordIdOf(const RecordKeyT& key) {
  std::string id = key.Path + Suffix(key);
  if (id.size() <= kMaxIndexedIdBytes) return id;
  return PathHash(key.Path) + Suffix(key);
}

RecordKeyT ParseRecordData(const std::string& data) {
  RecordKeyT key;
  size_t nul = data.find('\0');
  key.Path = data.substr(0, nul);
  if (nul != std::string::npos && nul + 2 <= data.size()) {
    key.Kind = data[nul + 1];
    key.Number = std::strtoul(data.c_str() + nul + 2, nullptr, 10);
  }
  return key;
}

std::string DisplayName(const RecordKeyT& key) {
  return key.Path + Suffix(key);
}

std::string FileRecordsQuery(const std::string& path) {
  std::string query;
  auto add = [&query](const std::string& id, bool prefix) {
    // An ID is indexed only when it fits; longer forms cannot be there.
    if (id.size() + (prefix ? 1 : 0) > kMaxIndexedIdBytes) return;
    if (!query.empty()) query += " | ";
    query += IdTerm(id, prefix);
  };
  for (const std::string& base : {path, PathHash(path)}) {
    add(base, false);
    add(base + ":", true);
    add(base + "@", true);
  }
  return query;
}
