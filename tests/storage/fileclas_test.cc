// Tests of FileClassT: encodings, short reads, views over one stream, closing
// and reopening under views, copies, the page cache, temporary names,
// renaming and the failure paths.

#include "storage/fileclas.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string out;
  for (unsigned v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string Pattern(size_t size, unsigned seed = 0) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    out[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
  }
  return out;
}

uint32_t BigEndianAt(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  }
  return value;
}

// Records the sizes of the transfers that Copy and CopyAll make through the
// virtual Read and Write, and exposes the page counts of a root.
class RecordingFileT : public FileClassT {
 public:
  using FileClassT::FileClassT;
  int Read(void* buffer, uint32_t count) override {
    reads.push_back(count);
    return FileClassT::Read(buffer, count);
  }
  int Write(const void* buffer, uint32_t count) override {
    writes.push_back(count);
    return FileClassT::Write(buffer, count);
  }
  uint32_t Pages() const { return PageCount; }
  uint32_t MaxPages() const { return MaximumPages; }

  std::vector<uint32_t> reads;
  std::vector<uint32_t> writes;
};

using Sizes = std::vector<uint32_t>;

class FileClassTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }
  // Writes a file of patterned bytes and returns them.
  std::string Fill(const std::string& name, size_t size) {
    std::string data = Pattern(size);
    WriteWholeFile(Path(name), data);
    return data;
  }

  ScopedTempDirT dir_;
};

TEST_F(FileClassTest, TypedValuesAreBigEndian) {
  struct Case {
    const char* label;
    std::function<int(FileClassT&)> write;
    std::string bytes;
  };
  const Case cases[] = {
      {"offset", [](FileClassT& f) { return f.WriteOffset(0x01020304); },
       Bytes({0, 0, 0, 0, 1, 2, 3, 4})},
      {"long", [](FileClassT& f) { return f.WriteLong(0xA1B2C3D4); },
       Bytes({0xA1, 0xB2, 0xC3, 0xD4})},
      {"short", [](FileClassT& f) { return f.WriteShort(0x0102); },
       Bytes({1, 2})},
      {"float", [](FileClassT& f) { return f.WriteFloat(1.0f); },
       Bytes({0x3F, 0x80, 0, 0})},
      {"char", [](FileClassT& f) { return f.PutCh('\xFE'); }, Bytes({0xFE})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    FileClassT file(Path(c.label).c_str(), 4096, 64);
    ASSERT_EQ(1, file.Open(kFileCreate));
    EXPECT_EQ(1, c.write(file));
    EXPECT_EQ(c.bytes.size(), file.GetPosition());
    ASSERT_EQ(1, file.Close());
    EXPECT_EQ(c.bytes, ReadWholeFile(Path(c.label)));
  }

  // Reading: the high half of an offset is ignored; a short typed read
  // leaves its value alone.
  WriteWholeFile(Path("in"), Bytes({0x11, 0x22, 0x33, 0x44, 1, 2, 3, 4, 1, 2,
                                    0x3F, 0x80, 0, 0, 0xA1, 0xB2, 0xC3, 0xD4,
                                    0xEE, 0xFF}));
  FileClassT in(Path("in").c_str(), 4096, 8);
  ASSERT_EQ(1, in.Open(kFileReadOnly));
  uint32_t offset = 0, word = 0;
  uint16_t half = 0;
  float real = 0;
  EXPECT_EQ(1, in.ReadOffset(&offset));
  EXPECT_EQ(0x01020304u, offset);
  EXPECT_EQ(1, in.ReadShort(&half));
  EXPECT_EQ(0x0102, half);
  EXPECT_EQ(1, in.ReadFloat(&real));
  EXPECT_EQ(1.0f, real);
  EXPECT_EQ(1, in.ReadLong(&word));
  EXPECT_EQ(0xA1B2C3D4u, word);
  EXPECT_EQ(0, in.ReadLong(&word));
  EXPECT_EQ(0xA1B2C3D4u, word);
  EXPECT_EQ(20u, in.GetPosition());
}

// The same short-read rules hold on a root and on views whose buffers are
// smaller and larger than the file.
TEST_F(FileClassTest, ShortReadsDeliverWhatIsThere) {
  const std::string data = Fill("short", 16);
  const std::function<FileClassT*()> makers[] = {
      [&] { return new FileClassT(Path("short").c_str()); },
      [&] { return new FileClassT(Path("short").c_str(), 4096, 4); },
      [&] { return new FileClassT(Path("short").c_str(), 4096, 4096); },
  };
  for (size_t m = 0; m < 3; ++m) {
    SCOPED_TRACE(m);
    std::unique_ptr<FileClassT> file(makers[m]());
    ASSERT_EQ(1, file->Open(kFileReadOnly));
    char buffer[32] = {};

    ASSERT_EQ(1, file->Seek(10));
    EXPECT_EQ(0, file->Read(buffer, 10));
    EXPECT_EQ(data.substr(10), std::string(buffer, 6));
    EXPECT_EQ(16u, file->GetPosition());
    EXPECT_EQ(0, file->GetCh(buffer));

    ASSERT_EQ(1, file->Seek(2));
    EXPECT_EQ(3u, file->ReadN(buffer, 4, 5));
    EXPECT_EQ(data.substr(2), std::string(buffer, 14));
    EXPECT_EQ(16u, file->GetPosition());

    ASSERT_EQ(1, file->SeekBeginning());
    EXPECT_EQ(1, file->Read(buffer, 0));
    EXPECT_EQ(1, file->Read(buffer, 16));
    EXPECT_EQ(data, std::string(buffer, 16));
    EXPECT_EQ(1, file->Seek(3));
    EXPECT_EQ(1, file->GetCh(buffer));
    EXPECT_EQ(data[3], buffer[0]);
  }
}

// Three cursors over one stream with tiny buffers: two read, one writes
// elsewhere. The writer is destroyed while the others live on; its pending
// bytes must still reach the file.
TEST_F(FileClassTest, InterleavedViewsDoNotDisturbEachOther) {
  const std::string data = Fill("views", 4096);
  FileClassT a(Path("views").c_str(), 4096, 16);
  ASSERT_EQ(1, a.Open(kFileReadWrite));
  FileClassT b(&a, 12);
  auto* c = new FileClassT(&b, 32);  // a view of a view
  ASSERT_TRUE(b.IsValid() && c->IsValid());
  ASSERT_TRUE(b.IsOpen() && c->IsOpen());
  ASSERT_EQ(1, b.Seek(2000));
  ASSERT_EQ(1, c->Seek(3000));
  for (uint32_t i = 0; i < 100; ++i) {
    uint32_t va = 0, vb = 0;
    ASSERT_EQ(1, a.ReadLong(&va));
    ASSERT_EQ(1, c->WriteLong(0xC0000000u + i));
    ASSERT_EQ(1, b.ReadLong(&vb));
    ASSERT_EQ(BigEndianAt(data, 4 * i), va) << i;
    ASSERT_EQ(BigEndianAt(data, 2000 + 4 * i), vb) << i;
  }
  EXPECT_EQ(400u, a.GetPosition());
  EXPECT_EQ(2400u, b.GetPosition());
  EXPECT_EQ(3400u, c->GetPosition());
  delete c;
  uint32_t value = 0;
  ASSERT_EQ(1, a.Seek(3396));
  ASSERT_EQ(1, a.ReadLong(&value));
  EXPECT_EQ(0xC0000063u, value);
  ASSERT_EQ(1, a.Close());
  std::string expected = data;
  for (uint32_t i = 0; i < 100; ++i) {
    expected.replace(3000 + 4 * i, 4,
                     Bytes({0xC0, 0, 0, static_cast<unsigned>(i)}));
  }
  EXPECT_EQ(expected, ReadWholeFile(Path("views")));
}

// A second view rewrites bytes behind the first view's read buffer: seeking
// strictly inside the buffer still serves the old bytes (no disk access);
// seeking to its exact start reloads it.
TEST_F(FileClassTest, SeekingInsideReadBufferKeepsItButItsStartReloads) {
  const std::string data = Fill("seek", 256);
  FileClassT reader(Path("seek").c_str(), 4096, 64);
  ASSERT_EQ(1, reader.Open(kFileReadWrite));
  FileClassT writer(&reader, 64);
  uint32_t value = 0;
  ASSERT_EQ(1, reader.Seek(16));
  ASSERT_EQ(1, reader.ReadLong(&value));  // the buffer now holds 16..79

  ASSERT_EQ(1, writer.Seek(40));
  ASSERT_EQ(1, writer.WriteLong(0xAABBCCDD));
  ASSERT_EQ(1, writer.Flush());
  EXPECT_EQ(0xAABBCCDDu, BigEndianAt(ReadWholeFile(Path("seek")), 40));

  ASSERT_EQ(1, reader.Seek(40));
  ASSERT_EQ(1, reader.ReadLong(&value));
  EXPECT_EQ(BigEndianAt(data, 40), value);
  ASSERT_EQ(1, reader.Seek(16));
  ASSERT_EQ(1, reader.ReadLong(&value));  // reloads 16..79
  ASSERT_EQ(1, reader.Seek(40));
  ASSERT_EQ(1, reader.ReadLong(&value));
  EXPECT_EQ(0xAABBCCDDu, value);
}

TEST_F(FileClassTest, ClosingUnderViewsKeepsTheirPositions) {
  const std::string data = Fill("reopen", 1000);
  FileClassT a(Path("reopen").c_str(), 4096, 64);
  ASSERT_EQ(1, a.Open(kFileReadWrite));
  FileClassT b(&a, 64);
  uint32_t value = 0;
  ASSERT_EQ(1, a.Seek(100));
  ASSERT_EQ(1, a.ReadLong(&value));
  ASSERT_EQ(1, b.Seek(500));
  ASSERT_EQ(1, b.WriteLong(0x01020304));  // still in b's buffer

  ASSERT_EQ(1, a.Close());
  EXPECT_FALSE(a.IsOpen());
  EXPECT_FALSE(b.IsOpen());
  EXPECT_EQ(Bytes({1, 2, 3, 4}), ReadWholeFile(Path("reopen")).substr(500, 4));
  EXPECT_EQ(0u, a.GetPosition());
  EXPECT_EQ(0, a.ReadLong(&value));
  EXPECT_EQ(0, b.Seek(0));
  EXPECT_EQ(0, b.WriteLong(7));
  EXPECT_EQ(1, b.Close());  // closing a closed file is harmless

  ASSERT_EQ(1, b.Open(kFileReadWrite));
  EXPECT_TRUE(a.IsOpen());
  EXPECT_EQ(104u, a.GetPosition());
  EXPECT_EQ(504u, b.GetPosition());
  ASSERT_EQ(1, a.ReadLong(&value));
  EXPECT_EQ(BigEndianAt(data, 104), value);
  ASSERT_EQ(1, b.ReadLong(&value));
  EXPECT_EQ(BigEndianAt(data, 504), value);

  // A root on its own starts again at 0.
  FileClassT root(Path("reopen").c_str());
  ASSERT_EQ(1, root.Open(kFileReadOnly));
  ASSERT_EQ(1, root.Seek(500));
  ASSERT_EQ(1, root.Close());
  ASSERT_EQ(1, root.Open(kFileReadOnly));
  EXPECT_EQ(0u, root.GetPosition());
}

TEST_F(FileClassTest, CopyWithinOneFileGoesInChunks) {
  const std::string data = Pattern(5000);
  RecordingFileT file(Path("copy").c_str(), 4096, 512);
  ASSERT_EQ(1, file.Open(kFileCreate));
  ASSERT_EQ(1, file.FileClassT::Write(data.data(), 5000));
  ASSERT_EQ(1, file.Copy(&file, 0, 5000));
  EXPECT_EQ((Sizes{2048, 2048, 904}), file.reads);
  EXPECT_EQ((Sizes{2048, 2048, 904}), file.writes);
  EXPECT_EQ(10000u, file.GetPosition());
  EXPECT_EQ(1, file.Copy(&file, 0, 0));
  ASSERT_EQ(1, file.Close());
  EXPECT_EQ(data + data, ReadWholeFile(Path("copy")));

  // Overlapping ranges come out as if moved through a separate buffer.
  struct Case {
    uint32_t from, to, count;
  };
  for (const Case& c : {Case{0, 100, 4900}, Case{100, 0, 4900},
                        Case{0, 2048, 2952}}) {
    SCOPED_TRACE(c.to);
    WriteWholeFile(Path("overlap"), data);
    FileClassT view(Path("overlap").c_str(), 4096, 300);
    ASSERT_EQ(1, view.Open(kFileReadWrite));
    ASSERT_EQ(1, view.Seek(c.to));
    ASSERT_EQ(1, view.Copy(&view, c.from, c.count));
    EXPECT_EQ(c.to + c.count, view.GetPosition());
    ASSERT_EQ(1, view.Close());
    std::string expected = data;
    expected.replace(c.to, c.count, data.substr(c.from, c.count));
    EXPECT_EQ(expected, ReadWholeFile(Path("overlap")));
  }
}

// The source's bytes are still in its view's buffer when the copy starts.
TEST_F(FileClassTest, CopyAcrossFilesSeesUnwrittenSourceBytes) {
  const std::string data = Pattern(5000);
  FileClassT source(Path("source").c_str(), 4096, 8192);
  ASSERT_EQ(1, source.Open(kFileCreate));
  ASSERT_EQ(1, source.Write(data.data(), 4000));
  ASSERT_EQ(1, source.Write(data.data() + 4000, 1000));
  RecordingFileT target(Path("target").c_str(), 4096, 1000);
  ASSERT_EQ(1, target.Open(kFileCreate));
  ASSERT_EQ(1, target.FileClassT::Write("head", 4));
  ASSERT_EQ(1, target.Copy(&source, 100, 4900));
  EXPECT_EQ((Sizes{2048, 2048, 804}), target.writes);
  EXPECT_EQ(0, target.Copy(&source, 4000, 1001));
  ASSERT_EQ(1, target.Close());
  EXPECT_EQ("head" + data.substr(100, 4900),
            ReadWholeFile(Path("target")).substr(0, 4904));
}

TEST_F(FileClassTest, CopyAllTakesEverythingFromStart) {
  const std::string data = Fill("all", 300);
  FileClassT source(Path("all").c_str());
  ASSERT_EQ(1, source.Open(kFileReadOnly));
  RecordingFileT target(Path("all-out").c_str(), 4096, 64);
  ASSERT_EQ(1, target.Open(kFileCreate));
  ASSERT_EQ(1, target.CopyAll(&source, 10));
  EXPECT_EQ((Sizes{128, 128, 34}), target.writes);
  EXPECT_EQ(1, target.CopyAll(&source, 400));  // nothing past the end
  ASSERT_EQ(1, target.Close());
  EXPECT_EQ(data.substr(10), ReadWholeFile(Path("all-out")));

  // Appending a file to itself stops at the end it had.
  FileClassT self(Path("all").c_str(), 4096, 64);
  ASSERT_EQ(1, self.Open(kFileReadWrite));
  ASSERT_EQ(1, self.SeekEnd());
  ASSERT_EQ(1, self.CopyAll(&self, 0));
  ASSERT_EQ(1, self.Close());
  std::string all = ReadWholeFile(Path("all"));
  ASSERT_EQ(600u, all.size());
  for (size_t i = 0; i < 600; ++i) ASSERT_EQ(data[i % 300], all[i]) << i;
}

TEST_F(FileClassTest, PageCacheEvictsLeastRecentlyUsedAndWritesBack) {
  RecordingFileT sizes(Path("sizes").c_str());
  EXPECT_EQ(0u, sizes.MaxPages());
  sizes.AddBuffers(3);
  EXPECT_EQ(15u, sizes.MaxPages());
  sizes.AddBuffers(-100);
  EXPECT_EQ(15u, sizes.MaxPages());
  sizes.AddBuffers(5);
  EXPECT_EQ(20u, sizes.MaxPages());

  const uint32_t kPage = 64;
  auto page = [&](char c) { return std::string(kPage, c); };
  auto on_disk = [&](uint32_t n) {
    return ReadWholeFile(Path("pages")).substr(n * kPage, kPage);
  };
  WriteWholeFile(Path("pages"), std::string(17 * kPage, '.'));
  RecordingFileT file(Path("pages").c_str());
  ASSERT_EQ(1, file.Open(kFileReadWrite));
  file.AddBuffers(3);
  for (uint32_t n = 0; n < 15; ++n) {
    std::string bytes = page(static_cast<char>('a' + n));
    ASSERT_EQ(1, file.WriteBuffer(n * kPage, kPage,
                                  reinterpret_cast<const unsigned char*>(
                                      bytes.data())));
  }
  EXPECT_EQ(15u, file.Pages());
  // Touching page 0 makes page 1 the least recently used.
  unsigned char* data = file.GetBuffer(0, kPage);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(page('a'), std::string(reinterpret_cast<char*>(data), kPage));
  ASSERT_EQ(1, file.WriteBuffer(15 * kPage, kPage,
                                reinterpret_cast<const unsigned char*>(
                                    page('p').data())));
  EXPECT_EQ(15u, file.Pages());
  ASSERT_EQ(1, file.Flush());
  EXPECT_EQ(page('b'), on_disk(1));
  EXPECT_EQ(page('.'), on_disk(0));
  EXPECT_EQ(page('.'), on_disk(2));

  // A miss reads from the file (and evicts page 2, writing it back).
  data = file.GetBuffer(16 * kPage, kPage);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(page('.'), std::string(reinterpret_cast<char*>(data), kPage));
  ASSERT_EQ(1, file.Flush());
  EXPECT_EQ(page('c'), on_disk(2));
  EXPECT_EQ(nullptr, file.GetBuffer(17 * kPage, kPage));  // past the end

  const uint32_t held = file.Pages();
  ASSERT_EQ(1, file.ReduceBuffers(5));
  EXPECT_EQ(held - 5, file.Pages());
  ASSERT_EQ(1, file.FlushBuffers());
  EXPECT_EQ(held - 5, file.Pages());
  ASSERT_EQ(1, file.WriteBuffer(0, kPage, reinterpret_cast<const unsigned char*>(
                                              page('z').data())));
  ASSERT_EQ(1, file.Close());  // closing writes dirty pages back
  EXPECT_EQ(page('z'), on_disk(0));
  for (uint32_t n = 1; n < 16; ++n) {
    EXPECT_EQ(page(static_cast<char>('a' + n)), on_disk(n)) << n;
  }
}

TEST_F(FileClassTest, TemporaryNamesSkipExistingFilesAndKeepCounting) {
  const uint32_t first = TempFileNameCounter;
  const std::string process = "T" + std::to_string(getpid()) + "_";
  auto name = [&](uint32_t n) {
    return Path(process + std::to_string(n) + ".tmp");
  };
  WriteWholeFile(name(first), "taken");
  FileClassT a(nullptr);
  EXPECT_EQ(name(first + 1), a.Name());
  FileClassT b(nullptr, 4096, 64);
  EXPECT_EQ(name(first + 2), b.Name());
  EXPECT_EQ(first + 3, TempFileNameCounter);
  EXPECT_FALSE(a.Exists());  // named, not created

  // A file that appears under the name before the object creates it is left
  // alone: the object moves on to a fresh name.
  WriteWholeFile(name(first + 1), "someone else's");
  ASSERT_EQ(1, a.Open(kFileCreate));
  EXPECT_EQ(name(first + 3), a.Name());
  EXPECT_EQ("someone else's", ReadWholeFile(name(first + 1)));
  EXPECT_EQ(1, a.Delete());

  // A location of the largest size accepted, 1023 characters, is kept whole.
  std::string location = dir_.Path() + "/";
  while (location.size() < 1023) {
    location += std::string(std::min<size_t>(100, 1022 - location.size()), 'd');
    location += "/";
    ASSERT_EQ(0, mkdir(location.c_str(), 0700));
  }
  ASSERT_EQ(1023u, location.size());
  ASSERT_EQ(1, SetTemporaryFileLocation(location.c_str()));
  EXPECT_EQ(0, SetTemporaryFileLocation((location + "x").c_str()));
  EXPECT_EQ(location, TempTempFileNamePosition);
  FileClassT deep(nullptr, 4096, 64);
  EXPECT_EQ(location + process + std::to_string(first + 4) + ".tmp",
            deep.Name());
  ASSERT_EQ(1, deep.Open(kFileCreate));
  ASSERT_EQ(1, deep.WriteLong(42));
  ASSERT_EQ(1, deep.Close());
  EXPECT_EQ(4u, deep.GetLength());
  EXPECT_EQ(1, deep.Delete());
  EXPECT_FALSE(deep.Exists());
}

TEST_F(FileClassTest, RenameMovesTheFileAndTheName) {
  FileClassT file(Path("old").c_str(), 4096, 64);
  ASSERT_EQ(1, file.Open(kFileCreate));
  ASSERT_EQ(1, file.WriteLong(0x01020304));
  ASSERT_EQ(1, file.Rename(Path("new").c_str()));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(Path("new"), file.Name());
  EXPECT_EQ((std::vector<std::string>{"new"}), dir_.Files());
  EXPECT_EQ(Bytes({1, 2, 3, 4}), ReadWholeFile(Path("new")));

  ASSERT_EQ(1, file.Open(kFileReadWrite));
  EXPECT_EQ(4u, file.GetPosition());  // kept across the close
  uint32_t value = 0;
  ASSERT_EQ(1, file.Seek(0));
  ASSERT_EQ(1, file.ReadLong(&value));
  EXPECT_EQ(0x01020304u, value);
  EXPECT_EQ(1, file.Delete());
  EXPECT_TRUE(dir_.Files().empty());
  EXPECT_EQ(0, file.Delete());
  EXPECT_EQ(0, file.Rename(Path("other").c_str()));
}

TEST_F(FileClassTest, FailuresReturnZero) {
  FileClassT missing(Path("missing").c_str(), 4096, 64);
  for (int mode : {0, 3, 5, int{kFileReadWrite}, int{kFileReadOnly}}) {
    EXPECT_EQ(0, missing.Open(mode)) << mode;
    EXPECT_FALSE(missing.IsOpen());
  }
  EXPECT_EQ(0u, missing.GetLength());
  EXPECT_TRUE(dir_.Files().empty());

  // Closed: every transfer fails, on a root and on a view.
  WriteWholeFile(Path("closed"), Pattern(8));
  FileClassT root(Path("closed").c_str());
  FileClassT view(Path("closed").c_str(), 4096, 64);
  for (FileClassT* f : {&root, &view}) {
    char byte;
    uint32_t value;
    EXPECT_EQ(0, f->Read(&byte, 1));
    EXPECT_EQ(0, f->GetCh(&byte));
    EXPECT_EQ(0, f->ReadLong(&value));
    EXPECT_EQ(0, f->Seek(1));
    EXPECT_EQ(0, f->SeekEnd());
    EXPECT_EQ(0, f->Write("x", 1));
    EXPECT_EQ(0u, f->GetPosition());
    EXPECT_EQ(8u, f->GetLength());  // measured by name
  }

  // Read-only files refuse writes; no position passes 0xFFFFFFFF.
  for (FileClassT* f : {&root, &view}) {
    ASSERT_EQ(1, f->Open(kFileReadOnly));
    EXPECT_TRUE(f->IsReadOnly());
    EXPECT_EQ(0, f->Write("x", 1));
    ASSERT_EQ(1, f->Close());
    ASSERT_EQ(1, f->Open(kFileReadWrite));
    ASSERT_EQ(1, f->Seek(0xFFFFFFFEu));
    EXPECT_EQ(0, f->WriteLong(1));
    EXPECT_EQ(0, f->WriteOffset(1));
    ASSERT_EQ(1, f->Close());
  }
  EXPECT_EQ(Pattern(8), ReadWholeFile(Path("closed")));

  // An object whose construction failed is inert.
  FileClassT invalid(static_cast<FileClassT*>(nullptr), 64);
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(0, invalid.Open(kFileCreate));
  EXPECT_EQ(0, invalid.Write("x", 1));
  EXPECT_STREQ("", invalid.Name());
  FileClassT fromInvalid(&invalid, 64);
  EXPECT_FALSE(fromInvalid.IsValid());
}

// Bytes a view holds unwritten belong to the file as the other views see it.
TEST_F(FileClassTest, LengthAndEndIncludeBytesViewsHold) {
  FileClassT writer(Path("len").c_str(), 4096, 64);
  ASSERT_EQ(1, writer.Open(kFileCreate));
  FileClassT other(&writer, 64);
  ASSERT_EQ(1, writer.Write("0123456789", 10));
  EXPECT_EQ(10u, writer.GetLength());
  EXPECT_EQ(10u, other.GetLength());
  ASSERT_EQ(1, other.SeekEnd());
  EXPECT_EQ(10u, other.GetPosition());
  ASSERT_EQ(1, other.Write("ab", 2));
  ASSERT_EQ(1, writer.Close());
  EXPECT_EQ("0123456789ab", ReadWholeFile(Path("len")));
  EXPECT_EQ(12u, other.GetLength());
}

// A root moves between writing and reading at the same offset without a
// seek of the caller's in between.
// Views read at their own offsets without moving the stream, except where
// the stream still holds written bytes: those must be seen, both by a read
// through a view's buffer and by a large read past it.
TEST_F(FileClassTest, ViewsSeeBytesStillInTheStreamBuffer) {
  const std::string data = Fill("pending", 3000);
  FileClassT a(Path("pending").c_str(), 4096, 16);
  ASSERT_EQ(1, a.Open(kFileReadWrite));
  FileClassT b(&a, 16);
  const std::string fresh(100, 'x');
  ASSERT_EQ(1, a.Seek(1000));
  ASSERT_EQ(1, a.Write(fresh.data(), 100));  // past a's buffer: into the stream
  std::string got(100, '\0');
  ASSERT_EQ(1, b.Seek(1000));
  ASSERT_EQ(1, b.Read(&got[0], 100));
  EXPECT_EQ(fresh, got);

  ASSERT_EQ(1, a.Seek(2000));
  ASSERT_EQ(1, a.Write(fresh.data(), 100));
  uint32_t value = 0;
  ASSERT_EQ(1, b.Seek(2040));
  ASSERT_EQ(1, b.ReadLong(&value));
  EXPECT_EQ(0x78787878u, value);

  // Reads elsewhere leave the other view where it was.
  ASSERT_EQ(1, b.Seek(8));
  ASSERT_EQ(1, b.ReadLong(&value));
  EXPECT_EQ(BigEndianAt(data, 8), value);
  ASSERT_EQ(1, a.ReadLong(&value));
  EXPECT_EQ(BigEndianAt(data, 2100), value);
  ASSERT_EQ(1, b.ReadLong(&value));
  EXPECT_EQ(BigEndianAt(data, 12), value);
}

TEST_F(FileClassTest, RootAlternatesReadsAndWrites) {
  WriteWholeFile(Path("mixed"), "01234567");
  FileClassT file(Path("mixed").c_str());
  ASSERT_EQ(1, file.Open(kFileReadWrite));
  char buffer[2];
  ASSERT_EQ(1, file.Write("ab", 2));
  ASSERT_EQ(1, file.Read(buffer, 2));
  EXPECT_EQ("23", std::string(buffer, 2));
  ASSERT_EQ(1, file.Write("cd", 2));
  EXPECT_EQ(0, file.Read(buffer, 4));
  ASSERT_EQ(1, file.Write("ef", 2));
  ASSERT_EQ(1, file.Close());
  EXPECT_EQ("ab23cd67ef", ReadWholeFile(Path("mixed")));
}

// The stdio buffer belongs to the file: the caller's may go away at once.
TEST_F(FileClassTest, SetBuffKeepsNoCallerBuffer) {
  const std::string data = Pattern(3000);
  FileClassT file(Path("setbuff").c_str(), 4096, 64);
  EXPECT_EQ(1, file.SetBuff(nullptr, 256));  // applies from the next Open
  ASSERT_EQ(1, file.Open(kFileCreate));
  ASSERT_EQ(1, file.Write(data.data(), 1000));
  {
    std::vector<char> caller(100);
    ASSERT_EQ(1, file.SetBuff(caller.data(), caller.size()));
  }
  ASSERT_EQ(1, file.Write(data.data() + 1000, 2000));
  EXPECT_EQ(0, file.SetBuff(nullptr, 0));
  ASSERT_EQ(1, file.Close());
  EXPECT_EQ(data, ReadWholeFile(Path("setbuff")));
}

}  // namespace
