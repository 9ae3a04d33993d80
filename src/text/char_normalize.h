// Case and accent folding of 16-bit code units (UCS-2), one unit at a time
// or through a lookup table a host precomputes.

#ifndef TARVIS_TEXT_CHAR_NORMALIZE_H_
#define TARVIS_TEXT_CHAR_NORMALIZE_H_

#include <cstdint>

#include "tarvis/tarvis.h"

// Every code unit that folds to something else lies below this.
constexpr uint32_t kFoldedRange = 0x400;

// Replaces *ch by its folded form: lower case when lower is 1, upper case
// for any other value. Code units without a folded form are left alone.
void NormalizeChar(unsigned short* ch, BooleanT lower);

// Sets table[i] to the folded form of i for every i below size.
void InitializeNormalizationTable(unsigned short* table, unsigned long size,
                                  BooleanT lower);

// Replaces *ch by table[*ch] when *ch is below size; leaves it otherwise.
void TableNormalizeChar(const unsigned short* table, unsigned short* ch,
                        unsigned long size);

#endif  // TARVIS_TEXT_CHAR_NORMALIZE_H_
