// The module's functions over the library's text utilities: stem, fold,
// StopList and Robots. They touch no index and no process-wide state, so
// they run without the library lock.

#include "text_utilities.h"

#include <memory>
#include <string>
#include <vector>

#include <tarvis/tarvis.h>

#include "english_stop_words.h"
#include "errors.h"
#include "tokenizer.h"

namespace py = pybind11;

namespace {

class StopListObjectT {
 public:
  StopListObjectT() : list_(tvCreateStopWordList()) {
    if (list_ == nullptr) Raise(StatusNotEnoughMemory, "stop list");
  }
  ~StopListObjectT() { tvDeleteStopWordList(list_); }
  StopListObjectT(const StopListObjectT&) = delete;
  StopListObjectT& operator=(const StopListObjectT&) = delete;

  // Words are folded as an index folds its words.
  void Add(const std::string& word) {
    std::string folded = FoldText(word);
    StatusCodeT status = 0;
    tvAddStopWord(list_, reinterpret_cast<unsigned char*>(&folded[0]),
                  folded.size(), &status);
    CheckStatus(status, "stop list");
  }
  bool Contains(const std::string& word) const {
    std::string folded = FoldText(word);
    return tvIsStopWord(list_, 0, reinterpret_cast<unsigned char*>(&folded[0]),
                        folded.size()) == 1;
  }
  unsigned long Size() const { return tvNumStopWords(list_); }

 private:
  StopListT* list_;
};

class RobotsObjectT {
 public:
  RobotsObjectT(const std::string& name, const std::string& text) {
    StatusCodeT status = 0;
    robots_ = tvCreateRobotsTxtParser(&status);
    CheckStatus(status, "robots.txt");
    tvSetRobotName(robots_, name.c_str(), name.size());
    std::string copy = text;
    tvParseRobotsTxt(robots_, &copy[0]);
  }
  ~RobotsObjectT() { tvDeleteRobotsTxtParser(robots_); }
  RobotsObjectT(const RobotsObjectT&) = delete;
  RobotsObjectT& operator=(const RobotsObjectT&) = delete;

  bool Allowed(const std::string& pathOrUrl) const {
    std::string copy = pathOrUrl;
    if (copy.find("://") != std::string::npos) {
      return tvRobotsPermissionGrantedFullURL(robots_, &copy[0]) == 1;
    }
    return tvRobotsPermissionGranted(robots_, copy.c_str()) == 1;
  }

 private:
  RobotsT* robots_ = nullptr;
};

}  // namespace

void RegisterTextUtilities(py::module_& module) {
  module.def(
      "stem",
      [](const std::string& word) {
        std::vector<char> stem(word.size() + 1);
        tvStemEnglishWord(stem.data(), word.c_str());
        return std::string(stem.data());
      },
      py::arg("word"),
      "The English (Porter) stem of a lower-case word: stem(\"running\") is\n"
      "\"run\". A word holding anything but ASCII letters comes back as it "
      "is,\nits leading letters in lower case.");
  module.def(
      "fold", [](const std::string& text) { return FoldText(text); },
      py::arg("text"),
      "The text with every letter in lower case and without accents, as an\n"
      "index folds its words: fold(\"Ærø Straße\") is \"ærø straße\".");

  py::class_<StopListObjectT>(module, "StopList",
                              "A stop word list; `word in stoplist` folds "
                              "the word first.")
      .def(py::init([](py::iterable words) {
             auto list = std::make_unique<StopListObjectT>();
             for (py::handle word : words) list->Add(word.cast<std::string>());
             return list;
           }),
           py::arg("words"))
      .def_static(
          "english",
          [] {
            auto list = std::make_unique<StopListObjectT>();
            for (const std::string& word : EnglishStopWords()) list->Add(word);
            return list;
          },
          "The built-in English stop list (as Index.create(stop=\"english\")).")
      .def("__contains__", &StopListObjectT::Contains, py::arg("word"))
      .def("__len__", &StopListObjectT::Size,
           "The number of words added, repeats included.");

  py::class_<RobotsObjectT>(module, "Robots",
                            "The rules of a robots.txt text that apply to "
                            "one robot.")
      .def(py::init<const std::string&, const std::string&>(),
           py::arg("robot_name"), py::arg("robots_txt"))
      .def("allowed", &RobotsObjectT::Allowed, py::arg("path_or_url"),
           "Whether the robot may fetch a path (\"/private/x\") or a full "
           "URL.");
}
