/* A tiny host: creates an index manager and shows a few status messages. It
 * links only the public interface of libtarvis. */
#include <stdio.h>

#include <tarvis/tarvis.h>

int main(void) {
  StatusCodeT status = 1;
  IndexManagerT* manager = tvCreateIndexManager(&status);
  printf("create manager: %d (%s)\n", (int)status, StatusCodeMessage(status));
  if (manager == NULL) return 1;

  const long codes[] = {StatusEndOfVector, StatusNotIndexFile,
                        StatusHexTermExpected};
  for (unsigned i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
    printf("status %ld: %s\n", codes[i], StatusCodeMessage(codes[i]));
  }

  tvDeleteIndexManager(manager, &status);
  printf("delete manager: %d (%s)\n", (int)status, StatusCodeMessage(status));
  return status == StatusNoError ? 0 : 1;
}
