// The tarvis command with several writers at once: index, delete and
// optimize runs started together on one index all succeed and keep each
// other's work; --wait 0 gives up at once, with the library's message, when
// another writer holds the index.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "storage/writer_lock.h"
#include "support/temp_dir.h"

namespace {

// Starts the command with its output in out; the process id.
pid_t Start(const std::vector<std::string>& args, const std::string& out) {
  const pid_t child = fork();
  if (child != 0) return child;
  const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(fd, 1);
  dup2(fd, 2);
  std::vector<char*> argv = {const_cast<char*>(TARVIS_CLI_PATH)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(TARVIS_CLI_PATH, argv.data());
  _exit(127);
}

int Wait(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CliWritersTest : public ::testing::Test {
 protected:
  // A directory of files, each holding the word of the directory.
  std::string Corpus(const std::string& word, int files) {
    const std::string dir = dir_.File(word);
    EXPECT_EQ(0, mkdir(dir.c_str(), 0755));
    for (int f = 0; f < files; ++f) {
      WriteWholeFile(dir + "/" + std::to_string(f) + ".txt",
                     word + " shared text number " + std::to_string(f) + "\n");
    }
    return dir;
  }

  int Run(const std::vector<std::string>& args) {
    return Wait(Start(args, dir_.File("out")));
  }

  std::string Count(const std::string& query) {
    Run({"search", "--count", index_, query});
    std::string out = ReadWholeFile(dir_.File("out"));
    return out.substr(0, out.find('\n'));
  }

  ScopedTempDirT dir_;
  std::string index_ = dir_.File("index.tvx");
};

TEST_F(CliWritersTest, WritersStartedTogetherAllSucceed) {
  ASSERT_EQ(0, Run({"index", "-q", index_, Corpus("first", 10)}));
  // Sessions beside an optimisation, then sessions beside deletions (an
  // optimisation that lands between a deletion's search and its commit
  // renumbers records, and the deletion is refused).
  std::vector<pid_t> runs;
  for (const char* word : {"alpha", "beta", "gamma"}) {
    runs.push_back(Start({"index", "-q", index_, Corpus(word, 30)},
                         dir_.File(std::string("out-") + word)));
  }
  runs.push_back(Start({"optimize", "--big", index_}, dir_.File("out-opt")));
  for (pid_t run : runs) EXPECT_EQ(0, Wait(run));
  runs.clear();
  runs.push_back(Start({"index", "-q", index_, Corpus("delta", 30)},
                       dir_.File("out-delta")));
  for (const char* record : {"2", "4", "6"}) {
    runs.push_back(Start({"delete", index_, record},
                         dir_.File(std::string("out-") + record)));
  }
  for (pid_t run : runs) EXPECT_EQ(0, Wait(run));
  for (const char* word : {"alpha", "beta", "gamma", "delta"}) {
    EXPECT_EQ("30", Count(word)) << word;
  }
  EXPECT_EQ("7", Count("first"));
  EXPECT_EQ(0, Run({"check", index_}));
}

TEST_F(CliWritersTest, WaitZeroFailsAtOnceWhileAnotherWriterHoldsTheIndex) {
  ASSERT_EQ(0, Run({"index", "-q", index_, Corpus("first", 3)}));
  WriterLockT other;
  ASSERT_EQ(WriterLockT::kLocked, other.Acquire(index_, 0));
  EXPECT_EQ(1, Run({"delete", "--wait", "0", index_, "1"}));
  EXPECT_NE(std::string::npos,
            ReadWholeFile(dir_.File("out")).find("Index is locked"));
  const pid_t waiting = Start({"delete", "--wait", "60", index_, "1"},
                              dir_.File("out-waiting"));
  usleep(200000);
  other.Release();
  EXPECT_EQ(0, Wait(waiting));
  EXPECT_EQ("2", Count("first"));
}

}  // namespace
