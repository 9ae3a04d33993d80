/* The public header compiles as C, and its host-visible records have the
 * layout the interface promises. */
#include <stddef.h>

#include "tarvis/tarvis.h"

_Static_assert(sizeof(StatusCodeT) == 4, "StatusCodeT is 32-bit");
_Static_assert(offsetof(WordTypeT, Word) == 0, "word bytes first");
_Static_assert(offsetof(WordTypeT, WordLength) == 256, "length after bytes");
_Static_assert(sizeof(((WordTypeT*)0)->RunTags[0]) == 4, "run tags 32-bit");
_Static_assert(offsetof(WordTypeT, RunTags) == 260, "run tags aligned");
_Static_assert(sizeof(WordTypeT) == 276, "WordTypeT size");
_Static_assert(offsetof(DictionaryCursorT, State) == 0, "state first");
_Static_assert(offsetof(DictionaryCursorT, Key) == 4, "key after state");
_Static_assert(offsetof(DictionaryCursorT, Records) == 260, "records");
_Static_assert(offsetof(DictionaryCursorT, Hits) == 264, "hits");
_Static_assert(sizeof(DictionaryCursorT) == 268, "DictionaryCursorT size");
_Static_assert(offsetof(TarvisDataCursorT, PartitionIndex) == 0, "cursor");
_Static_assert(offsetof(TarvisDataCursorT, RecordNumber) == 4, "cursor");
_Static_assert(offsetof(TarvisDataCursorT, DataPosition) == 8, "cursor");
_Static_assert(offsetof(TarvisDataCursorT, TotalLength) == 12, "cursor");
_Static_assert(offsetof(TarvisDataCursorT, Delivered) == 16, "cursor");
_Static_assert(offsetof(TarvisDataCursorT, Done) == 20, "cursor");
_Static_assert(sizeof(TarvisDataCursorT) == 24, "six 32-bit fields");
