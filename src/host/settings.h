// The tokenizer choices an index was built with, kept in a small text file
// beside it ("INDEX.settings"), so that later runs of index and search fold,
// stem and drop stop words exactly as the first run did without the user
// repeating the options. The library's creation parameters hold no room for
// them, and a text file can be read and repaired by hand.
//
//   # tarvis index settings
//   mode word
//   split lines
//   stem yes
//   stop english          (or "none", or "list" followed by "word ..." lines)

#ifndef TARVIS_HOST_SETTINGS_H_
#define TARVIS_HOST_SETTINGS_H_

#include <string>
#include <utility>
#include <vector>

#include <tarvis/tarvis.h>

struct IndexSettingsT {
  unsigned long Mode = WORD_MODE;
  std::string Split = "none";  // none, lines or paragraphs
  bool Stem = false;
  std::string Stop = "none";   // none, english or list
  std::vector<std::string> StopWords;  // folded words of a "list"
};

std::string SettingsPath(const std::string& index);
const char* ModeName(unsigned long mode);
// 0 when the name is not a mode.
unsigned long ModeFromName(const std::string& name);

// Reads the settings of an index; false (and defaults) when the index has
// no settings file. A malformed file is an error (StatusMalformedParameter).
bool LoadSettings(const std::string& index, IndexSettingsT* settings);
void SaveSettings(const std::string& index, const IndexSettingsT& settings);

// Lines a settings file may hold beside the settings, as key and value.
using SettingsExtrasT = std::vector<std::pair<std::string, std::string>>;
// The forms behind LoadSettings and SaveSettings, for a settings file of
// any name: lines with keys of their own go to extras when it is not null
// (else they are malformed); the heading is the first line's comment.
bool ReadSettingsFile(const std::string& path, IndexSettingsT* settings,
                      SettingsExtrasT* extras);
void WriteSettingsFile(const std::string& path, const std::string& heading,
                       const IndexSettingsT& settings,
                       const SettingsExtrasT& extras);
// True when both make the same words of the same texts into the same
// records.
bool SameSettings(const IndexSettingsT& a, const IndexSettingsT& b);

// Reads a stop word file (one or more words a line, "#" starts a comment)
// into folded words.
std::vector<std::string> ReadStopWordFile(const std::string& path);

// Takes the stop list an option names: "english" for the built-in list, or
// else the path of a stop word file, whose words are kept in the settings.
void ChooseStopList(const std::string& option, IndexSettingsT* settings);

// The library stop list the settings ask for; owns it.
class StopWordsT {
 public:
  explicit StopWordsT(const IndexSettingsT& settings);
  ~StopWordsT();
  StopWordsT(const StopWordsT&) = delete;
  StopWordsT& operator=(const StopWordsT&) = delete;
  // Null when the settings use no stop list.
  StopListT* List() const { return list_; }

 private:
  StopListT* list_ = nullptr;
};

#endif  // TARVIS_HOST_SETTINGS_H_
