// The tarvis command building an index in parts: index --jobs and
// --memory, build-partition and add-partitions, and the README's recipe of
// partitions built by GNU parallel. Whatever the way, the index must answer
// every query exactly as one run of one job does: the same records, numbered
// alike, with the same scores, paths and places.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/temp_dir.h"
#include "tarvis/tarvis.h"

namespace {

struct RunT {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// The queries the indexes are compared on: words, phrases, Boolean forms,
// ranked ones, and a term that only some shares hold.
const std::vector<std::vector<std::string>> kQueries = {
    {"alpha"},           {"common"},          {"alpha AND beta"},
    {"\"common text\""}, {"gamma OR delta"},  {"common NOT alpha"},
    {"--ranked", "alpha beta common"},        {"--ranked", "rare"},
};

class CliPartitionsTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }

  // Runs a shell command line in the test's directory, the command first
  // on PATH.
  RunT Shell(const std::string& line) {
    std::string out = Path("stdout.txt"), err = Path("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.Path().c_str()) != 0) _exit(127);
      std::string tool = TARVIS_CLI_PATH;
      std::string path = tool.substr(0, tool.rfind('/')) + ":" +
                         (getenv("PATH") != nullptr ? getenv("PATH") : "");
      setenv("PATH", path.c_str(), 1);
      setenv("TMPDIR", dir_.Path().c_str(), 1);
      int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(outFd, 1);
      dup2(errFd, 2);
      execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    RunT run;
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.Status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.Out = ReadWholeFile(out);
    run.Err = ReadWholeFile(err);
    return run;
  }

  // Runs the command with arguments (no shell quoting needed).
  RunT Run(const std::vector<std::string>& args) {
    std::string line = "tarvis";
    for (const std::string& arg : args) line += " '" + arg + "'";
    return Shell(line);
  }

  void Ok(const std::vector<std::string>& args) {
    RunT run = Run(args);
    ASSERT_EQ(run.Status, 0) << run.Err;
  }

  // A corpus of four directories of three files each; a larger file in
  // the second so that shares by bytes differ from shares by files.
  void WriteCorpus() {
    const char* words[] = {"alpha", "beta", "gamma", "delta"};
    for (int d = 0; d < 4; ++d) {
      std::string dir = Path("docs/" + std::string(1, 'a' + d));
      mkdir(Path("docs").c_str(), 0755);
      mkdir(dir.c_str(), 0755);
      for (int f = 0; f < 3; ++f) {
        std::string text;
        int lines = d == 1 && f == 0 ? 400 : 3 + f;
        for (int l = 0; l < lines; ++l) {
          text += std::string(words[(d + l) % 4]) + " common text " +
                  words[(f + l) % 4] + " line" + std::to_string(l) + "\n";
        }
        if (d == 3 && f == 2) text += "rare\n";
        WriteWholeFile(dir + "/f" + std::to_string(f) + ".txt", text);
      }
    }
  }

  // Every answer of the query set, as the command prints it in JSON.
  std::string Answers(const std::string& index) {
    std::string all;
    for (const auto& query : kQueries) {
      std::vector<std::string> args = {"search", "--json", index};
      args.insert(args.end(), query.begin(), query.end());
      RunT run = Run(args);
      EXPECT_EQ(run.Status, 0) << run.Err;
      all += run.Out + "--\n";
    }
    return all;
  }

  std::string Info(const std::string& index, const std::string& field) {
    std::string out = Run({"info", index}).Out;
    size_t at = out.find(field + ":");
    if (at == std::string::npos) return "";
    size_t start = out.find_first_not_of(' ', at + field.size() + 1);
    return out.substr(start, out.find('\n', start) - start);
  }

  bool Exists(const std::string& name) {
    return access(Path(name).c_str(), F_OK) == 0;
  }

  ScopedTempDirT dir_;
};

TEST_F(CliPartitionsTest, JobsAnswerAsOneJobInEveryModeAndUpdate) {
  WriteCorpus();
  for (const char* split : {"none", "lines"}) {
    SCOPED_TRACE(split);
    std::string one = std::string("one-") + split;
    Ok({"index", "--jobs", "1", "--split", split, one, "docs"});
    std::string expected = Answers(one);
    EXPECT_NE(expected.find("f0.txt"), std::string::npos);
    for (const char* jobs : {"2", "3"}) {
      SCOPED_TRACE(jobs);
      std::string many = std::string("many-") + split + jobs;
      Ok({"index", "--jobs", jobs, "--split", split, many, "docs"});
      EXPECT_EQ(Info(many, "partitions"), jobs);
      EXPECT_EQ(Answers(many), expected);
    }
  }
  // Updating a changed file in parallel replaces its records as one job
  // does.
  WriteWholeFile(Path("docs/c/f1.txt"), "rare common replacement\n");
  Ok({"index", "--update", "--jobs", "1", "one-none", "docs"});
  Ok({"index", "--update", "--jobs", "3", "many-none3", "docs"});
  EXPECT_EQ(Answers("many-none3"), Answers("one-none"));
  EXPECT_EQ(Info("many-none3", "records"), Info("one-none", "records"));

  // A file that cannot be read in one share is reported; both shares are
  // indexed, and the exit status tells.
  RunT unreadable = Run({"index", "--jobs", "2", "mem.idx", "docs/a",
                         "/proc/self/mem", "docs/b"});
  EXPECT_EQ(unreadable.Status, 1);
  EXPECT_NE(unreadable.Err.find("/mem: "), std::string::npos)
      << unreadable.Err;
  EXPECT_EQ(Info("mem.idx", "partitions"), "2");
  EXPECT_EQ(Info("mem.idx", "records"), "6 (6 stored, 0 deleted)");
}

TEST_F(CliPartitionsTest, MemoryTakesSizesAndRefusesOthers) {
  WriteCorpus();
  Ok({"index", "--jobs", "1", "default.idx", "docs"});
  std::string expected = Answers("default.idx");
  for (const char* size : {"300000", "1M", "64m", "1G"}) {
    SCOPED_TRACE(size);
    std::string index = std::string("m") + size;
    Ok({"index", "--memory", size, index, "docs"});
    EXPECT_EQ(Answers(index), expected);
  }
  // The library's least (260536 bytes) shared by two jobs: one runs.
  Ok({"index", "--memory", "300000", "--jobs", "2", "least.idx", "docs"});
  EXPECT_EQ(Info("least.idx", "partitions"), "1");

  for (const char* size : {"0", "260535", "100K", "3G", "12Q", "", "-5",
                           "1MB", "99999999999999999999"}) {
    SCOPED_TRACE(size);
    for (const char* command : {"index", "build-partition"}) {
      RunT run = command == std::string("index")
                     ? Run({"index", "--memory", size, "bad.idx", "docs"})
                     : Run({"build-partition", "--settings",
                            "default.idx.settings", "--memory", size,
                            "bad.part", "docs"});
      EXPECT_EQ(run.Status, 2) << run.Err;
      EXPECT_NE(run.Err.find("--memory needs a size from 260536"),
                std::string::npos)
          << run.Err;
    }
    EXPECT_FALSE(Exists("bad.idx"));
    EXPECT_FALSE(Exists("bad.part"));
  }
}

TEST_F(CliPartitionsTest, PartitionsJoinInTheOrderGiven) {
  WriteCorpus();
  // One index of the directories in this order, and the same built from
  // partitions made in another order and added in this one.
  Ok({"index", "one.idx", "docs/c", "docs/a", "docs/b"});
  Ok({"index", "parts.idx"});
  Ok({"build-partition", "--settings", "parts.idx.settings", "b.part",
      "docs/b"});
  Ok({"build-partition", "--settings", "parts.idx.settings", "a.part",
      "docs/a"});
  Ok({"build-partition", "--settings", "parts.idx.settings", "c.part",
      "docs/c"});
  EXPECT_TRUE(Exists("a.part.settings"));
  Ok({"add-partitions", "parts.idx", "c.part", "a.part", "b.part"});
  EXPECT_EQ(Answers("parts.idx"), Answers("one.idx"));
  // Copied into the single-file index, the files and records are gone.
  EXPECT_FALSE(Exists("a.part"));
  EXPECT_FALSE(Exists("a.part.settings"));

  // A share without records makes an empty partition that adds nothing.
  mkdir(Path("empty").c_str(), 0755);
  WriteWholeFile(Path("empty/blank.txt"), "\n\n");
  Ok({"build-partition", "--settings", "parts.idx.settings", "e.part",
      "empty"});
  Ok({"add-partitions", "parts.idx", "e.part"});
  EXPECT_EQ(Info("parts.idx", "partitions"), "3");
  EXPECT_FALSE(Exists("e.part"));

  // A distributed index registers the files where they are.
  StatusCodeT status = 0;
  IndexManagerT* manager = tvCreateIndexManager(&status);
  IndexCreationParametersT* params = tvCreateIndexCreationParams(&status);
  uint32_t mode = WORD_MODE;
  std::string name = Path("dist.idx");
  for (long id : {IndexParamDistributed, IndexParamVariableRecordData,
                  IndexParamRecordData32, IndexParamVariableRecordID,
                  IndexParamRecordID32, IndexParamWeightMaxFrequency}) {
    tvSetIndexCreationParams(params, id, nullptr);
  }
  tvSetIndexCreationParams(params, IndexParamIndexMode, &mode);
  tvSetIndexCreationParams(params, IndexParamFileName, &name[0]);
  tvCreateIndexEx(manager, params, &status);
  ASSERT_EQ(status, 0);
  tvDeleteIndexCreationParams(params);
  tvDeleteIndexManager(manager, &status);
  WriteWholeFile(Path("dist.idx.settings"),
                 ReadWholeFile(Path("parts.idx.settings")));
  mkdir(Path("kept").c_str(), 0755);
  for (const char* d : {"c", "a", "b"}) {
    Ok({"build-partition", "--settings", "dist.idx.settings",
        std::string("kept/") + d + ".part", std::string("docs/") + d});
  }
  Ok({"add-partitions", "dist.idx", "kept/c.part", "kept/a.part",
      "kept/b.part"});
  EXPECT_EQ(Answers("dist.idx"), Answers("one.idx"));
  EXPECT_TRUE(Exists("kept/a.part"));
  EXPECT_FALSE(Exists("kept/a.part.settings"));
}

TEST_F(CliPartitionsTest, ForeignPartitionsAreRefusedAndNothingIsAdded) {
  WriteCorpus();
  Ok({"index", "idx", "docs/a"});
  std::string before = Answers("idx");
  Ok({"index", "--mode", "record", "rec.idx"});
  Ok({"index", "--stem", "stem.idx"});
  Ok({"build-partition", "--settings", "idx.settings", "good.part",
      "docs/b"});
  Ok({"build-partition", "--settings", "rec.idx.settings", "record.part",
      "docs/c"});
  Ok({"build-partition", "--settings", "stem.idx.settings", "stem.part",
      "docs/c"});
  Ok({"build-partition", "--settings", "idx.settings", "cut.part", "docs/c"});
  std::string cut = ReadWholeFile(Path("cut.part"));
  WriteWholeFile(Path("cut.part"), cut.substr(0, cut.size() / 2));
  WriteWholeFile(Path("text.part"), "not a partition at all\n");
  // A partition of another mode with a record claiming this mode: the
  // library's own check still refuses it.
  Ok({"build-partition", "--settings", "rec.idx.settings", "forged.part",
      "docs/d"});
  std::string forged = ReadWholeFile(Path("forged.part.settings"));
  forged.replace(forged.find("mode record"), 11, "mode word");
  WriteWholeFile(Path("forged.part.settings"), forged);

  const struct {
    std::vector<std::string> Parts;
    std::string Says;
  } cases[] = {
      {{"good.part", "text.part"}, "text.part: not a partition file"},
      {{"good.part", "record.part"}, "a partition of a record-mode index"},
      {{"good.part", "stem.part"}, "built with other settings"},
      {{"good.part", "cut.part"}, "its length or checksum differs"},
      {{"good.part", "missing.part"}, "missing.part: not a partition file"},
      {{"good.part", "good.part"}, "named twice"},
      {{"forged.part"}, StatusCodeMessage(StatusMalformedParameter)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Says);
    std::vector<std::string> args = {"add-partitions", "idx"};
    args.insert(args.end(), c.Parts.begin(), c.Parts.end());
    RunT run = Run(args);
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
    EXPECT_EQ(Answers("idx"), before);
    EXPECT_EQ(Info("idx", "partitions"), "1");
    EXPECT_TRUE(Exists("good.part"));
  }
  // An existing output file is never overwritten, and an unknown settings
  // file is no start.
  RunT exists = Run({"build-partition", "--settings", "idx.settings",
                     "good.part", "docs/c"});
  EXPECT_EQ(exists.Status, 1);
  EXPECT_NE(exists.Err.find("exists"), std::string::npos) << exists.Err;
  RunT noSettings = Run({"build-partition", "--settings", "none.settings",
                         "new.part", "docs/c"});
  EXPECT_EQ(noSettings.Status, 1);
  EXPECT_FALSE(Exists("new.part"));
  EXPECT_EQ(Run({"build-partition", "new.part", "docs/c"}).Status, 2);
}

// The README's recipe, run as it stands: one partition per directory, built
// by GNU parallel's jobs at once, added in the order of the directories.
TEST_F(CliPartitionsTest, GnuParallelRecipeBuildsTheSameIndex) {
  WriteCorpus();
  Ok({"index", "one.idx", "docs/a/", "docs/b/", "docs/c/", "docs/d/"});
  RunT run = Shell(
      "set -e\n"
      "tarvis index corpus.idx\n"
      "mkdir parts\n"
      "parallel -k -j 2 'tarvis build-partition -q --settings "
      "corpus.idx.settings parts/{#}.part {} && echo parts/{#}.part' "
      "::: docs/*/ > parts.list\n"
      "tarvis add-partitions corpus.idx $(cat parts.list)\n");
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(Info("corpus.idx", "partitions"), "4");
  EXPECT_EQ(Answers("corpus.idx"), Answers("one.idx"));
}

}  // namespace
