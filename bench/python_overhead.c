/* The C side of python_overhead.py: runs one Boolean query (in the short
 * form) N times on an index through the C interface, walking every record
 * of each result, and prints the nanoseconds per query.
 *   python_overhead INDEX SHORT-QUERY N */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <tarvis/tarvis.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e9 + t.tv_nsec;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s INDEX SHORT-QUERY N\n", argv[0]);
    return 2;
  }
  StatusCodeT status = 0;
  IndexManagerT* manager = tvCreateIndexManager(&status);
  tvOpenIndex(manager, argv[1], &status);
  if (status >= 0) tvStartRetrievalSession(manager, &status);
  if (status < 0) {
    fprintf(stderr, "%s: %s\n", argv[1], StatusCodeMessage(status));
    return 1;
  }
  long n = atol(argv[3]);
  unsigned long records = 0;
  double start = Now();
  for (long i = 0; i < n; ++i) {
    QueryVectorBaseT* vector =
        tvProcessQuery(manager, NULL, (unsigned char*)argv[2], &status);
    unsigned long record = 0, word = 0, count = 0;
    float weight = 0;
    tvVectorCurrentHit(vector, &record, &word, &count, &weight, &status);
    while (status == 0) {
      ++records;
      tvVectorNextRecord(vector, &record, &word, &count, &weight, &status);
    }
    tvDeleteResultVector(vector, &status);
  }
  double elapsed = Now() - start;
  printf("%.0f %lu\n", elapsed / n, records / n);
  tvCloseIndex(manager, &status);
  tvDeleteIndexManager(manager, &status);
  return 0;
}
