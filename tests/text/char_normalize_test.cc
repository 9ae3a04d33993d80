// Character folding: every row of the folding table in both directions,
// every other code unit left alone, and lookup tables equal to folding one
// unit at a time.

#include "text/char_normalize.h"

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tarvis/tarvis.h"

namespace {

struct FoldRowT {
  const char* codes;  // hexadecimal code units and ranges, as "00C0-00C5"
  unsigned short lower;
  unsigned short upper;
};

const FoldRowT kRows[] = {
    {"0041, 0061, 00C0-00C5, 00E0-00E5, 0100-0105", 0x0061, 0x0041},
    {"0042, 0062, 0180, 018B", 0x0062, 0x0042},
    {"0043, 0063, 00C7, 00E7, 0106-010D", 0x0063, 0x0043},
    {"0044, 0064, 00D0, 00F0, 010E-0111", 0x0064, 0x0044},
    {"0045, 0065, 00C8-00CB, 00E8-00EB, 0112-011B", 0x0065, 0x0045},
    {"0046, 0066, 0191-0192", 0x0066, 0x0046},
    {"0047, 0067, 011C-0123", 0x0067, 0x0047},
    {"0048, 0068, 0124-0127", 0x0068, 0x0048},
    {"0049, 0069, 00CC-00CF, 00EC-00EF, 0128-0130", 0x0069, 0x0049},
    {"004A, 006A", 0x006A, 0x004A},
    {"004B, 006B, 0136-0138", 0x006B, 0x004B},
    {"004C, 006C, 0139-0142", 0x006C, 0x004C},
    {"004D, 006D", 0x006D, 0x004D},
    {"004E, 006E, 00D1, 00F1, 0143-014A", 0x006E, 0x004E},
    {"004F, 006F, 00D2-00D6, 00F2-00F6", 0x006F, 0x004F},
    {"0152-0153", 0x0153, 0x0153},
    {"0050, 0070", 0x0070, 0x0050},
    {"0051, 0071", 0x0071, 0x0051},
    {"0052, 0072, 0154-0159", 0x0072, 0x0052},
    {"0053, 0073, 015A-0161", 0x0073, 0x0053},
    {"0054, 0074, 0162-0167", 0x0074, 0x0054},
    {"0055, 0075, 00D9-00DC, 00F9-00FC, 0168-0173", 0x0075, 0x0055},
    {"0056, 0076", 0x0076, 0x0056},
    {"0057, 0077, 0174-0175", 0x0077, 0x0057},
    {"0058, 0078", 0x0078, 0x0058},
    {"0059, 0079, 00DD, 00FD, 00FF", 0x0079, 0x0059},
    {"005A, 007A, 0179-017E", 0x007A, 0x005A},
    {"00C6, 00E6, 01E2-01E3", 0x00E6, 0x00C6},
    {"0386, 0391, 03AC, 03B1", 0x03B1, 0x0391},
    {"0388, 0395, 03AD, 03B5", 0x03B5, 0x0395},
    {"0389, 0397, 03AE, 03B7", 0x03B7, 0x0397},
    {"038A, 0390, 0399, 03AA, 03AF, 03B9, 03CA", 0x03B9, 0x0399},
    {"038C, 039F, 03BF, 03CC", 0x03BF, 0x039F},
    {"038E, 03A5, 03AB, 03B0, 03C5, 03CB, 03D2-03D4", 0x03C5, 0x03A5},
    {"038F, 03A9, 03C9, 03CE, 03D6", 0x03C9, 0x03A9},
    {"0392, 03B2, 03D0", 0x03B2, 0x03B2},
    {"0393, 03B3", 0x03B3, 0x0393},
    {"0394, 03B4", 0x03B4, 0x0394},
    {"0396, 03B6", 0x03B6, 0x0396},
    {"0398, 03B8, 03D1", 0x03B8, 0x0398},
    {"039A, 03BA, 03F0", 0x03BA, 0x039A},
    {"039B, 03BB", 0x03BB, 0x039B},
    {"039C, 03BC", 0x03BC, 0x039C},
    {"039D, 03BD", 0x03BD, 0x039D},
    {"039E, 03BE", 0x03BE, 0x039E},
    {"03A0, 03C0", 0x03C0, 0x03A0},
    {"03A1, 03C1, 03F1", 0x03C1, 0x03A1},
    {"03A3, 03C3, 03F2", 0x03C3, 0x03A3},
    {"03A4, 03C4", 0x03C4, 0x03A4},
    {"03A6, 03C6, 03D5", 0x03C6, 0x03A6},
    {"03A7, 03C7", 0x03C7, 0x03A7},
    {"03A8, 03C8", 0x03C8, 0x03A8},
    {"03DA-03DB", 0x03DB, 0x03DA},
    {"03DC-03DD", 0x03DD, 0x03DC},
    {"03DE-03DF", 0x03DF, 0x03DE},
    {"03E0-03E1", 0x03E1, 0x03E0},
    {"03E2-03E3", 0x03E3, 0x03E2},
    {"03E4-03E5", 0x03E5, 0x03E4},
    {"03E6-03E7", 0x03E7, 0x03E6},
    {"03E8-03E9", 0x03E9, 0x03E8},
    {"03EA-03EB", 0x03EB, 0x03EA},
    {"03EC-03ED", 0x03ED, 0x03EC},
    {"03EE-03EF", 0x03EF, 0x03EE},
};

std::vector<unsigned short> Codes(const char* list) {
  std::vector<unsigned short> codes;
  const char* p = list;
  while (*p != '\0') {
    char* end = nullptr;
    unsigned long first = std::strtoul(p, &end, 16);
    unsigned long last = first;
    if (*end == '-') last = std::strtoul(end + 1, &end, 16);
    for (unsigned long c = first; c <= last; ++c) {
      codes.push_back(static_cast<unsigned short>(c));
    }
    p = end;
    while (*p == ',' || *p == ' ') ++p;
  }
  return codes;
}

unsigned short Fold(unsigned short c, BooleanT lower) {
  ucNormalizeChar(&c, lower);
  return c;
}

TEST(CharNormalize, Examples) {
  EXPECT_EQ(Fold(0x00E9, 1), 0x0065);
  EXPECT_EQ(Fold(0x00E9, 0), 0x0045);
  EXPECT_EQ(Fold(0x00F6, 0), 0x004F);
  EXPECT_EQ(Fold(0x0153, 0), 0x0153);
  EXPECT_EQ(Fold(0x03C1, 0), 0x03A1);
  EXPECT_EQ(Fold(0x03C2, 0), 0x03C2);
  EXPECT_EQ(Fold(0x03C2, 1), 0x03C2);
  EXPECT_EQ(Fold(0x0067, 0), 0x0047);
  // Any flag other than 1 folds to upper case.
  EXPECT_EQ(Fold(0x0061, 2), 0x0041);
  EXPECT_EQ(Fold(0x0061, -1), 0x0041);
}

TEST(CharNormalize, EveryRowInBothDirectionsAndNothingElse) {
  std::set<unsigned short> listed;
  for (const FoldRowT& row : kRows) {
    for (unsigned short c : Codes(row.codes)) {
      EXPECT_TRUE(listed.insert(c).second) << std::hex << c << " twice";
      EXPECT_EQ(Fold(c, 1), row.lower) << std::hex << c;
      EXPECT_EQ(Fold(c, 0), row.upper) << std::hex << c;
    }
  }
  for (uint32_t c = 0; c <= 0xFFFF; ++c) {
    if (listed.count(static_cast<unsigned short>(c)) != 0) continue;
    ASSERT_EQ(Fold(static_cast<unsigned short>(c), 1), c) << std::hex << c;
    ASSERT_EQ(Fold(static_cast<unsigned short>(c), 0), c) << std::hex << c;
  }
  EXPECT_EQ(*listed.rbegin(), 0x03F2);
}

TEST(CharNormalize, TablesEqualFoldingOneUnitAtATime) {
  for (BooleanT lower : {0, 1}) {
    std::vector<unsigned short> table(1024);
    ucInitializeNormalizationTable(table.data(), table.size(), lower);
    for (uint32_t c = 0; c <= 0xFFFF; ++c) {
      unsigned short viaTable = static_cast<unsigned short>(c);
      ucTableNormalizeChar(table.data(), &viaTable, table.size());
      ASSERT_EQ(viaTable, Fold(static_cast<unsigned short>(c), lower))
          << std::hex << c;
    }
  }

  std::vector<unsigned short> small(256);
  ucInitializeNormalizationTable(small.data(), small.size(), 1);
  unsigned short c = 0x00C0;
  ucTableNormalizeChar(small.data(), &c, small.size());
  EXPECT_EQ(c, 0x0061);
  c = 0x0391;
  ucTableNormalizeChar(small.data(), &c, small.size());
  EXPECT_EQ(c, 0x0391);
}

TEST(CharNormalize, NullPointersAreIgnored) {
  ucNormalizeChar(nullptr, 1);
  ucInitializeNormalizationTable(nullptr, 16, 1);
  unsigned short c = 0x41;
  ucTableNormalizeChar(nullptr, &c, 16);
  EXPECT_EQ(c, 0x41);
  unsigned short table[4] = {9, 9, 9, 9};
  ucTableNormalizeChar(table, nullptr, 4);
}

}  // namespace
