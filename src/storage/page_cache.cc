// The page cache of FileClassT: a least-recently-used list of fixed-size
// pages kept on the root, most recently used first. Dirty pages are written
// back when they are evicted, flushed, or the file is closed.

#include "storage/fileclas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "storage/allocation.h"

namespace {

constexpr uint32_t kMinimumPages = 15;

void FreePage(BufferHeaderT* page) {
  delete[] page->Data;
  delete page;
}

}  // namespace

int FileClassT::AddBuffers(int count) {
  FileClassT* root = RootOf();
  int64_t pages = static_cast<int64_t>(root->MaximumPages) + count;
  pages = std::max<int64_t>(pages, kMinimumPages);
  root->MaximumPages =
      static_cast<uint32_t>(std::min<int64_t>(pages, UINT32_MAX));
  return 1;
}

int FileClassT::ReduceBuffers(uint32_t count) {
  FileClassT* root = RootOf();
  for (uint32_t n = std::min(count, root->PageCount); n != 0; --n) {
    if (!root->RemoveLastBuffer()) return 0;
  }
  return 1;
}

unsigned char* FileClassT::GetBuffer(uint32_t offset, uint32_t size) {
  FileClassT* root = RootOf();
  if (BufferHeaderT* page = root->FindPage(offset, size)) return page->Data;
  if (root->PageCount >= root->MaximumPages && !root->RemoveLastBuffer()) {
    return nullptr;
  }
  BufferHeaderT* page = root->ReadInBuffer(offset, size);
  return page != nullptr ? page->Data : nullptr;
}

int FileClassT::WriteBuffer(uint32_t offset, uint32_t size,
                            const unsigned char* data) {
  FileClassT* root = RootOf();
  BufferHeaderT* page = root->FindPage(offset, size);
  if (page == nullptr) {
    if (root->PageCount < root->MaximumPages || root->RemoveLastBuffer()) {
      page = root->NewPage(size);
    }
    if (page == nullptr) {
      // No room in the cache: the bytes go straight to the file, and the
      // caller still learns that caching failed.
      if (root->StreamSeek(offset)) root->StreamWrite(data, size);
      return 0;
    }
    page->Offset = offset;
    root->PushPage(page);
  }
  std::memcpy(page->Data, data, size);
  page->Dirty = 1;
  return 1;
}

int FileClassT::FlushBuffers() {
  FileClassT* root = RootOf();
  int ok = 1;
  for (BufferHeaderT* page = root->PageList; page != nullptr;
       page = page->Next) {
    if (!page->Dirty || page->Owner != root->OwnerId) continue;
    if (root->WritePage(page)) {
      page->Dirty = 0;
    } else {
      ok = 0;
    }
  }
  return ok;
}

int FileClassT::RemoveLastBuffer() {
  if (PageList == nullptr) return 1;
  BufferHeaderT** link = &PageList;
  while ((*link)->Next != nullptr) link = &(*link)->Next;
  BufferHeaderT* tail = *link;
  if (tail->Dirty && !WritePage(tail)) return 0;
  *link = nullptr;
  FreePage(tail);
  --PageCount;
  return 1;
}

BufferHeaderT* FileClassT::ReadInBuffer(uint32_t offset, uint32_t size) {
  BufferHeaderT* page = NewPage(size);
  if (page == nullptr) return nullptr;
  if (StreamReadAt(offset, page->Data, size) != size) {
    FreePage(page);
    return nullptr;
  }
  page->Offset = offset;
  PushPage(page);
  return page;
}

// Finds the page for (offset, size) and makes it the most recently used.
BufferHeaderT* FileClassT::FindPage(uint32_t offset, uint32_t size) {
  BufferHeaderT** link = &PageList;
  for (BufferHeaderT* page = PageList; page != nullptr;
       link = &page->Next, page = page->Next) {
    if (page->Offset == offset && page->Size == size &&
        page->Owner == OwnerId) {
      if (link != &PageList) {
        *link = page->Next;
        page->Next = PageList;
        PageList = page;
      }
      return page;
    }
  }
  return nullptr;
}

// A zero-filled page; while memory is short, pages are evicted to make room.
BufferHeaderT* FileClassT::NewPage(uint32_t size) {
  for (;;) {
    BufferHeaderT* page = NewOrNull<BufferHeaderT>();
    unsigned char* data = NewZeroedArrayOrNull<unsigned char>(size);
    if (page != nullptr && data != nullptr) {
      page->Size = size;
      page->AllocatedFlag = 1;
      page->Data = data;
      page->Owner = OwnerId;
      return page;
    }
    delete page;
    delete[] data;
    if (PageList == nullptr || !RemoveLastBuffer()) return nullptr;
  }
}

void FileClassT::PushPage(BufferHeaderT* page) {
  page->Next = PageList;
  PageList = page;
  ++PageCount;
}

int FileClassT::WritePage(const BufferHeaderT* page) {
  return StreamSeek(page->Offset) && StreamWrite(page->Data, page->Size);
}

void FileClassT::FreeAllPages() {
  while (PageList != nullptr) {
    BufferHeaderT* next = PageList->Next;
    FreePage(PageList);
    PageList = next;
  }
  PageCount = 0;
}
