// Crash safety: a child process works on two indexes, one of each layout
// (indexing sessions, distributed sessions and appends, deletions, and
// optimisations with their end), reporting every finished step to the
// parent through a pipe, and is killed with SIGKILL at a random moment,
// while a second writer commits beside it.
// After each kill both indexes must pass the integrity check and answer
// exactly as a reference pair of indexes, worked on by the same steps
// without interruption, answers after the last step reported, or after the
// next one when the kill came after that step's point of no return. The
// next child starts where the index stands, among whatever temporary and
// half-written files the killed one left.
//
// The steps and the delays before the kills follow from a seed, printed at
// the start; TARVIS_KILL_SEED repeats a run (the moments of the kills
// still vary with the machine's timing). TARVIS_KILL_ROUNDS sets the number
// of kills: 200 by default, 40 in the sanitizer build.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "manager/index_check.h"
#include "support/index_answers.h"
#include "support/temp_dir.h"

namespace {

// A kill comes up to kMaxDelayMicros after the child starts: a few steps.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultRounds = 40;
constexpr uint64_t kMaxDelayMicros = 200000;
#else
constexpr int kDefaultRounds = 200;
constexpr uint64_t kMaxDelayMicros = 30000;
#endif

// Two indexes in one directory, and the steps that change them.
class WorkloadT {
 public:
  WorkloadT(std::string dir, uint64_t seed)
      : dir_(std::move(dir)), seed_(seed) {}

  std::string Single() const { return dir_ + "/single.tvx"; }
  std::string Distributed() const { return dir_ + "/distributed.tvx"; }

  StatusCodeT Create() {
    StatusCodeT status = StatusNoError;
    IndexManagerT* manager = tvCreateIndexManager(&status);
    status = CreateAnswerIndex(manager, Single(), false);
    if (status >= 0) status = CreateAnswerIndex(manager, Distributed(), true);
    StatusCodeT ignored = StatusNoError;
    tvDeleteIndexManager(manager, &ignored);
    return status;
  }

  // Step k: on one of the indexes, opened with a retrieval session, one
  // operation, then the index closed. The first failure's status.
  StatusCodeT Step(uint32_t k) {
    std::mt19937_64 random(seed_ * 1000003u + k);
    const int op = static_cast<int>(random() % 6);
    const bool distributed =
        op == 2 || op == 3 || (op >= 4 && random() % 2 == 0);
    const std::string tag = "k" + std::to_string(k);
    const std::vector<AnswerRecordT> records =
        MakeRecords(tag, 2 + static_cast<int>(random() % 4));
    const std::string index = distributed ? Distributed() : Single();
    const std::string file = dir_ + "/" + tag + attempt_;
    StatusCodeT status = StatusNoError;
    if (op == 3) status = MakePartitionFile(index, true, file, records);
    if (status < 0) return status;
    IndexManagerT* manager = tvCreateIndexManager(&status);
    tvOpenIndex(manager, const_cast<char*>(index.c_str()), &status);
    if (status >= 0) tvStartRetrievalSession(manager, &status);
    if (status >= 0) {
      switch (op) {
        case 0:
        case 1:
        case 2:
          status = IndexAnswerSession(manager, records,
                                      distributed ? file : std::string());
          break;
        case 3:
          tvAppendDistributedDataToIndex(
              manager, const_cast<char*>(file.c_str()), &status);
          break;
        case 4: {
          unsigned long count = 0;
          tvNumberOfRecordsInIndex(manager, &count, &status);
          for (unsigned long r = 1 + k % 3; r <= count && status >= 0;
               r += 4 + k % 5) {
            tvDeleteRecordNum(manager, r, &status);
          }
          break;
        }
        default: {
          const uint32_t partitions = manager->NumPartitions();
          if (partitions == 0) break;
          const unsigned long n =
              std::min<unsigned long>(partitions, 2 + random() % 2);
          tvOptomizeIndex(manager, n, &status);
          if (status >= 0) {
            tvEndOptomization(manager, const_cast<char*>(file.c_str()), 1,
                              &status);
          }
          break;
        }
      }
    }
    StatusCodeT closed = StatusNoError;
    tvCloseIndex(manager, &closed);
    StatusCodeT ignored = StatusNoError;
    tvDeleteIndexManager(manager, &ignored);
    return status < 0 ? status : closed;
  }

  // Names the files of the steps of one child (or of the reference): a
  // step killed after its point of no return can leave an index unchanged
  // to the eye (an optimisation of a single partition without deleted
  // records), and is then tried again; that try must not take the name the
  // index already holds, nor clear it away.
  void SetAttempt(const std::string& attempt) { attempt_ = attempt; }

  // What both indexes answer.
  std::string Answers() const {
    return IndexFileAnswers(Single()) + "--\n" +
           IndexFileAnswers(Distributed());
  }

 private:
  std::string dir_;
  uint64_t seed_;
  std::string attempt_;
};

std::string CheckFindings(const std::string& path) {
  std::vector<std::string> problems;
  StatusCodeT status = StatusNoError;
  if (CheckIndex(path.c_str(), &problems, &status)) return "";
  std::string text = path + ":\n";
  for (const std::string& problem : problems) text += problem + "\n";
  return text;
}

uint64_t EnvNumber(const char* name, uint64_t otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && text[0] != '\0' ? std::strtoull(text, nullptr, 10)
                                            : otherwise;
}

// A second writer beside the killed one, until it is killed itself: on
// both indexes, in turn, an indexing session that takes the writer lock for
// its header and adds nothing, and a query, neither of which changes what
// the indexes answer. It reports every failure through out; a writer the
// killed child left holding the lock must never stop it.
void RunBesideWriter(const WorkloadT& work, const std::string& temp, int out) {
  tvSetLocationForTemporaryFiles((temp + "/").c_str());
  for (;;) {
    for (const std::string& index : {work.Single(), work.Distributed()}) {
      StatusCodeT status = StatusNoError;
      IndexManagerT* m = tvCreateIndexManager(&status);
      tvSetLockTimeout(m, 60000, &status);
      tvOpenIndex(m, const_cast<char*>(index.c_str()), &status);
      if (status >= 0) tvStartRetrievalSession(m, &status);
      IndexerT* indexer =
          status >= 0 ? tvStartIndexingSession(m, &status) : nullptr;
      if (indexer != nullptr) tvEndIndexingSession(m, indexer, nullptr, &status);
      if (status >= 0 && m->NumPartitions() > 0) {
        const std::string query = HexTerm("all");
        std::unique_ptr<UncompressedQueryVectorT> hits(m->ProcessQuery(
            reinterpret_cast<const unsigned char*>(query.c_str()), &status));
      }
      StatusCodeT closed = StatusNoError;
      tvCloseIndex(m, &closed);
      tvDeleteIndexManager(m, &closed);
      const int64_t report = status;
      if (status < 0 &&
          write(out, &report, sizeof(report)) != sizeof(report)) {
        _exit(1);
      }
    }
  }
}

// Runs steps from first on in a child until it is killed after delay;
// the steps the child reported finished, in order. A step that failed is
// reported as its status, negative.
std::vector<int64_t> RunChild(WorkloadT* work, const std::string& temp,
                              uint32_t first, std::chrono::microseconds delay) {
  int channel[2];
  if (pipe(channel) != 0) return {-1000};
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    tvSetLocationForTemporaryFiles((temp + "/").c_str());
    work->SetAttempt("-" + std::to_string(getpid()) + "-" +
                     std::to_string(first));
    // Never more steps than a kill can interrupt: the child ends itself.
    for (uint32_t k = first; k < first + 64; ++k) {
      const StatusCodeT status = work->Step(k);
      const int64_t report = status < 0 ? status : int64_t{k};
      if (write(channel[1], &report, sizeof(report)) != sizeof(report) ||
          status < 0) {
        break;
      }
    }
    _exit(0);
  }
  close(channel[1]);
  std::vector<int64_t> reports;
  if (child < 0) {
    close(channel[0]);
    return {-1001};
  }
  int besideChannel[2];
  if (pipe(besideChannel) != 0) return {-1002};
  const pid_t beside = fork();
  if (beside == 0) {
    close(besideChannel[0]);
    RunBesideWriter(*work, temp, besideChannel[1]);
  }
  close(besideChannel[1]);
  std::this_thread::sleep_for(delay);
  kill(child, SIGKILL);
  int wstatus = 0;
  waitpid(child, &wstatus, 0);
  // The second writer goes on a little past the kill, where the lock the
  // child may have held is released.
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (beside > 0) {
    kill(beside, SIGKILL);
    waitpid(beside, &wstatus, 0);
  }
  int64_t failure;
  while (read(besideChannel[0], &failure, sizeof(failure)) ==
         sizeof(failure)) {
    ADD_FAILURE() << "the writer beside failed with " << failure;
  }
  close(besideChannel[0]);
  int64_t report;
  while (read(channel[0], &report, sizeof(report)) == sizeof(report)) {
    reports.push_back(report);
  }
  close(channel[0]);
  return reports;
}

TEST(FaultsKillTest, IndexesSurviveKillsAtRandomMoments) {
  const uint64_t seed = EnvNumber(
      "TARVIS_KILL_SEED",
      std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007);
  const int rounds =
      static_cast<int>(EnvNumber("TARVIS_KILL_ROUNDS", kDefaultRounds));
  std::printf("kill test: seed %llu (TARVIS_KILL_SEED), %d rounds\n",
              static_cast<unsigned long long>(seed), rounds);
  std::fflush(stdout);

  ScopedTempDirT dir;
  const std::string workDir = dir.File("work");
  const std::string refDir = dir.File("reference");
  const std::string temp = dir.File("tmp");
  for (const std::string& d : {workDir, refDir, temp}) {
    ASSERT_EQ(0, mkdir(d.c_str(), 0755));
  }
  WorkloadT work(workDir, seed);
  WorkloadT reference(refDir, seed);
  ASSERT_EQ(StatusNoError, work.Create());
  ASSERT_EQ(StatusNoError, reference.Create());
  // expected[k]: the answers after steps 1 to k.
  std::vector<std::string> expected = {reference.Answers()};
  auto expect = [&](uint32_t k) -> const std::string& {
    while (expected.size() <= k) {
      const StatusCodeT status =
          reference.Step(static_cast<uint32_t>(expected.size()));
      EXPECT_LE(0, status) << "reference step " << expected.size();
      expected.push_back(reference.Answers());
    }
    return expected[k];
  };

  std::mt19937_64 random(seed);
  uint32_t done = 0;  // steps the index holds
  int killedInside = 0;
  for (int round = 0; round < rounds; ++round) {
    const auto delay = std::chrono::microseconds(random() % kMaxDelayMicros);
    const std::vector<int64_t> reports = RunChild(&work, temp, done + 1, delay);
    for (int64_t report : reports) {
      ASSERT_LE(0, report) << "a step failed without a fault, round " << round
                           << " seed " << seed;
      ASSERT_EQ(done + 1, report) << "round " << round;
      done = static_cast<uint32_t>(report);
    }
    const std::string where = "round " + std::to_string(round) + ", seed " +
                              std::to_string(seed) + ", after step " +
                              std::to_string(done);
    ASSERT_EQ("", CheckFindings(work.Single())) << where;
    ASSERT_EQ("", CheckFindings(work.Distributed())) << where;
    const std::string answers = work.Answers();
    if (answers == expect(done)) {
      ++killedInside;
    } else {
      // Killed after the next step's point of no return, before it could
      // tell.
      ASSERT_EQ(expect(done + 1), answers) << where;
      ++done;
    }
  }
  // The children's leftovers were in the way of every later step.
  std::printf(
      "%u steps done; %d kills left the last reported step last; %zu "
      "temporary files left by killed children\n",
      done, killedInside, FilesIn(temp).size());
}

}  // namespace
