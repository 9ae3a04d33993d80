// Placeholder until the postings branch lands; removed before merging it.
#ifndef TARVIS_FORMAT_TERM_INSTANCE_H_
#define TARVIS_FORMAT_TERM_INSTANCE_H_
#include <cstdint>
struct TermInstanceT {
  uint32_t RecordNumber = 0;
  uint32_t WordPosition = 0;
  float Weight = 1.0f;
  uint16_t Count = 1;
};
#endif
