// CheckReportT: where the integrity checks of the layers (the B-tree, a
// partition, the index file) write the problems they find. Each problem is
// one line of text, prefixed with the context the caller set (which
// partition, which header copy). The list is capped, so that a file damaged
// everywhere still gives a report of bounded size; checks stop walking once
// it is full.

#ifndef TARVIS_STORAGE_CHECK_REPORT_H_
#define TARVIS_STORAGE_CHECK_REPORT_H_

#include <cstddef>
#include <string>
#include <vector>

class CheckReportT {
 public:
  static constexpr size_t kMaxProblems = 100;

  explicit CheckReportT(std::vector<std::string>* problems)
      : Problems(problems) {}

  // Adds one problem, formatted as by printf, behind the context.
  void Add(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The text put in front of every problem from now on.
  void SetContext(const std::string& context) { Context = context; }
  const std::string& GetContext() const { return Context; }
  // Problems added through this report (those beyond the cap included).
  size_t Count() const { return Added; }
  // True once the list holds as many problems as it takes.
  bool Full() const { return Added >= kMaxProblems; }

 private:
  std::vector<std::string>* Problems;
  std::string Context;
  size_t Added = 0;
};

#endif  // TARVIS_STORAGE_CHECK_REPORT_H_
