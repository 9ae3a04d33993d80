// Exported functions of the query text: the long-to-short form converters
// and the hex word conversions.

#include "interface/exported_call.h"
#include "query/hex_words.h"
#include "query/query_convert.h"

extern "C" {

TV_EXPORT void tvLongQueryFormToShortQueryForm(unsigned char* query,
                                               unsigned long nearDistance) {
  ExportedCallNoStatus([&] {
    if (query != nullptr) LongQueryToShortQuery(query, nearDistance);
  });
}

TV_EXPORT void tvConvertQuery(unsigned char* in, unsigned char* out) {
  ExportedCallNoStatus([&] {
    if (in != nullptr && out != nullptr) QueryConvert(in, out);
  });
}

TV_EXPORT void tvConvertQuery2(unsigned char* out, unsigned char* in) {
  tvConvertQuery(in, out);
}

TV_EXPORT void tvCharWordToHexWord(char* hexOut, unsigned char* bytes,
                                   unsigned long length) {
  ExportedCallNoStatus([&] {
    if (hexOut != nullptr && (bytes != nullptr || length == 0)) {
      BinaryWordToHexWord(hexOut, bytes, length);
    }
  });
}

TV_EXPORT void tvHexToChar(unsigned char* byteOut, const char* twoHexChars) {
  ExportedCallNoStatus([&] {
    if (byteOut != nullptr && twoHexChars != nullptr) {
      *byteOut = hextoc(twoHexChars);
    }
  });
}

TV_EXPORT void tvCharToHex(unsigned char byte, char* twoCharsOut) {
  ExportedCallNoStatus([&] {
    if (twoCharsOut != nullptr) ctohex(byte, twoCharsOut);
  });
}

TV_EXPORT void tvUnicodeHexToChar(unsigned short* valueOut,
                                  const char* fourHexChars) {
  ExportedCallNoStatus([&] {
    if (valueOut != nullptr && fourHexChars != nullptr) {
      *valueOut = UHexToC(fourHexChars);
    }
  });
}

TV_EXPORT void tvUnicodeCharToHex(unsigned short value, char* fourCharsOut) {
  ExportedCallNoStatus([&] {
    if (fourCharsOut != nullptr) Uctohex(value, fourCharsOut);
  });
}

}  // extern "C"
