// The English stemmer: Porter's suffix-stripping algorithm as a table-driven
// rewriter. Its rule tables are fixed, departures from later revisions of
// the algorithm included, because the stems it makes are stored in indexes
// and must come out the same for as long as those indexes live.

#ifndef TARVIS_TEXT_STEMMER_H_
#define TARVIS_TEXT_STEMMER_H_

// Stems the NUL-terminated word in place: lowercases it and strips its
// suffixes. Returns 1, or 0 when the word holds a byte that is not an ASCII
// letter; then only the letters before that byte have been lowercased. The
// stem is never longer than the word, and nothing is written beyond the
// word's terminating NUL.
int Stem(unsigned char* word);

#endif  // TARVIS_TEXT_STEMMER_H_
