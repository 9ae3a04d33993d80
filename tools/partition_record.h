// The record kept beside a partition file made by build-partition
// ("OUT.part.settings"): the settings its words were made with, in the
// form of an index's settings file, and the file's length and checksum.
// A session that made no record leaves no partition: build-partition then
// writes an empty file, recorded as of 0 bytes, that adds nothing.
// A partition's header tells its index mode but nothing of the tokenizer,
// so add-partitions compares the record with the index's settings, and the
// length and checksum with the file, before anything is added: a file that
// is not such a partition, or not the one the record was made for (cut
// short, replaced), is refused as surely as one of other settings.
//
//   # tarvis partition: how the words of OUT.part were made
//   mode word
//   split lines
//   stem no
//   stop none
//   bytes 48213
//   checksum 9c3f0a4e12b07d55

#ifndef TARVIS_TOOLS_PARTITION_RECORD_H_
#define TARVIS_TOOLS_PARTITION_RECORD_H_

#include <string>

#include "settings.h"

// Writes the record of a complete partition file.
void WritePartitionRecord(const std::string& partition,
                          const IndexSettingsT& settings);

// Fails (ToolErrorT) unless partition is a file with a record that matches
// it and whose settings are those of index (named indexName); false when
// the file is empty, a partition without records.
bool CheckPartitionRecord(const std::string& partition,
                          const IndexSettingsT& index,
                          const std::string& indexName);

// Removes the record once its partition is in an index, so that it cannot
// be added a second time.
void RemovePartitionRecord(const std::string& partition);

#endif  // TARVIS_TOOLS_PARTITION_RECORD_H_
