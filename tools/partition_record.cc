// The record beside a partition file; see partition_record.h.

#include "partition_record.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>

#include "tool_error.h"

namespace {

// The length and 64-bit FNV-1a checksum of a file; false when it cannot be
// read.
bool Fingerprint(const std::string& path, uint64_t* bytes, uint64_t* sum) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  *bytes = 0;
  *sum = 14695981039346656037ull;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    size_t n = static_cast<size_t>(in.gcount());
    for (size_t i = 0; i < n; ++i) {
      *sum = (*sum ^ static_cast<unsigned char>(buffer[i])) *
             1099511628211ull;
    }
    *bytes += n;
  }
  return !in.bad();
}

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%016" PRIx64, value);
  return text;
}

std::string Describe(const IndexSettingsT& settings) {
  std::string text = std::string(ModeName(settings.Mode)) + " mode, split " +
                     settings.Split + ", stem " +
                     (settings.Stem ? "yes" : "no") + ", stop " +
                     settings.Stop;
  if (settings.Stop == "list") {
    text += " of " + std::to_string(settings.StopWords.size()) + " words";
  }
  return text;
}

}  // namespace

void WritePartitionRecord(const std::string& partition,
                          const IndexSettingsT& settings) {
  uint64_t bytes = 0, sum = 0;
  if (!Fingerprint(partition, &bytes, &sum)) {
    Fail(partition + ": cannot read the partition file back");
  }
  WriteSettingsFile(SettingsPath(partition),
                    "tarvis partition: how the words of " + partition +
                        " were made",
                    settings,
                    {{"bytes", std::to_string(bytes)}, {"checksum", Hex(sum)}});
}

bool CheckPartitionRecord(const std::string& partition,
                          const IndexSettingsT& index,
                          const std::string& indexName) {
  IndexSettingsT settings;
  SettingsExtrasT extras;
  if (!ReadSettingsFile(SettingsPath(partition), &settings, &extras)) {
    Fail(partition + ": not a partition file of tarvis build-partition (no " +
         SettingsPath(partition) + " beside it)");
  }
  std::string bytesText, sumText;
  for (const auto& extra : extras) {
    if (extra.first == "bytes") bytesText = extra.second;
    if (extra.first == "checksum") sumText = extra.second;
  }
  uint64_t bytes = 0, sum = 0;
  if (!Fingerprint(partition, &bytes, &sum)) {
    Fail(partition + ": cannot read the partition file");
  }
  if (bytesText != std::to_string(bytes) || sumText != Hex(sum)) {
    Fail(partition + ": not the partition file " + SettingsPath(partition) +
         " was made for (its length or checksum differs)");
  }
  if (settings.Mode != index.Mode) {
    Fail(partition + ": a partition of a " + ModeName(settings.Mode) +
         "-mode index; " + indexName + " is a " + ModeName(index.Mode) +
         "-mode index");
  }
  if (!SameSettings(settings, index)) {
    Fail(partition + ": built with other settings (" + Describe(settings) +
         ") than " + indexName + " (" + Describe(index) + ")");
  }
  return bytes != 0;
}

void RemovePartitionRecord(const std::string& partition) {
  std::remove(SettingsPath(partition).c_str());
}
