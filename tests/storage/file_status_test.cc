// Tests of the step from a file's answer to a status and of the file factory:
// which status each failure gives, what a status that was already set
// becomes, and that a file object that cannot be made or opened leaves
// nothing behind (no object, no descriptor, no file).

#include "storage/file_status.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "storage/allocation.h"
#include "storage/fault_injection.h"
#include "support/temp_dir.h"

namespace {

TEST(FileCallTest, AFailureTakesItsCodeAndASuccessLeavesTheStatus) {
  struct CaseT {
    int result;
    StatusCodeT before;
    StatusCodeT after;
  };
  const std::vector<CaseT> cases = {
      {1, StatusNoError, StatusNoError},
      {1, StatusEndOfVector, StatusEndOfVector},  // informational kept
      {1, StatusReadError, StatusReadError},      // an earlier failure kept
      {0, StatusNoError, StatusSeekError},
      {0, StatusReadError, StatusSeekError},      // the caller's code wins
  };
  for (const CaseT& c : cases) {
    StatusCodeT status = c.before;
    EXPECT_EQ(FileCall(c.result, StatusSeekError, &status), c.result);
    EXPECT_EQ(status, c.after) << c.result << " " << c.before;
  }
}

TEST(NewOpenFileTest, OpensTheNamedFileInTheMode) {
  ScopedTempDirT dir;
  const std::string path = dir.File("named");
  StatusCodeT status = StatusNoError;
  std::unique_ptr<FileClassT> file(
      NewOpenFile(path.c_str(), kFileCreate, StatusCannotOpenFile, &status));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(status, StatusNoError);
  EXPECT_TRUE(file->IsOpen());
  EXPECT_EQ(std::string(file->Name()), path);
  ASSERT_TRUE(file->WriteLong(0x01020304));
  file.reset();
  EXPECT_EQ(ReadWholeFile(path), std::string("\x01\x02\x03\x04", 4));

  file.reset(NewOpenFile(path.c_str(), kFileReadOnly, StatusFileNotFound,
                         &status));
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->IsReadOnly());
}

TEST(NewOpenFileTest, AFileThatCannotBeOpenedGivesTheCallersCode) {
  ScopedTempDirT dir;
  const std::string missing = dir.File("missing");
  for (StatusCodeT code : {StatusFileNotFound, StatusCannotOpenFile}) {
    StatusCodeT status = StatusNoError;
    EXPECT_EQ(NewOpenFile(missing.c_str(), kFileReadOnly, code, &status),
              nullptr);
    EXPECT_EQ(status, code);
  }
  EXPECT_TRUE(dir.Files().empty());
}

TEST(NewTemporaryFileTest, CreatesAFreshFileAndLeavesNoneWhenCreationFails) {
  ScopedTempDirT dir;
  StatusCodeT status = StatusNoError;
  std::unique_ptr<FileClassT> first(NewTemporaryFile(&status));
  std::unique_ptr<FileClassT> second(NewTemporaryFile(&status));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(status, StatusNoError);
  EXPECT_NE(std::string(first->Name()), std::string(second->Name()));
  EXPECT_EQ(dir.Files().size(), 2u);
  first->Delete();
  second->Delete();

  ResetIoCalls();
  ArmIoFault(1, kIoOpen, /*persistent=*/true);
  EXPECT_EQ(NewTemporaryFile(&status), nullptr);
  EXPECT_TRUE(IoFaultStruck());
  DisarmIoFault();
  EXPECT_EQ(status, StatusCannotOpenFile);
  EXPECT_TRUE(dir.Files().empty());
}

// A view over a file object that is not valid is not valid either: the
// factory destroys it (the sanitizer build sees a leak otherwise) and
// answers null, with StatusNotEnoughMemory where a status is given.
TEST(NewOrStatusTest, AnObjectThatIsNotValidIsNotMade) {
  EXPECT_EQ(NewOrNull<FileClassT>(static_cast<FileClassT*>(nullptr),
                                  uint32_t{64}),
            nullptr);
  StatusCodeT status = StatusNoError;
  EXPECT_EQ(NewOrStatus<FileClassT>(&status, static_cast<FileClassT*>(nullptr),
                                    uint32_t{64}),
            nullptr);
  EXPECT_EQ(status, StatusNotEnoughMemory);

  status = StatusNoError;
  std::unique_ptr<FileClassT> root(NewOrStatus<FileClassT>(&status, "x"));
  ASSERT_NE(root, nullptr);
  std::unique_ptr<FileClassT> view(
      NewOrStatus<FileClassT>(&status, root.get(), uint32_t{64}));
  EXPECT_NE(view, nullptr);
  EXPECT_EQ(status, StatusNoError);
}

}  // namespace
