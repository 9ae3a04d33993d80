// Window buffers of work vectors kept between the queries of retrieval
// sessions. A query makes and drops a few full windows of kWorkVectorBytes;
// given back to the heap after every query they make the allocator return
// its top to the system and take it again for the next one. While a
// retrieval session is open, up to kPooledWindows dropped windows are kept
// here and handed to the next vectors; when the last session ends they are
// freed. Outside sessions nothing is kept. Safe to use from several threads.

#ifndef TARVIS_QUERY_VECTOR_BUFFER_POOL_H_
#define TARVIS_QUERY_VECTOR_BUFFER_POOL_H_

#include <cstdint>

#include "format/term_instance.h"
#include "query/uncompressed_vector.h"

// Entries of a pooled window: the full window of a work vector.
constexpr uint32_t kPooledWindowEntries = kWorkVectorBytes / sizeof(TermInstanceT);
constexpr uint32_t kPooledWindows = 4;

// A retrieval session opens and ends; the pool keeps windows while any is
// open.
void OpenVectorBufferPool();
void CloseVectorBufferPool();

// A window of kPooledWindowEntries entries: a kept one, else a new one; null
// when none can be allocated.
TermInstanceT* TakePooledWindow();
// Gives back a window of kPooledWindowEntries entries (null is ignored): it is
// kept when a session is open and the pool has room, freed otherwise.
void GivePooledWindow(TermInstanceT* window);
// Windows kept now.
uint32_t PooledWindowCount();

#endif  // TARVIS_QUERY_VECTOR_BUFFER_POOL_H_
