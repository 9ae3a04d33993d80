// The settings file beside an index; see settings.h.

#include "settings.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "english_stop_words.h"
#include "tokenizer.h"
#include "host_error.h"

std::string SettingsPath(const std::string& index) {
  return index + ".settings";
}

const char* ModeName(unsigned long mode) {
  switch (mode) {
    case RECORD_MODE: return "record";
    case WORD_MODE: return "word";
    case IDF_MODE: return "idf";
    default: return "unknown";
  }
}

unsigned long ModeFromName(const std::string& name) {
  if (name == "record") return RECORD_MODE;
  if (name == "word") return WORD_MODE;
  if (name == "idf") return IDF_MODE;
  return 0;
}

bool LoadSettings(const std::string& index, IndexSettingsT* settings) {
  return ReadSettingsFile(SettingsPath(index), settings, nullptr);
}

void SaveSettings(const std::string& index, const IndexSettingsT& settings) {
  WriteSettingsFile(SettingsPath(index),
                    "tarvis index settings: how the words of " + index +
                        " were made",
                    settings, {});
}

bool ReadSettingsFile(const std::string& path, IndexSettingsT* settings,
                      SettingsExtrasT* extras) {
  *settings = IndexSettingsT();
  if (extras != nullptr) extras->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string key, value;
    fields >> key >> value;
    bool good = !value.empty();
    if (key == "mode") {
      settings->Mode = ModeFromName(value);
      good = good && settings->Mode != 0;
    } else if (key == "split") {
      settings->Split = value;
      good = good && (value == "none" || value == "lines" ||
                      value == "paragraphs");
    } else if (key == "stem") {
      settings->Stem = value == "yes";
      good = good && (value == "yes" || value == "no");
    } else if (key == "stop") {
      settings->Stop = value;
      good = good && (value == "none" || value == "english" || value == "list");
    } else if (key == "word") {
      settings->StopWords.push_back(value);
    } else if (extras != nullptr) {
      extras->emplace_back(key, value);
    } else {
      good = false;
    }
    if (!good) {
      HostFail(StatusMalformedParameter,
               path + ":" + std::to_string(lineNumber) +
                   ": not a settings line: '" + line + "'");
    }
  }
  return true;
}

void WriteSettingsFile(const std::string& path, const std::string& heading,
                       const IndexSettingsT& settings,
                       const SettingsExtrasT& extras) {
  std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << "# " << heading << "\n"
        << "mode " << ModeName(settings.Mode) << "\n"
        << "split " << settings.Split << "\n"
        << "stem " << (settings.Stem ? "yes" : "no") << "\n"
        << "stop " << settings.Stop << "\n";
    for (const std::string& word : settings.StopWords) {
      out << "word " << word << "\n";
    }
    for (const auto& extra : extras) {
      out << extra.first << " " << extra.second << "\n";
    }
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      HostFail(StatusWriteError, path + ": cannot write the settings file");
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    HostFail(StatusWriteError, path + ": cannot write the settings file");
  }
}

bool SameSettings(const IndexSettingsT& a, const IndexSettingsT& b) {
  return a.Mode == b.Mode && a.Split == b.Split && a.Stem == b.Stem &&
         a.Stop == b.Stop && a.StopWords == b.StopWords;
}

std::vector<std::string> ReadStopWordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) CheckStatus(StatusCannotOpenFile, path);
  std::vector<std::string> words;
  TokenizerT plain(false, nullptr);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '#') continue;
    plain.Scan(reinterpret_cast<const unsigned char*>(line.data()),
               line.size(),
               [&words](const unsigned char* word, size_t length, size_t,
                        size_t) {
                 words.emplace_back(reinterpret_cast<const char*>(word),
                                    length);
               });
  }
  if (in.bad()) CheckStatus(StatusReadError, path);
  return words;
}

void ChooseStopList(const std::string& option, IndexSettingsT* settings) {
  if (option == "english") {
    settings->Stop = "english";
    settings->StopWords.clear();
  } else {
    settings->Stop = "list";
    settings->StopWords = ReadStopWordFile(option);
  }
}

StopWordsT::StopWordsT(const IndexSettingsT& settings) {
  if (settings.Stop == "none") return;
  const std::vector<std::string>& words =
      settings.Stop == "english" ? EnglishStopWords() : settings.StopWords;
  list_ = tvCreateStopWordList();
  if (list_ == nullptr) CheckStatus(StatusNotEnoughMemory, "stop list");
  for (const std::string& word : words) {
    StatusCodeT status = 0;
    tvAddStopWord(list_,
                  reinterpret_cast<unsigned char*>(
                      const_cast<char*>(word.data())),
                  word.size(), &status);
    if (status < 0) {
      tvDeleteStopWordList(list_);
      list_ = nullptr;
      CheckStatus(status, "stop list");
    }
  }
}

StopWordsT::~StopWordsT() { tvDeleteStopWordList(list_); }
