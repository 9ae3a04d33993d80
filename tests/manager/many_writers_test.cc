// Many writers on one index at once: forked processes, each running
// several threads with a manager of their own, index sessions, append
// distributed partitions, delete records they find by a query and optimise,
// all on the same two indexes (one of each layout) and one temporary
// location. Every writer reports each operation and its outcome; at the
// end every operation that reported success must have its whole effect,
// every one that failed none, nothing else may have changed, and the check
// must find the indexes sound.
//
// The operations follow from a seed, printed at the start;
// TARVIS_WRITERS_SEED repeats a run (the interleaving still varies).

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "manager/index_check.h"
#include "support/index_answers.h"
#include "support/temp_dir.h"

namespace {

constexpr int kProcesses = 3;
constexpr int kThreads = 2;
#if defined(__SANITIZE_ADDRESS__)
constexpr int kOperations = 10;
#else
constexpr int kOperations = 30;
#endif
// Generous: a commit must never give up because the others are slow.
constexpr unsigned long kLockTimeoutMs = 120000;

enum OperationT { kSession, kAppend, kDelete, kOptomize, kOperationKinds };

// One writer: a thread of a forked process with its own manager.
class WriterT {
 public:
  WriterT(std::string dir, int id, uint64_t seed, int out)
      : dir_(std::move(dir)), id_(id), random_(seed * 7919 + id), out_(out) {}

  void Run() {
    for (int k = 0; k < kOperations; ++k) {
      const bool distributed = random_() % 2 == 0;
      const std::string index = dir_ + (distributed ? "/d.tvx" : "/s.tvx");
      const std::string tag = "w" + std::to_string(id_) + "o" +
                              std::to_string(k);
      const int op = static_cast<int>(random_() % kOperationKinds);
      switch (op) {
        case kSession:
        case kAppend:
          AddRecords(index, distributed, op == kAppend && distributed, tag);
          break;
        case kDelete:
          Delete(index);
          break;
        default:
          Optomize(index, distributed, tag);
          break;
      }
    }
  }

 private:
  // Reports one line; a pipe takes a write this short whole.
  void Report(const std::string& line) {
    const std::string text = line + "\n";
    if (write(out_, text.data(), text.size()) != ssize_t(text.size())) {
      _exit(3);
    }
  }

  IndexManagerT* Open(const std::string& index, StatusCodeT* status) {
    IndexManagerT* m = tvCreateIndexManager(status);
    tvSetLockTimeout(m, kLockTimeoutMs, status);
    tvOpenIndex(m, const_cast<char*>(index.c_str()), status);
    if (*status >= 0) tvStartRetrievalSession(m, status);
    return m;
  }

  static StatusCodeT Close(IndexManagerT* m, StatusCodeT status) {
    StatusCodeT closed = StatusNoError;
    tvCloseIndex(m, &closed);
    StatusCodeT ignored = StatusNoError;
    tvDeleteIndexManager(m, &ignored);
    return status < 0 ? status : closed;
  }

  void AddRecords(const std::string& index, bool distributed, bool append,
                  const std::string& tag) {
    const int count = 2 + static_cast<int>(random_() % 3);
    const std::vector<AnswerRecordT> records = MakeRecords(tag, count);
    const std::string file = dir_ + "/" + tag + ".part";
    StatusCodeT status = StatusNoError;
    if (append) status = MakePartitionFile(index, true, file, records);
    IndexManagerT* m = Open(index, &status);
    if (status >= 0 && append) {
      tvAppendDistributedDataToIndex(m, const_cast<char*>(file.c_str()),
                                     &status);
    } else if (status >= 0) {
      status = IndexAnswerSession(m, records, distributed ? file : "");
    }
    status = Close(m, status);
    Report("add " + index + " " + tag + " " + std::to_string(count) + " " +
           std::to_string(status));
    if (status >= 0) owned_[index].push_back({tag, count});
  }

  // Deletes one record of a session this writer added, found by its word.
  void Delete(const std::string& index) {
    std::vector<std::pair<std::string, int>>& mine = owned_[index];
    if (mine.empty()) return;
    const auto& pick = mine[random_() % mine.size()];
    const std::string name =
        pick.first + "-" + std::to_string(random_() % pick.second);
    StatusCodeT status = StatusNoError;
    IndexManagerT* m = Open(index, &status);
    uint32_t record = 0;
    if (status >= 0) {
      const std::string query = HexTerm("u" + name);
      std::unique_ptr<UncompressedQueryVectorT> hits(m->ProcessQuery(
          reinterpret_cast<const unsigned char*>(query.c_str()), &status));
      if (hits != nullptr && hits->IsPositioned()) {
        record = hits->CurrentRecord();
      }
    }
    if (status >= 0 && record != 0) tvDeleteRecordNum(m, record, &status);
    status = Close(m, status);
    if (record == 0 && status >= 0) return;  // deleted before
    Report("delete " + index + " " + name + " " + std::to_string(status));
  }

  void Optomize(const std::string& index, bool distributed,
                const std::string& tag) {
    StatusCodeT status = StatusNoError;
    IndexManagerT* m = Open(index, &status);
    const uint32_t partitions = status >= 0 ? m->NumPartitions() : 0;
    if (partitions >= 2) {
      tvOptomizeIndex(m, 2, &status);
      const std::string merged = dir_ + "/" + tag + ".merged";
      if (status >= 0) {
        tvEndOptomization(m, const_cast<char*>(merged.c_str()),
                          distributed ? 1 : 0, &status);
      }
    }
    status = Close(m, status);
    Report("optimise " + index + " " + std::to_string(status));
  }

  std::string dir_;
  int id_;
  std::mt19937_64 random_;
  int out_;
  std::map<std::string, std::vector<std::pair<std::string, int>>> owned_;
};

uint64_t Seed() {
  const char* text = std::getenv("TARVIS_WRITERS_SEED");
  if (text != nullptr && text[0] != '\0') return std::strtoull(text, nullptr, 10);
  return std::chrono::steady_clock::now().time_since_epoch().count() %
         1000000007;
}

// The live records of an index, by their own word, with the records that
// hold each.
std::map<std::string, int> LiveRecords(const std::string& index) {
  std::map<std::string, int> live;
  StatusCodeT status = StatusNoError;
  IndexManagerT* m = tvCreateIndexManager(&status);
  tvOpenIndex(m, const_cast<char*>(index.c_str()), &status);
  tvStartRetrievalSession(m, &status);
  EXPECT_EQ(StatusNoError, status) << index;
  unsigned long records = 0;
  tvNumberOfRecordsInIndex(m, &records, &status);
  unsigned char buffer[256];
  for (unsigned long r = 1; r <= records && status >= 0; ++r) {
    if (tvIsRecordDeleted(m, r, &status)) continue;
    unsigned long got = 0;
    tvRetrieveRecordID(m, buffer, sizeof(buffer), &got, nullptr, r, &status);
    ++live[std::string(reinterpret_cast<char*>(buffer), got)];
  }
  EXPECT_EQ(StatusNoError, status) << index;
  tvDeleteIndexManager(m, &status);
  return live;
}

TEST(FaultsManyWritersTest, ProcessesAndThreadsLoseNothing) {
  const uint64_t seed = Seed();
  std::printf("many writers: seed %llu (TARVIS_WRITERS_SEED)\n",
              static_cast<unsigned long long>(seed));
  std::fflush(stdout);
  ScopedTempDirT dir;
  const std::string temp = dir.File("tmp");
  ASSERT_EQ(0, mkdir(temp.c_str(), 0755));
  const std::string single = dir.File("s.tvx");
  const std::string distributed = dir.File("d.tvx");
  StatusCodeT status = StatusNoError;
  IndexManagerT* creator = tvCreateIndexManager(&status);
  ASSERT_EQ(StatusNoError, CreateAnswerIndex(creator, single, false));
  ASSERT_EQ(StatusNoError, CreateAnswerIndex(creator, distributed, true));
  tvDeleteIndexManager(creator, &status);

  int channel[2];
  ASSERT_EQ(0, pipe(channel));
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = fork();
    ASSERT_LE(0, child);
    if (child == 0) {
      close(channel[0]);
      tvSetLocationForTemporaryFiles((temp + "/").c_str());
      std::vector<std::thread> threads;
      for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
          WriterT(dir.Path(), p * kThreads + t, seed, channel[1]).Run();
        });
      }
      for (std::thread& thread : threads) thread.join();
      _exit(0);
    }
    children.push_back(child);
  }
  close(channel[1]);
  std::string reports;
  char buffer[4096];
  ssize_t got;
  while ((got = read(channel[0], buffer, sizeof(buffer))) > 0) {
    reports.append(buffer, static_cast<size_t>(got));
  }
  close(channel[0]);
  for (pid_t child : children) {
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    ASSERT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
  }

  // What the reports say each index must hold.
  std::map<std::string, std::map<std::string, int>> expected;
  std::istringstream lines(reports);
  std::string kind;
  int operations = 0;
  std::map<std::string, int> outcomes;
  while (lines >> kind) {
    ++operations;
    std::string index;
    lines >> index;
    if (kind == "add") {
      std::string tag;
      int count = 0;
      lines >> tag >> count >> status;
      // Sessions and appends wait for the lock: they never fail.
      EXPECT_EQ(StatusNoError, status) << "add " << tag;
      for (int k = 0; k < count && status >= 0; ++k) {
        expected[index]["id-" + tag + "-" + std::to_string(k)] = 1;
      }
    } else if (kind == "delete") {
      std::string name;
      lines >> name >> status;
      // A deletion lands whole, or is dropped when the records were
      // renumbered under it.
      EXPECT_TRUE(status == StatusNoError || status == StatusIndexChanged)
          << "delete " << name << ": " << status;
      if (status == StatusNoError) expected[index].erase("id-" + name);
    } else {
      lines >> status;
      EXPECT_TRUE(status == StatusNoError || status == StatusIndexChanged ||
                  status == StatusNoDataAfterOptomization)
          << "optimise: " << status;
    }
    ++outcomes[kind + " " + std::to_string(status)];
  }
  for (const std::string& index : {single, distributed}) {
    const std::map<std::string, int> live = LiveRecords(index);
    for (const auto& record : expected[index]) {
      EXPECT_EQ(1, live.count(record.first) ? live.at(record.first) : 0)
          << index << ": " << record.first;
    }
    for (const auto& record : live) {
      EXPECT_EQ(1u, expected[index].count(record.first))
          << index << ": " << record.first << " is live";
    }
    std::vector<std::string> problems;
    EXPECT_TRUE(CheckIndex(index.c_str(), &problems, &status)) << index;
    for (const std::string& problem : problems) ADD_FAILURE() << problem;
  }
  std::printf("%d operations:", operations);
  for (const auto& outcome : outcomes) {
    std::printf(" %s x%d;", outcome.first.c_str(), outcome.second);
  }
  std::printf("\n");
}

}  // namespace
