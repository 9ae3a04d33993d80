// FileClassT: buffered file with views, page cache and big-endian typed I/O.

#include "storage/fileclas.h"

#include <cstring>

char TempTempFileNamePosition[1024] = "";
uint32_t TempFileNameCounter = 0;

int SetTemporaryFileLocation(const char* location) {
  if (location == nullptr) {
    TempTempFileNamePosition[0] = '\0';
    return 1;
  }
  size_t length = strnlen(location, sizeof(TempTempFileNamePosition));
  if (length >= sizeof(TempTempFileNamePosition)) return 0;
  std::memcpy(TempTempFileNamePosition, location, length + 1);
  return 1;
}
