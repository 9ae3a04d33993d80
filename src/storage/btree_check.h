// The integrity check of a dictionary B-tree as WriteBTreeT lays it out: the
// header, the bounds of the page area and the key-count array, every leaf
// page decoded entry by entry (keys strictly ascending across pages, the
// separator byte, the key count of each page), and every internal level
// (each entry's child the next page of the level below, its key that
// child's first key, the last level one page: the root). Each problem found
// is reported; a damaged tree is walked only as far as it can be trusted.
// Every page is read once, so the check costs one pass over the tree.

#ifndef TARVIS_STORAGE_BTREE_CHECK_H_
#define TARVIS_STORAGE_BTREE_CHECK_H_

#include <cstdint>

class CheckReportT;
class FileClassT;

// Receives the leaf entries in key order while the tree is checked.
class BTreeEntryVisitorT {
 public:
  virtual ~BTreeEntryVisitorT() = default;
  // key is length-prefixed; data holds dataLength bytes.
  virtual void VisitEntry(const unsigned char* key, const unsigned char* data,
                          uint32_t dataLength) = 0;
};

// Checks the tree whose 36-byte header lies at headerPosition; the tree data
// and the key counts must end by areaEnd. The visitor (may be null) gets
// every entry of the leaf pages that decode. Returns the number of keys
// found in the leaf pages.
uint64_t CheckBTree(FileClassT* file, uint32_t headerPosition,
                    uint32_t areaEnd, BTreeEntryVisitorT* visitor,
                    CheckReportT* report);

#endif  // TARVIS_STORAGE_BTREE_CHECK_H_
