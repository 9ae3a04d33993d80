// TermInstanceT: one posting or hit as the posting decoders and every
// producer of hits hand it on. Record-level postings carry word position 1;
// the count is the term's occurrences in the record for IDF postings and 1
// otherwise; the weight is 1.0 unless ranking has scored the record.
//
// Result vectors spill these records to a session-private file as raw
// 16-byte images (two bytes of padding at the end).

#ifndef TARVIS_FORMAT_TERM_INSTANCE_H_
#define TARVIS_FORMAT_TERM_INSTANCE_H_

#include <cstdint>

struct TermInstanceT {
  uint32_t RecordNumber = 0;
  uint32_t WordPosition = 0;
  float Weight = 1.0f;
  uint16_t Count = 1;
};
static_assert(sizeof(TermInstanceT) == 16, "TermInstanceT is a 16-byte image");

#endif  // TARVIS_FORMAT_TERM_INSTANCE_H_
