// The built-in English stop list ("--stop english"): common English
// function words (articles, pronouns, auxiliaries, prepositions,
// conjunctions), already folded as the tokenizer folds words.

#ifndef TARVIS_HOST_ENGLISH_STOP_WORDS_H_
#define TARVIS_HOST_ENGLISH_STOP_WORDS_H_

#include <string>
#include <vector>

const std::vector<std::string>& EnglishStopWords();

#endif  // TARVIS_HOST_ENGLISH_STOP_WORDS_H_
