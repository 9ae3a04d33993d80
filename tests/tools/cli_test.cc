// The tarvis command end to end: the built binary runs on small corpora made
// here, in every index mode, with every query form, updates, deletion,
// optimisation, its error exits and an interrupted indexing session.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>
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

// A JSON value of the flat objects the command prints: strings, numbers,
// booleans and arrays of strings, enough to read its output back.
struct JsonT {
  std::map<std::string, std::string> Scalars;
  std::map<std::string, std::vector<std::string>> Arrays;
};

class JsonReaderT {
 public:
  explicit JsonReaderT(const std::string& text) : text_(text) {}

  bool ReadObject(JsonT* object) {
    if (!Take('{')) return false;
    if (Take('}')) return AtEnd();
    do {
      std::string name, value;
      if (!ReadString(&name) || !Take(':')) return false;
      if (Peek() == '[') {
        std::vector<std::string>& items = object->Arrays[name];
        Take('[');
        if (!Take(']')) {
          do {
            if (!ReadString(&value)) return false;
            items.push_back(value);
          } while (Take(','));
          if (!Take(']')) return false;
        }
      } else if (Peek() == '"') {
        if (!ReadString(&value)) return false;
        object->Scalars[name] = value;
      } else {
        size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '}') {
          ++pos_;
        }
        object->Scalars[name] = text_.substr(start, pos_ - start);
      }
    } while (Take(','));
    return Take('}') && AtEnd();
  }

 private:
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  bool AtEnd() const { return pos_ == text_.size(); }
  bool ReadString(std::string* out) {
    out->clear();
    if (!Take('"')) return false;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (pos_ >= text_.size()) return false;
      char e = text_[pos_++];
      switch (e) {
        case 'n': out->push_back('\n'); break;
        case 't': out->push_back('\t'); break;
        case 'r': out->push_back('\r'); break;
        case 'u':
          if (pos_ + 4 > text_.size()) return false;
          out->push_back(static_cast<char>(
              std::strtol(text_.substr(pos_, 4).c_str(), nullptr, 16)));
          pos_ += 4;
          break;
        default: out->push_back(e);
      }
    }
    return false;
  }

  const std::string& text_;
  size_t pos_ = 0;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

using NamesT = std::set<std::string>;

class CliTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }

  void Write(const std::string& name, const std::string& text) {
    std::string path = Path(name);
    for (size_t slash = path.find('/', dir_.Path().size() + 1);
         slash != std::string::npos; slash = path.find('/', slash + 1)) {
      mkdir(path.substr(0, slash).c_str(), 0755);
    }
    WriteWholeFile(path, text);
  }

  // Starts the command in the test's directory, its output going to files.
  pid_t Start(const std::vector<std::string>& args) {
    std::string out = Path("stdout.txt"), err = Path("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.Path().c_str()) != 0) _exit(127);
      setenv("TMPDIR", dir_.Path().c_str(), 1);
      int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int nullFd = open("/dev/null", O_RDONLY);
      dup2(nullFd, 0);
      dup2(outFd, 1);
      dup2(errFd, 2);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(TARVIS_CLI_PATH));
      for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
      }
      argv.push_back(nullptr);
      execv(TARVIS_CLI_PATH, argv.data());
      _exit(127);
    }
    return pid;
  }

  RunT Finish(pid_t pid) {
    RunT run;
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.Status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus)
                                    : 128 + WTERMSIG(wstatus);
    run.Out = ReadWholeFile(Path("stdout.txt"));
    run.Err = ReadWholeFile(Path("stderr.txt"));
    unlink(Path("stdout.txt").c_str());
    unlink(Path("stderr.txt").c_str());
    return run;
  }

  RunT Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

  // Runs a command that must succeed and returns its output.
  std::string Ok(const std::vector<std::string>& args) {
    RunT run = Run(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    return run.Out;
  }

  std::vector<JsonT> Json(const std::string& out) {
    std::vector<JsonT> objects;
    for (const std::string& line : Lines(out)) {
      JsonT object;
      EXPECT_TRUE(JsonReaderT(line).ReadObject(&object)) << line;
      objects.push_back(object);
    }
    return objects;
  }

  // The base names of the files whose records match.
  NamesT Found(const std::string& index, std::vector<std::string> query) {
    std::vector<std::string> args = {"search", "--json", index};
    args.insert(args.end(), query.begin(), query.end());
    NamesT names;
    for (const JsonT& hit : Json(Ok(args))) {
      names.insert(BaseName(hit.Scalars.at("path")));
    }
    return names;
  }

  unsigned long Count(const std::string& index, const std::string& query) {
    return std::stoul(Ok({"search", "--count", index, query}));
  }

  void WriteAnimals() {
    Write("docs/a.txt", "The quick brown fox jumps over the lazy dog.\n");
    Write("docs/b.txt", "A quick red fox and a slow brown bear.\n");
    Write("docs/c.txt", "Lazy afternoons: the dog sleeps while the cat "
                        "watches.\n");
    Write("docs/d.txt", "Caf\xc3\xa9 owners answer E-mail orders quickly.\n");
    Write("docs/e.txt", "Years 1989 1990 1991 and 2005, and one fox.\n");
  }

  ScopedTempDirT dir_;
};

TEST_F(CliTest, IndexesAndSearchesInEveryMode) {
  WriteAnimals();
  for (const char* mode : {"record", "word", "idf"}) {
    SCOPED_TRACE(mode);
    std::string index = Path(std::string(mode) + ".idx");
    RunT run = Run({"index", "--mode", mode, index, "docs"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "");  // the summary goes to stderr
    EXPECT_NE(run.Err.find("indexed 5 files"), std::string::npos) << run.Err;
    EXPECT_EQ(Found(index, {"fox"}), (NamesT{"a.txt", "b.txt", "e.txt"}));
    EXPECT_EQ(Count(index, "lazy"), 2u);
    // Without word positions a phrase selects the records holding its words.
    EXPECT_EQ(Found(index, {"\"brown fox\""}),
              std::string(mode) == "word" ? NamesT{"a.txt"}
                                          : (NamesT{"a.txt", "b.txt"}));
    std::string info = Ok({"info", index});
    EXPECT_NE(info.find(std::string("mode:       ") + mode), std::string::npos)
        << info;
  }
}

TEST_F(CliTest, EveryQueryFormHasItsKnownAnswer) {
  WriteAnimals();
  std::string index = Path("idx");
  Ok({"index", index, "docs"});
  const struct {
    std::vector<std::string> Query;
    NamesT Expected;
  } cases[] = {
      {{"fox"}, {"a.txt", "b.txt", "e.txt"}},
      {{"quick", "fox"}, {"a.txt", "b.txt"}},
      {{"quick AND fox"}, {"a.txt", "b.txt"}},
      {{"dog OR bear"}, {"a.txt", "b.txt", "c.txt"}},
      {{"fox NOT quick"}, {"e.txt"}},
      {{"fox", "NOT", "(quick OR years)"}, {}},
      {{"\"brown fox\""}, {"a.txt"}},
      {{"\"fox brown\""}, {}},
      {{"lazy NEAR dog"}, {"a.txt", "c.txt"}},
      {{"lazy W/1 dog"}, {"a.txt"}},
      {{"(dog OR bear) AND quick"}, {"a.txt", "b.txt"}},
      {{"qu*"}, {"a.txt", "b.txt", "d.txt"}},
      {{"f?x"}, {"a.txt", "b.txt", "e.txt"}},
      {{"1989 - 1990"}, {"e.txt"}},
      {{"2000 - 1990"}, {"e.txt"}},
      {{"CAFE"}, {"d.txt"}},
      {{"caf\xc3\xa9"}, {"d.txt"}},
      {{"e-mail"}, {"d.txt"}},
      {{"email"}, {}},
      {{"unicorn"}, {}},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& part : c.Query) shown += part + " ";
    SCOPED_TRACE(shown);
    EXPECT_EQ(Found(index, c.Query), c.Expected);
  }
  // No hits is no failure: nothing printed, exit status 0.
  RunT none = Run({"search", index, "unicorn"});
  EXPECT_EQ(none.Status, 0);
  EXPECT_EQ(none.Out, "");
}

TEST_F(CliTest, StemsAndStopWordsAsTheIndexWasBuilt) {
  Write("x.txt", "The runner was running quickly\n");
  Write("y.txt", "Runs and walks\n");
  Write("z.txt", "Nothing here\n");
  std::string index = Path("idx");
  Ok({"index", "--stem", "--stop", "english", index, "x.txt", "y.txt",
      "z.txt"});
  // The search takes the options from the index: no need to repeat them.
  EXPECT_EQ(Found(index, {"run"}), (NamesT{"x.txt", "y.txt"}));
  EXPECT_EQ(Found(index, {"RUNNING"}), (NamesT{"x.txt", "y.txt"}));
  EXPECT_EQ(Found(index, {"the running"}), (NamesT{"x.txt", "y.txt"}));
  EXPECT_EQ(Found(index, {"walk AND the"}), (NamesT{"y.txt"}));
  EXPECT_EQ(Found(index, {"\"runner was running\""}), (NamesT{"x.txt"}));
  RunT stopOnly = Run({"search", index, "the"});
  EXPECT_EQ(stopOnly.Status, 1);
  EXPECT_EQ(stopOnly.Out, "");
  // The stop words were left out of the index itself.
  EXPECT_EQ(Ok({"terms", index, "th"}), "");
  // An index's words cannot change later.
  EXPECT_EQ(Run({"index", "--stop", "english", index, "z.txt"}).Status, 0);
  RunT changed = Run({"index", "--mode", "idf", index, "z.txt"});
  EXPECT_EQ(changed.Status, 2) << changed.Err;

  // A stop list of one's own, folded as words are.
  Write("stop.txt", "# mine\nNOTHING\n");
  std::string own = Path("own.idx");
  Ok({"index", "--stop", "stop.txt", own, "z.txt", "x.txt"});
  EXPECT_EQ(Found(own, {"here"}), (NamesT{"z.txt"}));
  EXPECT_EQ(Ok({"terms", own, "nothing"}), "");
}

TEST_F(CliTest, RankedResultsComeBestFirstWithinTheQuery) {
  WriteAnimals();
  Write("docs/f.txt", "fox fox fox fox, a fox den\n");
  std::string index = Path("idx");
  Ok({"index", index, "docs"});
  std::vector<JsonT> hits = Json(Ok({"search", "--ranked", "--json", index,
                                     "fox"}));
  ASSERT_EQ(hits.size(), 4u);
  double previous = 1e30;
  NamesT names;
  for (const JsonT& hit : hits) {
    double score = std::stod(hit.Scalars.at("score"));
    EXPECT_LE(score, previous);
    previous = score;
    names.insert(BaseName(hit.Scalars.at("path")));
  }
  EXPECT_EQ(names, (NamesT{"a.txt", "b.txt", "e.txt", "f.txt"}));
  EXPECT_EQ(BaseName(hits[0].Scalars.at("path")), "f.txt");
  // --rank scores by other words; the query filters, "+" requires.
  EXPECT_EQ(Found(index, {"--rank", "+quick fox"}), (NamesT{"a.txt", "b.txt"}));
  EXPECT_EQ(Found(index, {"--rank", "fox -quick"}),
            (NamesT{"e.txt", "f.txt"}));
  EXPECT_EQ(Found(index, {"--rank", "fox", "lazy"}), (NamesT{"a.txt"}));
  // Limit and offset cut the ordered list.
  std::vector<JsonT> page = Json(Ok({"search", "--ranked", "--json",
                                     "--offset", "1", "-n", "2", index,
                                     "fox"}));
  ASSERT_EQ(page.size(), 2u);
  EXPECT_EQ(page[0].Scalars.at("record"), hits[1].Scalars.at("record"));
  EXPECT_EQ(page[1].Scalars.at("record"), hits[2].Scalars.at("record"));
}

TEST_F(CliTest, HitsShowPathAndHighlightedLine) {
  Write("l.txt", "alpha one\n\nbeta two\nAlpha three \"quoted\"\n");
  Write("p.txt", "alpha one\nstill one\n\nbeta two\n\nsecond alpha\n");
  std::string lines = Path("lines.idx"), paragraphs = Path("para.idx");
  Ok({"index", "--split", "lines", lines, "l.txt"});
  Ok({"index", "--split", "paragraphs", paragraphs, "p.txt"});

  std::vector<JsonT> hits = Json(Ok({"search", "--json", lines, "alpha"}));
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].Scalars.at("line"), "1");
  EXPECT_EQ(hits[1].Scalars.at("line"), "4");
  EXPECT_EQ(hits[1].Scalars.at("snippet"), "Alpha three \"quoted\"");
  EXPECT_EQ(hits[1].Arrays.at("matches"), std::vector<std::string>{"Alpha"});
  EXPECT_EQ(hits[0].Scalars.at("path"), Path("l.txt"));

  hits = Json(Ok({"search", "--json", paragraphs, "alpha"}));
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].Scalars.at("offset"), "0");
  EXPECT_EQ(hits[1].Scalars.at("offset"), "31");
  EXPECT_EQ(hits[1].Scalars.at("snippet"), "second alpha");
  // The paragraph's line holding the match, not its first line.
  EXPECT_EQ(Json(Ok({"search", "--json", paragraphs, "still"}))[0]
                .Scalars.at("snippet"),
            "still one");

  // Plain text: record number, the path as given, the line; colour only
  // when asked for (the output is no terminal here).
  EXPECT_EQ(Ok({"search", lines, "beta"}), "#2 l.txt:3: beta two\n");
  EXPECT_EQ(Ok({"search", "--color", "always", lines, "beta"}),
            "#2 \x1b[35ml.txt:3\x1b[0m: \x1b[1;31mbeta\x1b[0m two\n");
}

TEST_F(CliTest, FollowsLinkedDirectoriesOnceAndLoopsNever) {
  Write("tree/own.txt", "own words\n");
  Write("tree/sub/leaf.txt", "leaf words\n");
  Write("outside/linked/deep.txt", "deep words\n");
  Write("outside/file.txt", "file words\n");
  ASSERT_EQ(symlink("../outside/linked", Path("tree/link").c_str()), 0);
  ASSERT_EQ(symlink("../outside/linked", Path("tree/same").c_str()), 0);
  ASSERT_EQ(symlink("../outside/file.txt", Path("tree/file").c_str()), 0);
  ASSERT_EQ(symlink("..", Path("tree/sub/up").c_str()), 0);       // a loop
  ASSERT_EQ(symlink("loop2", Path("tree/sub/loop1").c_str()), 0);
  ASSERT_EQ(symlink("loop1", Path("tree/sub/loop2").c_str()), 0);
  RunT run = Run({"index", "-q", "walk.idx", "tree"});
  // The links that lead nowhere but to each other are reported.
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("loop1"), std::string::npos) << run.Err;
  std::vector<std::string> paths;
  for (const JsonT& hit : Json(Ok({"search", "--json", "walk.idx", "words"}))) {
    paths.push_back(hit.Scalars.at("path").substr(dir_.Path().size() + 1));
  }
  // Each directory once, under the name met first in name order.
  EXPECT_EQ(paths, std::vector<std::string>({"tree/file", "tree/link/deep.txt",
                                             "tree/own.txt",
                                             "tree/sub/leaf.txt"}));
}

TEST_F(CliTest, UpdateReplacesTheRecordsOfChangedFiles) {
  Write("docs/f.txt", "old words here\n");
  Write("docs/g.txt", "keep these words\n");
  Write("docs/h.txt", "line common\nanother common\nthird common\n");
  std::string index = Path("idx");
  Ok({"index", index, "docs/f.txt", "docs/g.txt"});
  Ok({"index", "--split", "lines", index, "docs/h.txt"});
  EXPECT_EQ(Count(index, "common"), 3u);

  Write("docs/f.txt", "new words here\n");
  Write("docs/h.txt", "only common now\n");
  RunT run = Run({"index", "--update", index, "docs/f.txt", "docs/h.txt"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Err.find("replaced 4 records"), std::string::npos) << run.Err;
  EXPECT_EQ(Found(index, {"old"}), NamesT{});
  EXPECT_EQ(Found(index, {"new"}), NamesT{"f.txt"});
  EXPECT_EQ(Count(index, "words"), 2u);
  EXPECT_EQ(Count(index, "common"), 1u);  // indexed whole this time

  // Without --update the changed file is simply indexed once more.
  Ok({"index", index, "docs/g.txt"});
  EXPECT_EQ(Count(index, "keep"), 2u);
}

TEST_F(CliTest, DeleteUndeleteAndOptimize) {
  WriteAnimals();
  std::string index = Path("idx");
  Ok({"index", index, "docs/a.txt", "docs/b.txt"});
  Ok({"index", index, "docs/c.txt", "docs/e.txt"});
  // a.txt is record 1.
  Ok({"delete", index, "1"});
  EXPECT_EQ(Found(index, {"fox"}), (NamesT{"b.txt", "e.txt"}));
  EXPECT_NE(Ok({"info", index}).find("1 deleted"), std::string::npos);
  Ok({"undelete", index, "1"});
  EXPECT_EQ(Found(index, {"fox"}), (NamesT{"a.txt", "b.txt", "e.txt"}));
  EXPECT_EQ(Run({"delete", index, "9"}).Status, 1);
  EXPECT_EQ(Run({"delete", index, "one"}).Status, 2);

  Ok({"delete", index, "1"});
  RunT optimize = Run({"optimize", "--partitions", "2", index});
  ASSERT_EQ(optimize.Status, 0) << optimize.Err;
  EXPECT_EQ(Found(index, {"fox"}), (NamesT{"b.txt", "e.txt"}));
  EXPECT_EQ(Found(index, {"lazy"}), NamesT{"c.txt"});
  std::vector<JsonT> info = Json(Ok({"info", "--json", index}));
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].Scalars.at("partitions"), "1");
  EXPECT_EQ(info[0].Scalars.at("records"), "3");
  EXPECT_EQ(info[0].Scalars.at("deleted"), "0");
}

TEST_F(CliTest, TermsInfoAndStatistics) {
  WriteAnimals();
  std::string index = Path("idx");
  Ok({"index", "--split", "lines", index, "docs"});
  EXPECT_EQ(Ok({"terms", index, "fo"}), "         3          3  fox\n");
  EXPECT_EQ(Ok({"terms", index, "l?zy"}), "         2          2  lazy\n");
  std::string all = Ok({"terms", index});
  EXPECT_NE(all.find("  1989\n"), std::string::npos);
  EXPECT_EQ(all.find('/'), std::string::npos);  // no record ID terms
  std::vector<JsonT> words = Json(Ok({"terms", "--json", "-n", "2", index}));
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0].Scalars.at("word"), "1989");

  std::vector<JsonT> info = Json(Ok({"info", "--json", index}));
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].Scalars.at("mode"), "word");
  EXPECT_EQ(info[0].Scalars.at("records"), "5");
  EXPECT_EQ(info[0].Scalars.at("split"), "lines");

  Ok({"stats", index, "stats.db"});
  std::string stats = ReadWholeFile(Path("stats.db"));
  ASSERT_GE(stats.size(), 4u);
  EXPECT_EQ(stats.substr(0, 4), std::string("\x05\xc7\xa3\xe0"));
}

TEST_F(CliTest, ErrorsExitWithOneLineAndNothingOnStdout) {
  WriteAnimals();
  std::string index = Path("idx");
  Ok({"index", index, "docs"});
  const struct {
    std::vector<std::string> Args;
    int Status;
    std::string Says;
  } cases[] = {
      {{"search", "missing.idx", "fox"}, 1,
       StatusCodeMessage(StatusFileNotFound)},
      {{"search", "docs/a.txt", "fox"}, 1, "docs/a.txt: "},
      {{"search", index, "fox AND"}, 1,
       StatusCodeMessage(StatusQuerySyntaxError)},
      {{"search", index, "fox - *"}, 1, "range"},
      {{"index", index, "missing-dir"}, 1, "missing-dir"},
      {{"search", index}, 2, "missing"},
      {{"search", "--bogus", index, "fox"}, 2, "--bogus"},
      {{"search", "--limit", "x", index, "fox"}, 2, "--limit"},
      {{"index", "--mode", "fast", Path("new.idx"), "docs"}, 2, "--mode"},
      {{"frobnicate"}, 2, "frobnicate"},
      {{}, 2, "usage"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& arg : c.Args) shown += arg + " ";
    SCOPED_TRACE(shown);
    RunT run = Run(c.Args);
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_EQ(run.Out, "");
    if (c.Status == 1) {
      EXPECT_EQ(Lines(run.Err).size(), 1u) << run.Err;
      EXPECT_EQ(run.Err.compare(0, 8, "tarvis: "), 0) << run.Err;
    }
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
  }
  EXPECT_NE(access(Path("new.idx").c_str(), F_OK), 0);

  // A file that cannot be read is reported; the others are indexed, and
  // the exit status tells. (Reading a process's own memory file at offset
  // 0 fails even for root.)
  std::string other = Path("other.idx");
  RunT unreadable = Run({"index", other, "docs/a.txt", "/proc/self/mem"});
  EXPECT_EQ(unreadable.Status, 1);
  EXPECT_NE(unreadable.Err.find("/mem: "), std::string::npos)
      << unreadable.Err;
  EXPECT_EQ(Found(other, {"fox"}), NamesT{"a.txt"});
}

TEST_F(CliTest, CheckTellsSoundFromDamagedIndexes) {
  WriteAnimals();
  std::string index = Path("idx");
  Ok({"index", index, "docs"});
  Ok({"delete", index, "2"});
  EXPECT_NE(Ok({"check", index}).find("no problems found"), std::string::npos);

  std::string bytes = ReadWholeFile(index);
  WriteWholeFile(index, bytes.substr(0, bytes.size() - 100));
  RunT cut = Run({"check", index});
  EXPECT_EQ(cut.Status, 1) << cut.Err;
  EXPECT_NE(cut.Out.find("does not fit the file"), std::string::npos)
      << cut.Out;
  EXPECT_NE(cut.Out.find("1 problem found"), std::string::npos) << cut.Out;

  RunT missing = Run({"check", Path("missing.idx")});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(Lines(missing.Err).size(), 1u) << missing.Err;
  EXPECT_EQ(Run({"check"}).Status, 2);
}

TEST_F(CliTest, EveryCommandHasHelp) {
  for (const char* command : {"index", "build-partition", "add-partitions",
                              "search", "terms", "info", "delete",
                              "undelete", "optimize", "stats", "check",
                              "demo"}) {
    SCOPED_TRACE(command);
    RunT run = Run({command, "--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.compare(0, 14 + std::string(command).size(),
                              std::string("usage: tarvis ") + command),
              0)
        << run.Out;
  }
  RunT run = Run({"--help"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("commands:"), std::string::npos);
}

TEST_F(CliTest, InterruptedIndexingKeepsEarlierSessions) {
  Write("first/one.txt", "zebra crossing\n");
  std::string index = Path("idx");
  Ok({"index", index, "first"});

  // Enough text that indexing is still running when the signal comes.
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    text += "word" + std::to_string(i % 997) + " filler text line\n";
  }
  for (int i = 0; i < 150; ++i) Write("big/f" + std::to_string(i) + ".txt", text);

  pid_t pid = Start({"index", index, "big"});
  // The session has started once its temporary directory exists.
  bool started = false;
  for (int i = 0; i < 2000 && !started; ++i) {
    for (const std::string& name : dir_.Files()) {
      if (name.compare(0, 8, "idx.tmp.") == 0) started = true;
    }
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(started);
  kill(pid, SIGINT);
  RunT run = Finish(pid);
  ASSERT_EQ(run.Status, 130) << run.Err;
  EXPECT_NE(run.Err.find("interrupted"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out, "");

  // The earlier session is whole, the interrupted one kept what it did,
  // and the index takes further sessions.
  EXPECT_EQ(Found(index, {"zebra"}), NamesT{"one.txt"});
  EXPECT_LT(Count(index, "filler"), 150u);
  Write("later.txt", "zebra again\n");
  Ok({"index", index, "later.txt"});
  EXPECT_EQ(Found(index, {"zebra"}), (NamesT{"one.txt", "later.txt"}));
  for (const std::string& name : dir_.Files()) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

TEST_F(CliTest, DemoIndexesThisSystemsTextsAndShowsResults) {
  struct stat info;
  if (stat("/usr/share/common-licenses", &info) != 0) {
    GTEST_SKIP() << "no /usr/share/common-licenses here";
  }
  RunT run = Run({"demo"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  size_t commands = 0, hits = 0;
  for (const std::string& line : Lines(run.Out)) {
    if (line.compare(0, 15, "$ tarvis search") == 0) ++commands;
    if (line.compare(0, 1, "#") == 0 && line.compare(0, 2, "# ") != 0) ++hits;
  }
  EXPECT_EQ(commands, 15u) << run.Out;
  EXPECT_GE(hits, 30u) << run.Out;
  EXPECT_NE(run.Out.find("GPL"), std::string::npos);
  // The temporary index is gone.
  for (const std::string& name : dir_.Files()) {
    EXPECT_EQ(name.find("tarvis-demo"), std::string::npos) << name;
  }
}

}  // namespace
