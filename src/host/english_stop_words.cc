// The built-in English stop list; see english_stop_words.h.

#include "english_stop_words.h"

const std::vector<std::string>& EnglishStopWords() {
  static const std::vector<std::string> words = {
      // articles and determiners
      "a", "an", "the", "this", "that", "these", "those", "some", "any",
      "each", "every", "either", "neither", "no", "such", "own", "same",
      "other", "another", "all", "both", "few", "more", "most", "much",
      "many", "several",
      // pronouns
      "i", "me", "my", "mine", "myself", "we", "us", "our", "ours",
      "ourselves", "you", "your", "yours", "yourself", "yourselves", "he",
      "him", "his", "himself", "she", "her", "hers", "herself", "it", "its",
      "itself", "they", "them", "their", "theirs", "themselves", "who",
      "whom", "whose", "which", "what", "whatever", "whoever",
      // auxiliaries and common verbs
      "am", "is", "are", "was", "were", "be", "been", "being", "have", "has",
      "had", "having", "do", "does", "did", "doing", "done", "shall",
      "should", "will", "would", "can", "could", "may", "might", "must",
      "ought",
      // prepositions
      "of", "in", "on", "at", "by", "for", "with", "without", "within",
      "about", "above", "below", "across", "after", "before", "against",
      "along", "among", "around", "behind", "beneath", "beside", "between",
      "beyond", "during", "except", "from", "into", "onto", "off", "out",
      "over", "under", "upon", "through", "throughout", "to", "toward",
      "towards", "until", "up", "down", "via", "per",
      // conjunctions and adverbs of little weight
      "and", "or", "but", "nor", "so", "yet", "if", "then", "else", "than",
      "because", "since", "unless", "while", "whether", "though",
      "although", "as", "also", "not", "only", "very", "too", "just",
      "again", "here", "there", "when", "where", "why", "how", "once",
      "now", "ever", "never", "still", "even", "thus", "hence", "however",
      // contractions split by the tokenizer
      "s", "t", "d", "ll", "m", "re", "ve",
  };
  return words;
}
