// I/O fault injection over every operation that changes an index: creating
// it, an indexing session, adding a partition file, deleting records and
// closing, a distributed session and a distributed append, an optimisation
// and its end, in both layouts. For each operation a clean run counts its
// calls to the operating system and defines the index "after" it; then the
// operation runs again from the same files once per call, that call made to
// fail (see Sample for the calls chosen when there are many), and:
//
// - the operation reports a negative status, or succeeds when the failed
//   call did not matter (the index is then as after it);
// - nothing crashes, no file descriptor stays open, no temporary file stays
//   behind (unless the failed call was the one removing it), no memory
//   leaks (the sanitizer build);
// - the manager still answers, as before or as after;
// - the index file, opened afresh right after the failure (as a crash then
//   would leave it) and again once the host has closed the index, answers
//   exactly as before the operation,
//   or as after it when the failed call came at or after the point of no
//   return: the last write of the index header, or the rename that puts a
//   rewritten index file in place;
// - the integrity check finds nothing wrong with the index file.
//
// The loop runs twice per operation: with one failing call, and with every
// call failing from the Nth on, as when a disk goes away.

#include "storage/fault_injection.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "manager/index_check.h"
#include "manager/index_header.h"
#include "support/index_answers.h"
#include "support/temp_dir.h"

namespace {

int OpenDescriptors() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++count;
    closedir(d);
  }
  return count;
}

// What the index file answers; an index that cannot be opened is one state,
// whatever the reason.
std::string FileState(const std::string& path) {
  const std::string answers = IndexFileAnswers(path);
  return answers.compare(0, 5, "open ") == 0 ? "no index\n" : answers;
}

// The integrity check's findings, empty when the index is sound or absent.
std::string CheckFindings(const std::string& path) {
  if (access(path.c_str(), F_OK) != 0) return "";
  std::vector<std::string> problems;
  StatusCodeT status = StatusNoError;
  if (CheckIndex(path.c_str(), &problems, &status)) return "";
  std::string text;
  for (const std::string& problem : problems) text += problem + "\n";
  return text;
}

// How an operation runs: on an open index (a retrieval session started) or
// on an idle manager, and whether it closes the index itself.
enum class StartT { kIdle, kRetrieving };

struct OperationT {
  StartT Start;
  bool Closes;
  std::function<StatusCodeT(IndexManagerT*)> Run;
};

class FaultsInjectionTest : public testing::Test {
 protected:
  void SetUp() override {
    work_ = dir_.File("work");
    temp_ = work_ + "/tmp";
    ASSERT_EQ(0, mkdir(work_.c_str(), 0755));
    ASSERT_EQ(0, mkdir(temp_.c_str(), 0755));
    tvSetLocationForTemporaryFiles((temp_ + "/").c_str());
    index_ = work_ + "/index.tvx";
  }
  void TearDown() override { DisarmIoFault(); }

  std::string Work(const std::string& name) const { return work_ + "/" + name; }

  // An index of the layout with three sessions of records, some deleted.
  void MakeIndex(bool distributed, bool withDeletions) {
    StatusCodeT status = StatusNoError;
    IndexManagerT* manager = tvCreateIndexManager(&status);
    ASSERT_EQ(StatusNoError, CreateAnswerIndex(manager, index_, distributed));
    tvOpenIndex(manager, const_cast<char*>(index_.c_str()), &status);
    ASSERT_EQ(StatusNoError, status);
    for (int s = 0; s < 3; ++s) {
      ASSERT_EQ(
          StatusNoError,
          IndexAnswerSession(
              manager, MakeRecords("s" + std::to_string(s), 6 + s),
              distributed ? Work("p" + std::to_string(s)) : std::string()));
    }
    if (withDeletions) {
      tvStartRetrievalSession(manager, &status);
      for (unsigned long r : {2ul, 9ul, 10ul, 17ul}) {
        tvDeleteRecordNum(manager, r, &status);
      }
      ASSERT_EQ(StatusNoError, status);
    }
    tvCloseIndex(manager, &status);
    ASSERT_EQ(StatusNoError, status);
    tvDeleteIndexManager(manager, &status);
  }

  void SaveFiles() {
    saved_.clear();
    for (const std::string& name : FilesIn(work_)) {
      saved_[name] = ReadWholeFile(Work(name));
    }
  }

  // Empties the working and the temporary directory.
  void ClearWork() {
    for (const std::string& name : FilesIn(work_)) unlink(Work(name).c_str());
    for (const std::string& name : FilesIn(temp_)) {
      unlink((temp_ + "/" + name).c_str());
    }
  }

  void RestoreFiles() {
    ClearWork();
    for (const auto& [name, bytes] : saved_) WriteWholeFile(Work(name), bytes);
  }

  // A manager ready for the operation.
  IndexManagerT* Begin(const OperationT& op) {
    StatusCodeT status = StatusNoError;
    IndexManagerT* manager = tvCreateIndexManager(&status);
    if (op.Start == StartT::kRetrieving) {
      tvOpenIndex(manager, const_cast<char*>(index_.c_str()), &status);
      EXPECT_EQ(StatusNoError, status);
      tvStartRetrievalSession(manager, &status);
      EXPECT_EQ(StatusNoError, status);
    }
    return manager;
  }

  // What the manager answers after the operation, the retrieval session
  // started anew as a host would.
  std::string ManagerAnswers(IndexManagerT* manager) {
    StatusCodeT status = StatusNoError;
    tvEndRetrievalSession(manager, &status);
    return IndexAnswers(manager);
  }

  void End(const OperationT& op, IndexManagerT* manager) {
    StatusCodeT status = StatusNoError;
    // An operation that closes the index is not retried: the manager goes
    // as after a failure that the host does not repair.
    if (!op.Closes) {
      tvCloseIndex(manager, &status);
      EXPECT_EQ(StatusNoError, status);
    }
    tvDeleteIndexManager(manager, &status);
  }

  // The call numbers tried: all of them up to kBudget. Beyond, every
  // flush, rename and remove, the first call of each kind, every open,
  // close and write (not under the sanitizers, whose runs are several times
  // slower and whose budget is smaller), and an even spread of the other
  // calls up to the budget: every kind and every phase is struck.
  static std::vector<uint64_t> Sample(const std::vector<IoCallT>& trace) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr size_t kBudget = 150;
    constexpr bool kKeepWrites = false;
#else
    constexpr size_t kBudget = 600;
    constexpr bool kKeepWrites = true;
#endif
    std::vector<uint64_t> chosen;
    std::vector<uint64_t> plain;
    std::set<IoCallKindT> seen;
    for (uint64_t n = 1; n <= trace.size(); ++n) {
      const IoCallKindT kind = trace[n - 1].Kind;
      const bool rare =
          kind == kIoFlush || kind == kIoRename || kind == kIoRemove;
      const bool common = kind == kIoRead || kind == kIoSeek;
      if (trace.size() <= kBudget || rare || seen.insert(kind).second ||
          (kKeepWrites && !common)) {
        chosen.push_back(n);
      } else {
        plain.push_back(n);
      }
    }
    if (!plain.empty() && chosen.size() < kBudget) {
      const size_t room = kBudget - chosen.size();
      const size_t step = (plain.size() + room - 1) / room;
      for (size_t i = 0; i < plain.size(); i += step)
        chosen.push_back(plain[i]);
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
  }

  // The point of no return: the rename putting a rewritten index file in
  // place, else the last header write; 0 when the operation has none.
  uint64_t CommitCall(const std::vector<IoCallT>& trace) const {
    for (size_t i = trace.size(); i-- > 0;) {
      if (trace[i].Kind == kIoRename && trace[i].File == index_) return i + 1;
    }
    for (size_t i = trace.size(); i-- > 0;) {
      if (trace[i].Kind == kIoWrite && trace[i].File == index_ &&
          trace[i].Offset == kIndexHeaderPosition) {
        return i + 1;
      }
    }
    return 0;
  }

  // Runs the loop; the files the operation starts from are in work_.
  void RunLoop(const OperationT& op) {
    SaveFiles();
    const std::string before = FileState(index_);
    const std::vector<std::string> beforeFiles = FilesIn(work_);

    // The clean run.
    IndexManagerT* manager = Begin(op);
    ResetIoCalls();
    SetIoTracing(true);
    ASSERT_EQ(StatusNoError, op.Run(manager));
    SetIoTracing(false);
    const std::vector<IoCallT> trace = IoCallTrace();
    End(op, manager);
    const std::string after = FileState(index_);
    ASSERT_EQ("", CheckFindings(index_));
    // Files the operation may leave beside the index: those there before
    // and those there after it.
    std::set<std::string> known(beforeFiles.begin(), beforeFiles.end());
    for (const std::string& name : FilesIn(work_)) known.insert(name);
    const uint64_t commit = CommitCall(trace);
    ASSERT_FALSE(trace.empty());
    ASSERT_TRUE(FilesIn(temp_).empty()) << FilesIn(temp_)[0];

    const std::vector<uint64_t> calls = Sample(trace);
    std::map<std::string, int> struckKinds;
    int harmless = 0;
    for (bool persistent : {false, true}) {
      for (uint64_t n : calls) {
        RestoreFiles();
        const int descriptors = OpenDescriptors();
        manager = Begin(op);
        ResetIoCalls();
        ArmIoFault(n, kIoAnyKind, persistent);
        const StatusCodeT status = op.Run(manager);
        const bool struck = IoFaultStruck();
        DisarmIoFault();
        const IoCallT& call = trace[n - 1];
        const std::string where = std::string(persistent ? "from " : "") +
                                  "call " + std::to_string(n) + " of " +
                                  std::to_string(trace.size()) + " (" +
                                  IoCallKindName(call.Kind) + " " + call.File +
                                  " at " + std::to_string(call.Offset) + ")";
        if (!struck) {
          ADD_FAILURE() << "the calls differ from the clean run's: " << where;
          End(op, manager);
          return;
        }
        ++struckKinds[IoCallKindName(call.Kind)];
        const bool pastCommit = commit != 0 && n >= commit;
        // The index file as it stands: sound, and as before, or as after
        // when the operation succeeded or failed past its commit.
        auto judge = [&](const char* moment) {
          const std::string state = FileState(index_);
          if (state != "no index\n") {
            EXPECT_EQ("", CheckFindings(index_)) << moment << where;
          }
          if (status >= 0) {
            EXPECT_EQ(after, state) << "succeeded, " << moment << where;
          } else if (pastCommit) {
            EXPECT_TRUE(state == before || state == after)
                << "failed with " << status << ", " << moment << where << ":\n"
                << state;
          } else {
            EXPECT_EQ(before, state)
                << "failed with " << status << ", " << moment << where;
          }
        };
        // As a crash right after the failure would leave it, then once the
        // host has closed the index.
        judge("on the disk at once, ");
        if (status >= 0) ++harmless;
        if (!op.Closes && manager->State() != IndexManagerT::kIdle) {
          const std::string seen = ManagerAnswers(manager);
          EXPECT_TRUE(seen == before || seen == after)
              << "the manager answers neither as before nor as after, " << where
              << ", status " << status << ":\n"
              << seen;
        } else if (!op.Closes && op.Start != StartT::kIdle) {
          ADD_FAILURE() << "the manager lost its index, " << where;
        }
        End(op, manager);
        EXPECT_EQ(descriptors, OpenDescriptors()) << where;
        const std::vector<std::string> left = FilesIn(temp_);
        // A file whose removal failed stays, as with any host's disk.
        if (!persistent && call.Kind != kIoRemove) {
          EXPECT_TRUE(left.empty()) << left[0] << " left, " << where;
          for (const std::string& name : FilesIn(work_)) {
            EXPECT_TRUE(known.count(name) > 0) << name << " left, " << where;
          }
        }
        judge("closed, ");
        if (HasFailure()) return;
      }
    }
    for (const IoCallT& call : trace) {
      EXPECT_TRUE(struckKinds.count(IoCallKindName(call.Kind)) > 0)
          << "no " << IoCallKindName(call.Kind) << " was made to fail";
    }
    std::string kinds;
    for (const auto& [kind, count] : struckKinds) {
      kinds += " " + kind + " " + std::to_string(count);
    }
    std::printf("%zu calls, %zu tried twice, commit at %llu, %d harmless;%s\n",
                trace.size(), calls.size(),
                static_cast<unsigned long long>(commit), harmless,
                kinds.c_str());
  }

  ScopedTempDirT dir_;
  std::string work_;
  std::string temp_;
  std::string index_;
  std::map<std::string, std::string> saved_;
};

// The operations, each on an index of either layout.

OperationT Creation(const std::string& index, bool distributed) {
  return {StartT::kIdle, false, [index, distributed](IndexManagerT* m) {
            return CreateAnswerIndex(m, index, distributed);
          }};
}

OperationT Session(const std::string& partition) {
  return {StartT::kRetrieving, false, [partition](IndexManagerT* m) {
            return IndexAnswerSession(m, MakeRecords("new", 5), partition);
          }};
}

OperationT AddPartition(const std::string& partition) {
  return {StartT::kRetrieving, false, [partition](IndexManagerT* m) {
            StatusCodeT status = StatusNoError;
            m->AddPartitionToIndex(partition.c_str(), &status);
            return status;
          }};
}

OperationT DeleteAndClose() {
  return {StartT::kRetrieving, true, [](IndexManagerT* m) {
            StatusCodeT status = StatusNoError;
            for (unsigned long r : {3ul, 4ul, 20ul}) {
              tvDeleteRecordNum(m, r, &status);
            }
            if (status < 0) return status;
            tvCloseIndex(m, &status);
            return status;
          }};
}

// Merges the last `partitions` partitions, or with 0 the range the index
// needs most, and ends the optimisation, the merged partition of a
// distributed index going to merged, the old files removed.
OperationT Optomization(unsigned long partitions, const std::string& merged) {
  return {StartT::kRetrieving, false, [partitions, merged](IndexManagerT* m) {
            StatusCodeT status = StatusNoError;
            if (partitions > 0) {
              tvOptomizeIndex(m, partitions, &status);
            } else {
              tvPerformOptomization(m, 1, &status);
            }
            if (status < 0) return status;
            tvEndOptomization(m, const_cast<char*>(merged.c_str()), 1, &status);
            return status;
          }};
}

TEST_F(FaultsInjectionTest, Creation) {
  for (bool distributed : {false, true}) {
    SCOPED_TRACE(distributed ? "distributed" : "single file");
    ClearWork();
    RunLoop(Creation(index_, distributed));
  }
}

TEST_F(FaultsInjectionTest, SessionOnSingleFileIndex) {
  MakeIndex(false, true);
  RunLoop(Session(""));
}

TEST_F(FaultsInjectionTest, SessionOnDistributedIndex) {
  MakeIndex(true, true);
  RunLoop(Session(Work("pn")));
}

TEST_F(FaultsInjectionTest, FirstSessionOnNewIndex) {
  StatusCodeT status = StatusNoError;
  IndexManagerT* manager = tvCreateIndexManager(&status);
  ASSERT_EQ(StatusNoError, CreateAnswerIndex(manager, index_, false));
  tvDeleteIndexManager(manager, &status);
  RunLoop(Session(""));
}

TEST_F(FaultsInjectionTest, AddingPartitionToSingleFileIndex) {
  MakeIndex(false, true);
  ASSERT_EQ(StatusNoError, MakePartitionFile(index_, false, Work("extra"),
                                             MakeRecords("x", 4)));
  RunLoop(AddPartition(Work("extra")));
}

TEST_F(FaultsInjectionTest, DistributedAppend) {
  MakeIndex(true, true);
  ASSERT_EQ(StatusNoError, MakePartitionFile(index_, true, Work("extra"),
                                             MakeRecords("x", 4)));
  RunLoop(AddPartition(Work("extra")));
}

TEST_F(FaultsInjectionTest, DeletingRecordsThenClosing) {
  for (bool distributed : {false, true}) {
    SCOPED_TRACE(distributed ? "distributed" : "single file");
    ClearWork();
    MakeIndex(distributed, distributed);
    RunLoop(DeleteAndClose());
  }
}

// The last two partitions; then the first one alone (more than a tenth of
// its records deleted), the partitions after it moving down.
TEST_F(FaultsInjectionTest, OptomizationOfSingleFileIndex) {
  for (unsigned long partitions : {2ul, 0ul}) {
    ClearWork();
    MakeIndex(false, true);
    RunLoop(Optomization(partitions, ""));
  }
}

TEST_F(FaultsInjectionTest, OptomizationOfDistributedIndex) {
  for (unsigned long partitions : {2ul, 0ul}) {
    ClearWork();
    MakeIndex(true, true);
    RunLoop(Optomization(partitions, Work("merged")));
  }
}

}  // namespace
