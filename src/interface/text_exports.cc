// Exported functions of the text utilities: stop word lists, the English
// stemmer, the highlight matcher, the robots exclusion parser and character
// folding. Each checks its handle and pointer arguments before use.

#include <cstring>

#include "interface/exported_call.h"
#include "interface/live_handles.h"
#include "storage/allocation.h"
#include "text/char_normalize.h"
#include "text/highlighter.h"
#include "text/robots.h"
#include "text/stemmer.h"
#include "text/stop_list.h"

namespace {

// Makes a handle object, registers it and returns it; null when memory runs
// out.
template <typename T>
T* CreateHandle(HandleKind kind) {
  T* object = NewOrNull<T>();
  try {
    RegisterHandle(object, kind);
  } catch (...) {
    delete object;
    throw;
  }
  return object;
}

template <typename T>
void DeleteHandle(T* object, HandleKind kind) {
  if (!IsLiveHandle(object, kind)) return;
  UnregisterHandle(object);
  delete object;
}

}  // namespace

extern "C" {

TV_EXPORT StopListT* tvCreateStopWordList(void) {
  return ExportedCallNoStatus(static_cast<StopListT*>(nullptr), [] {
    return CreateHandle<StopListT>(HandleKind::kStopList);
  });
}

TV_EXPORT void tvDeleteStopWordList(StopListT* list) {
  ExportedCallNoStatus([&] { DeleteHandle(list, HandleKind::kStopList); });
}

TV_EXPORT void tvAddStopWord(StopListT* list, unsigned char* word,
                             unsigned long length, StatusCodeT* status) {
  ExportedCall(status, [&](StatusCodeT* s) {
    if (!IsLiveHandle(list, HandleKind::kStopList) || word == nullptr) {
      *s = StatusMalformedParameter;
      return;
    }
    list->AddStopWord(word, length, s);
  });
}

TV_EXPORT void tvAddStopWordList(StopListT* list, char* fileName,
                                 StatusCodeT* status) {
  ExportedCall(status, [&](StatusCodeT* s) {
    if (!IsLiveHandle(list, HandleKind::kStopList)) {
      *s = StatusMalformedParameter;
    } else if (fileName == nullptr) {
      *s = StatusCannotOpenFile;
    } else {
      list->AddTextStopWordList(fileName, s);
    }
  });
}

TV_EXPORT int tvIsStopWord(StopListT* list, unsigned long start,
                           unsigned char* buffer, unsigned long end) {
  return ExportedCallNoStatus(0, [&] {
    if (!IsLiveHandle(list, HandleKind::kStopList) || buffer == nullptr) {
      return 0;
    }
    return list->IsStopWord(start, buffer, end);
  });
}

TV_EXPORT unsigned long tvNumStopWords(StopListT* list) {
  return ExportedCallNoStatus(0UL, [&]() -> unsigned long {
    if (!IsLiveHandle(list, HandleKind::kStopList)) return 0;
    return list->NumStopWordsInserted();
  });
}

TV_EXPORT int tvStemEnglishWord(char* destination, const char* word) {
  if (destination == nullptr || word == nullptr) return 0;
  std::memmove(destination, word, std::strlen(word) + 1);
  return Stem(reinterpret_cast<unsigned char*>(destination));
}

TV_EXPORT WordHighlighterT* tvCreateHighlightMatcher(StatusCodeT* status) {
  return ExportedCall(status, static_cast<WordHighlighterT*>(nullptr),
                      [](StatusCodeT* s) {
                        auto* matcher = CreateHandle<WordHighlighterT>(
                            HandleKind::kHighlightMatcher);
                        if (matcher == nullptr) *s = StatusNotEnoughMemory;
                        return matcher;
                      });
}

TV_EXPORT void tvAddWildCardPatternToHighlightMatcher(
    WordHighlighterT* matcher, unsigned char* pattern, unsigned long length,
    StatusCodeT* status) {
  ExportedCall(status, [&](StatusCodeT* s) {
    if (!IsLiveHandle(matcher, HandleKind::kHighlightMatcher) ||
        pattern == nullptr) {
      *s = StatusMalformedParameter;
      return;
    }
    matcher->AddWildcard(pattern, length, s);
  });
}

TV_EXPORT int tvHighlightMatcherMatch(WordHighlighterT* matcher,
                                      unsigned char* word,
                                      unsigned long length) {
  return ExportedCallNoStatus(0, [&] {
    if (!IsLiveHandle(matcher, HandleKind::kHighlightMatcher) ||
        word == nullptr) {
      return 0;
    }
    return matcher->Match(word, length);
  });
}

TV_EXPORT void tvDeleteHighlightMatcher(WordHighlighterT* matcher) {
  ExportedCallNoStatus(
      [&] { DeleteHandle(matcher, HandleKind::kHighlightMatcher); });
}

TV_EXPORT RobotsT* tvCreateRobotsTxtParser(StatusCodeT* status) {
  return ExportedCall(status, static_cast<RobotsT*>(nullptr),
                      [](StatusCodeT* s) {
                        auto* robots =
                            CreateHandle<RobotsT>(HandleKind::kRobotsParser);
                        if (robots == nullptr) *s = StatusNotEnoughMemory;
                        return robots;
                      });
}

TV_EXPORT void tvDeleteRobotsTxtParser(RobotsT* robots) {
  ExportedCallNoStatus([&] { DeleteHandle(robots, HandleKind::kRobotsParser); });
}

TV_EXPORT void tvSetRobotName(RobotsT* robots, const char* name,
                              unsigned long length) {
  ExportedCallNoStatus([&] {
    if (IsLiveHandle(robots, HandleKind::kRobotsParser) && name != nullptr) {
      robots->SetRobotName(name, length);
    }
  });
}

TV_EXPORT void tvParseRobotsTxt(RobotsT* robots, char* text) {
  ExportedCallNoStatus([&] {
    if (IsLiveHandle(robots, HandleKind::kRobotsParser) && text != nullptr) {
      robots->ParseRobotsTxt(text);
    }
  });
}

TV_EXPORT int tvRobotsPermissionGranted(RobotsT* robots, const char* path) {
  return ExportedCallNoStatus(0, [&] {
    if (!IsLiveHandle(robots, HandleKind::kRobotsParser) || path == nullptr) {
      return 0;
    }
    return robots->PermissionGranted(path);
  });
}

TV_EXPORT int tvRobotsPermissionGrantedFullURL(RobotsT* robots, char* url) {
  return ExportedCallNoStatus(0, [&] {
    if (!IsLiveHandle(robots, HandleKind::kRobotsParser) || url == nullptr) {
      return 0;
    }
    return robots->PermissionGrantedFullURL(url);
  });
}

TV_EXPORT unsigned long tvRobotsTxtLength(RobotsT* robots) {
  return ExportedCallNoStatus(0UL, [&]() -> unsigned long {
    if (!IsLiveHandle(robots, HandleKind::kRobotsParser)) return 0;
    return robots->RobotsTxtLength();
  });
}

TV_EXPORT void tvOutputCompactRobotsTxt(RobotsT* robots, char* buffer) {
  ExportedCallNoStatus([&] {
    if (IsLiveHandle(robots, HandleKind::kRobotsParser) && buffer != nullptr) {
      robots->OutputCompactRobotsTxt(buffer);
    }
  });
}

TV_EXPORT void ucNormalizeChar(unsigned short* ch, BooleanT lower) {
  if (ch != nullptr) NormalizeChar(ch, lower);
}

TV_EXPORT void ucInitializeNormalizationTable(unsigned short* table,
                                              unsigned long size,
                                              BooleanT lower) {
  if (table != nullptr) InitializeNormalizationTable(table, size, lower);
}

TV_EXPORT void ucTableNormalizeChar(unsigned short* table, unsigned short* ch,
                                    unsigned long size) {
  if (table != nullptr && ch != nullptr) TableNormalizeChar(table, ch, size);
}

}  // extern "C"
