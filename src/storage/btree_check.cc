// The integrity check of a dictionary B-tree: header, leaf pages, internal
// levels.

#include "storage/btree_check.h"

#include <cstring>
#include <string>
#include <vector>

#include "storage/check_report.h"
#include "storage/fileclas.h"
#include "storage/readtree.h"
#include "storage/writetre.h"

namespace {

using KeyT = std::string;  // length-prefixed, as stored in a key buffer

// Leading bytes two length-prefixed keys share, as the writer counts them.
uint32_t SharedPrefix(const unsigned char* a, const unsigned char* b) {
  uint32_t limit = a[0] < b[0] ? a[0] : b[0];
  uint32_t shared = 0;
  while (shared < limit && a[1 + shared] == b[1 + shared]) ++shared;
  return shared;
}

// The separator byte the writer puts in front of a page's first key.
uint32_t ExpectedSeparator(const unsigned char* key,
                           const unsigned char* lastOfPreviousPage) {
  uint32_t shared = SharedPrefix(key, lastOfPreviousPage);
  return shared + 1 <= key[0] ? shared + 1 : shared;
}

int ReadTreeHeader(FileClassT* file, uint32_t position, BTreeHeaderT* h) {
  return file->Seek(position) && file->ReadLong(&h->Magic) &&
         file->ReadOffset(&h->DataOffset) &&
         file->ReadOffset(&h->PageAreaLength) && file->ReadLong(&h->RootPage) &&
         file->ReadLong(&h->LeafPages) && file->ReadLong(&h->PageSize) &&
         file->ReadLong(&h->Levels);
}

// One entry of a page as decoded: its key and, in a leaf, its data; in an
// internal page, its child.
struct EntryT {
  unsigned char Key[256];
  const unsigned char* Data;
  uint32_t DataLength;
  uint32_t Child;
};

class TreeWalkT {
 public:
  TreeWalkT(FileClassT* file, const BTreeHeaderT& header,
            uint32_t dataPosition, BTreeEntryVisitorT* visitor,
            CheckReportT* report)
      : File(file), Header(header), DataPosition(dataPosition),
        Pages(header.PageAreaLength / header.PageSize), Visitor(visitor),
        Report(report), Page(header.PageSize) {}

  uint64_t CheckLeaves();
  void CheckInternalLevels();

 private:
  int ReadPage(uint32_t page);
  // Decodes the entry at *offset of the page in memory (internal: a child
  // number instead of data) into entry, building its key from previous.
  // 1 decoded, 0 at the page's end, -1 damaged (reported).
  int NextEntry(uint32_t page, bool internal, uint32_t index,
                uint32_t* offset, const unsigned char* previous,
                EntryT* entry);

  FileClassT* File;
  const BTreeHeaderT& Header;
  uint32_t DataPosition;
  uint32_t Pages;
  BTreeEntryVisitorT* Visitor;
  CheckReportT* Report;
  std::vector<unsigned char> Page;
  // The first key of every page of the level last walked (empty when that
  // page could not be decoded).
  std::vector<KeyT> FirstKeys;
};

int TreeWalkT::ReadPage(uint32_t page) {
  if (File->Seek(DataPosition + page * Header.PageSize) &&
      File->Read(Page.data(), Header.PageSize)) {
    return 1;
  }
  Report->Add("B-tree page %u cannot be read", page);
  return 0;
}

int TreeWalkT::NextEntry(uint32_t page, bool internal, uint32_t index,
                         uint32_t* offset, const unsigned char* previous,
                         EntryT* entry) {
  const uint32_t size = Header.PageSize;
  const unsigned char* p = Page.data();
  uint32_t at = *offset;
  if (at >= size || p[at] == 0) return 0;
  const uint32_t length = p[at++];
  uint32_t shared = 0;
  if (index > 0) {
    if (at >= size) {
      Report->Add("B-tree page %u: entry %u runs past the page", page, index);
      return -1;
    }
    shared = p[at++];
    if (shared > length || shared > previous[0]) {
      Report->Add("B-tree page %u: entry %u shares %u bytes with a key of %u",
                  page, index, shared, previous[0]);
      return -1;
    }
  }
  const uint32_t suffix = length - shared;
  const uint32_t tail = internal ? 4 : 1;  // child number, or data length
  if (suffix + tail > size - at) {
    Report->Add("B-tree page %u: entry %u runs past the page", page, index);
    return -1;
  }
  entry->Key[0] = static_cast<unsigned char>(length);
  std::memcpy(entry->Key + 1, previous + 1, shared);
  std::memcpy(entry->Key + 1 + shared, p + at, suffix);
  at += suffix;
  if (internal) {
    ReadBTreeT::CharToLong(&entry->Child, p + at);
    at += 4;
  } else {
    entry->DataLength = p[at++];
    if (entry->DataLength > size - at) {
      Report->Add("B-tree page %u: the data of entry %u run past the page",
                  page, index);
      return -1;
    }
    entry->Data = p + at;
    at += entry->DataLength;
  }
  *offset = at;
  return 1;
}

uint64_t TreeWalkT::CheckLeaves() {
  const uint32_t leaves = Header.LeafPages;
  std::vector<unsigned char> counts(2ull * leaves);
  if (!File->Seek(DataPosition + Header.PageAreaLength) ||
      !File->Read(counts.data(), static_cast<uint32_t>(counts.size()))) {
    Report->Add("the B-tree's key counts cannot be read");
    return 0;
  }
  uint64_t keys = 0;
  unsigned char last[256] = {0};  // the last key of the tree so far
  EntryT entry;
  FirstKeys.assign(leaves, KeyT());
  for (uint32_t page = 0; page < leaves && !Report->Full(); ++page) {
    if (!ReadPage(page)) continue;
    uint32_t offset = 1;
    uint32_t index = 0;
    unsigned char previous[256] = {0};
    int result;
    while ((result = NextEntry(page, false, index, &offset, previous,
                               &entry)) == 1) {
      if (entry.Key[0] == 0) {
        Report->Add("B-tree page %u: entry %u has an empty key", page, index);
      }
      if (index == 0) {
        uint32_t expected = ExpectedSeparator(entry.Key, last);
        if (Page[0] != expected) {
          Report->Add("B-tree page %u: separator length %u, expected %u",
                      page, Page[0], expected);
        }
        FirstKeys[page].assign(reinterpret_cast<char*>(entry.Key),
                               entry.Key[0] + 1);
      }
      if (keys > 0 && ReadBTreeT::PStrCmp(entry.Key, last) <= 0) {
        Report->Add("B-tree page %u: key %u is not above the key before it",
                    page, index);
      }
      if (Visitor != nullptr) {
        Visitor->VisitEntry(entry.Key, entry.Data, entry.DataLength);
      }
      std::memcpy(previous, entry.Key, entry.Key[0] + 1);
      std::memcpy(last, entry.Key, entry.Key[0] + 1);
      ++index;
      ++keys;
    }
    const uint32_t counted = (uint32_t{counts[2 * page]} << 8) |
                             counts[2 * page + 1];
    if (result == 0 && index == 0) {
      Report->Add("B-tree leaf page %u holds no key", page);
    } else if (result == 0 && counted != index) {
      Report->Add("B-tree leaf page %u holds %u keys, its key count says %u",
                  page, index, counted);
    }
  }
  return keys;
}

void TreeWalkT::CheckInternalLevels() {
  uint32_t belowStart = 0;
  uint32_t belowCount = Header.LeafPages;
  uint32_t levelStart = Header.LeafPages;
  EntryT entry;
  for (uint32_t level = 1; !Report->Full(); ++level) {
    if (level > kBTreeMaxLevels) {
      Report->Add("the B-tree has more than %u internal levels",
                  kBTreeMaxLevels);
      return;
    }
    std::vector<KeyT> firstKeys;
    uint32_t expected = belowStart;
    const uint32_t belowEnd = belowStart + belowCount;
    uint32_t page = levelStart;
    unsigned char lastOfPage[256] = {0};
    for (; expected < belowEnd; ++page) {
      if (page >= Pages) {
        Report->Add("B-tree level %u runs past the page area", level);
        return;
      }
      if (!ReadPage(page)) return;
      uint32_t offset = 1;
      uint32_t index = 0;
      unsigned char previous[256] = {0};
      int result;
      while ((result = NextEntry(page, true, index, &offset, previous,
                                 &entry)) == 1) {
        if (index == 0) {
          // A page that the entry before filled exactly is followed by one
          // whose separator counts from an empty key (1).
          uint32_t separator =
              page == levelStart ? 0 : ExpectedSeparator(entry.Key, lastOfPage);
          if (Page[0] != separator && (page == levelStart || Page[0] != 1)) {
            Report->Add("B-tree page %u: separator length %u, expected %u",
                        page, Page[0], separator);
          }
          firstKeys.emplace_back(reinterpret_cast<char*>(entry.Key),
                                 entry.Key[0] + 1);
        }
        if (expected >= belowEnd) {
          Report->Add("B-tree page %u: entry %u points past level %u", page,
                      index, level - 1);
          return;
        }
        if (entry.Child != expected) {
          Report->Add("B-tree page %u: entry %u points to page %u, expected %u",
                      page, index, entry.Child, expected);
          return;
        }
        const KeyT& childKey = FirstKeys[expected - belowStart];
        if (!childKey.empty() &&
            (childKey.size() != entry.Key[0] + 1u ||
             std::memcmp(childKey.data(), entry.Key, childKey.size()) != 0)) {
          Report->Add("B-tree page %u: the key of entry %u is not the first "
                      "key of page %u", page, index, expected);
        }
        std::memcpy(previous, entry.Key, entry.Key[0] + 1);
        ++expected;
        ++index;
      }
      if (result < 0) return;
      if (index == 0) {
        Report->Add("B-tree internal page %u holds no entry", page);
        return;
      }
      std::memcpy(lastOfPage, previous, previous[0] + 1);
    }
    const uint32_t levelCount = page - levelStart;
    if (levelCount == 1) {
      if (levelStart != Header.RootPage) {
        Report->Add("the B-tree's last level is page %u, its root page %u",
                    levelStart, Header.RootPage);
      }
      if (level != Header.Levels) {
        Report->Add("the B-tree has %u internal levels, its header says %u",
                    level, Header.Levels);
      }
      return;
    }
    FirstKeys.swap(firstKeys);
    belowStart = levelStart;
    belowCount = levelCount;
    levelStart = page;
  }
}

}  // namespace

uint64_t CheckBTree(FileClassT* file, uint32_t headerPosition,
                    uint32_t areaEnd, BTreeEntryVisitorT* visitor,
                    CheckReportT* report) {
  BTreeHeaderT h;
  if (!ReadTreeHeader(file, headerPosition, &h)) {
    report->Add("the B-tree header cannot be read");
    return 0;
  }
  if (h.Magic != kBTreeMagic) {
    report->Add("the B-tree header has the magic %08X", h.Magic);
    return 0;
  }
  if (!IsUsableBTreePageSize(h.PageSize) || h.DataOffset < kBTreeHeaderSize ||
      h.LeafPages == 0 || h.PageAreaLength % h.PageSize != 0) {
    report->Add("the B-tree header gives no usable layout (page size %u, "
                "data offset %u, %u leaf pages, page area of %u bytes)",
                h.PageSize, h.DataOffset, h.LeafPages, h.PageAreaLength);
    return 0;
  }
  const uint32_t pages = h.PageAreaLength / h.PageSize;
  if (pages <= h.LeafPages || h.RootPage != pages - 1 || h.Levels == 0 ||
      h.Levels > kBTreeMaxLevels || h.Levels > pages - h.LeafPages) {
    report->Add("the B-tree header's counts do not agree (%u pages, %u leaf "
                "pages, root page %u, %u levels)",
                pages, h.LeafPages, h.RootPage, h.Levels);
    return 0;
  }
  const uint64_t dataPosition = uint64_t{headerPosition} + h.DataOffset;
  const uint64_t treeEnd = dataPosition + h.PageAreaLength + 2ull * h.LeafPages;
  if (treeEnd > areaEnd) {
    report->Add("the B-tree ends at %llu, beyond its area's end at %u",
                static_cast<unsigned long long>(treeEnd), areaEnd);
    return 0;
  }
  TreeWalkT walk(file, h, static_cast<uint32_t>(dataPosition), visitor,
                 report);
  uint64_t keys = walk.CheckLeaves();
  walk.CheckInternalLevels();
  return keys;
}
