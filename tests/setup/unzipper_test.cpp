// The ZIP walk: what starts and ends it, every message, entries and their copies, names and
// times, and archives written by the `zip` program read back byte for byte.
#include "setup/unzipper.h"

#include "platform/resource.h"
#include "setup/deflate.h"
#include "tests/setup/zip_builder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using ziptest::Archive;
using ziptest::Bytes;
using ziptest::Entry;
using ziptest::Stored;

std::string Message(const Bytes& bytes) {
    try {
        ZIPFILE zip(bytes.data(), static_cast<DWORD>(bytes.size()));
        return "";
    } catch (const cetl::exception& e) {
        return e.message().c_str();
    }
}

std::string Text(const ZIPENTRY* e) {
    return e && e->data ? std::string(reinterpret_cast<const char*>(e->data), e->size) : "<none>";
}

Bytes RawDeflate(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, static_cast<uLong>(text.size())) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Entry Deflated(std::string name, const std::string& text) {
    Entry e;
    e.name = std::move(name);
    e.method = 8;
    e.data = RawDeflate(text);
    e.size = static_cast<std::uint32_t>(text.size());
    return e;
}

TEST(ZipWalk, WhatIsNotAnArchive) {
    EXPECT_EQ(Message({'P', 'K', 3}), kZipNotZip);
    EXPECT_EQ(Message({}), kZipNotZip);
    EXPECT_EQ(Message({'P', 'K', 5, 6, 0, 0, 0, 0}), kZipNotZip);
    try {
        ZIPFILE zip(static_cast<const BYTE*>(nullptr), 10);
        FAIL();
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.message().c_str(), kZipNotZip);
    }
}

TEST(ZipWalk, AnEntryMustBeFollowedByAtLeastOneByte) {
    Bytes bare = Archive({Stored("a.txt", "hello")}, false);
    EXPECT_EQ(Message(bare), kZipExtendsBeyond);
    bare.push_back(0);
    EXPECT_EQ(Message(bare), "");
    // A declared size past the end, and one that wraps 32 bits.
    Entry big = Stored("b", "xyz");
    Bytes archive = Archive({big});
    archive[18] = 0xFF, archive[19] = 0xFF, archive[20] = 0xFF, archive[21] = 0xFF;
    EXPECT_EQ(Message(archive), kZipExtendsBeyond);
    // With a data descriptor its twelve bytes count too.
    Entry described = Stored("c", "abc");
    described.flags = 8;
    described.descriptorSignature = false;
    Bytes d = Archive({described}, false);
    EXPECT_EQ(Message(d), kZipExtendsBeyond);
    d.push_back(0);
    EXPECT_EQ(Message(d), "");
}

TEST(ZipWalk, TheCentralDirectoryEndsTheWalk) {
    Bytes archive = Archive({Stored("one.txt", "1"), Stored("two.txt", "22")});
    // After the central directory, a local header that must never be read.
    Bytes trap = Archive({Stored("trap", "x")});
    archive.insert(archive.end(), trap.begin(), trap.end());
    ZIPFILE zip(archive.data(), static_cast<DWORD>(archive.size()));
    EXPECT_EQ(zip.size(), 2u);
    EXPECT_EQ(Text(zip.Find("two.txt")), "22");
    EXPECT_EQ(zip.Find("trap"), nullptr);
}

TEST(ZipWalk, UnsupportedMethodNamesTheEntry) {
    Entry e = Stored("arm/tessark.exe", "data");
    e.method = 12;
    EXPECT_EQ(Message(Archive({e})),
              "the entry arm/tessark.exe in the .ZIP file uses an unsupported compression method");
    // Nothing is extracted when asked not to, so the method is not looked at.
    Bytes archive = Archive({e});
    ZIPFILE zip(archive.data(), static_cast<DWORD>(archive.size()), true);
    ASSERT_NE(zip.Find("ARM/Tessark.EXE"), nullptr);
    EXPECT_EQ(zip.Find("arm/tessark.exe")->data, nullptr);
}

TEST(ZipWalk, DeflatedEntryErrorsComeFromTheInflater) {
    Entry e = Deflated("x.psp", "some text some text some text");
    e.data[0] ^= 0x06; // the block type becomes 3 (or another undecodable start)
    std::string m = Message(Archive({e}));
    EXPECT_TRUE(m == unzip::kCannotDeflate || m == unzip::kReadPastEnd ||
                m == unzip::kInvalidLookback)
        << m;
    Entry cut = Deflated("y", std::string(3000, 'q') + "tail");
    cut.data.resize(cut.data.size() / 2);
    EXPECT_EQ(Message(Archive({cut})), unzip::kReadPastEnd);
}

TEST(ZipEntries, LookupsIgnoreCaseAndKeepFoldersAndLongNames) {
    std::string long259(259, 'n');
    std::string long300 = "dir/" + std::string(296, 'L');
    Bytes archive = Archive({Stored("arm/", ""), Stored("arm/tessark.exe", "ARM build"),
                             Deflated("List.PSP", std::string(5000, 'z')), Stored(long259, "259"),
                             Stored(long300, "300")});
    ZIPFILE zip(archive.data(), static_cast<DWORD>(archive.size()));
    EXPECT_EQ(zip.size(), 5u);
    EXPECT_EQ(Text(zip.Find("ARM/Tessark.EXE")), "ARM build");
    ASSERT_NE(zip.Find("Arm/"), nullptr);
    EXPECT_EQ(zip.Find("Arm/")->size, 0u);
    EXPECT_EQ(zip.Find("arm"), nullptr);
    EXPECT_EQ(Text(zip.Find("list.psp")), std::string(5000, 'z'));
    EXPECT_EQ(Text(zip.Find(std::string(259, 'N').c_str())), "259");
    EXPECT_EQ(Text(zip.Find(long300.c_str())), "300");
    // Iteration in the map's order: case-blind name order.
    std::string order;
    for (const auto& e : zip)
        order += std::string(e.key.c_str(), 3) + ",";
    EXPECT_EQ(order, "arm,arm,dir,Lis,nnn,");
}

TEST(ZipEntries, StoredDataIsUsedInPlaceAndDeflatedDataIsOwned) {
    Entry stored = Stored("s", "stored bytes");
    stored.size = 1000; // larger than the data: cut to the compressed size
    Bytes archive = Archive({stored, Deflated("d", "deflated bytes, deflated bytes")});
    ZIPFILE zip(archive.data(), static_cast<DWORD>(archive.size()));
    ZIPENTRY* s = zip.Find("s");
    ZIPENTRY* d = zip.Find("d");
    ASSERT_TRUE(s && d);
    EXPECT_EQ(s->size, 12u);
    EXPECT_EQ(s->data, s->storedData);
    EXPECT_GE(s->data, archive.data());
    EXPECT_LT(s->data, archive.data() + archive.size());
    EXPECT_TRUE(d->OwnsData());
    EXPECT_EQ(Text(d), "deflated bytes, deflated bytes");

    ZIPENTRY copy(*d);
    EXPECT_NE(copy.data, d->data);
    EXPECT_EQ(Text(&copy), Text(d));
    EXPECT_EQ(copy.name, d->name);
    ZIPENTRY storedCopy;
    storedCopy = *s;
    EXPECT_EQ(storedCopy.data, s->data);
    storedCopy = copy; // replaces a shared pointer by an owned copy
    EXPECT_EQ(Text(&storedCopy), Text(d));
    EXPECT_NE(storedCopy.data, copy.data);
}

TEST(ZipEntries, SizeIsWhatTheStreamProducedWithinTheSlack) {
    std::string text(4000, 'w');
    Entry under = Deflated("under", text);
    under.size = 3000; // 1000 more than declared: inside the 1024 bytes of slack
    Entry over = Deflated("over", text);
    over.size = 2900; // 1100 more: the buffer ends first
    Entry huge = Deflated("huge", "tiny");
    huge.size = 0xFFFFFF00; // no buffer of that size is asked for
    Bytes a = Archive({under, huge});
    ZIPFILE zip(a.data(), static_cast<DWORD>(a.size()));
    EXPECT_EQ(zip.Find("under")->size, 4000u);
    EXPECT_EQ(Text(zip.Find("huge")), "tiny");
    EXPECT_EQ(Message(Archive({over})), unzip::kCannotDeflate);
}

TEST(ZipEntries, ALaterEntryOfTheSameNameWins) {
    Bytes a = Archive({Stored("skin.txt", "old"), Stored("SKIN.TXT", "new")});
    ZIPFILE zip(a.data(), static_cast<DWORD>(a.size()));
    EXPECT_EQ(zip.size(), 1u);
    EXPECT_EQ(Text(zip.Find("skin.txt")), "new");
}

TEST(ZipEntries, DosTimesAreConvertedAndClamped) {
    ZIPTIME t = ZipTimeFromDos((13 << 11) | (45 << 5) | 15, (46 << 9) | (3 << 5) | 14);
    EXPECT_EQ(t.wYear, 2026);
    EXPECT_EQ(t.wMonth, 3);
    EXPECT_EQ(t.wDay, 14);
    EXPECT_EQ(t.wHour, 13);
    EXPECT_EQ(t.wMinute, 45);
    EXPECT_EQ(t.wSecond, 30);
    EXPECT_EQ(t.wDayOfWeek, 0);
    EXPECT_EQ(t.wMilliseconds, 0);
    ZIPTIME c = ZipTimeFromDos(0xFFFF, 0xFFFF);
    EXPECT_EQ(c.wSecond, 59);
    EXPECT_EQ(c.wMinute, 59);
    EXPECT_EQ(c.wHour, 23);
    EXPECT_EQ(c.wMonth, 12);
    EXPECT_EQ(c.wDay, 31);
    EXPECT_EQ(c.wYear, 1980 + 127);
    Bytes a = Archive({Stored("t", "x")});
    ZIPFILE zip(a.data(), static_cast<DWORD>(a.size()));
    EXPECT_EQ(zip.Find("t")->time.wHour, 12);
    EXPECT_EQ(zip.Find("t")->time.wYear, 2026);
}

TEST(ZipFiles, MissingFilesAndResourcesGiveEmptyArchives) {
    ZIPFILE none("/nonexistent/skin.zip");
    EXPECT_EQ(none.size(), 0u);
    EXPECT_EQ(none.Find("skin.txt"), nullptr);
    ZIPFILE noResource(GetModuleHandle(nullptr), 4711, TEXT("ZIP"));
    EXPECT_EQ(noResource.size(), 0u);
}

// Writes files into a fresh folder and runs the `zip` program there.
class ZipProgram : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tessark-zip-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_ / "sub");
        std::mt19937 gen(5);
        for (int i = 0; i < 20000; ++i)
            noise_.push_back(static_cast<char>(gen()));
        for (int i = 0; i < 3000; ++i)
            text_ += "line " + std::to_string(i) + " of the Tessark skin\n";
        Write("noise.bin", noise_);
        Write("sub/Text.TXT", text_);
        Write("empty", "");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    // Runs zip with `options` and reads the archive back through the file constructor.
    void Check(const std::string& options) {
        SCOPED_TRACE(options);
        std::string cmd = "cd '" + dir_.string() + "' && rm -f out.zip && zip -q " + options +
                          " out.zip noise.bin sub/Text.TXT empty sub/ >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << "the zip program is missing or failed "
                                                  "(scripts/install-deps installs it)";
        ZIPFILE zip((dir_ / "out.zip").string().c_str());
        EXPECT_EQ(zip.size(), 4u);
        EXPECT_EQ(Text(zip.Find("NOISE.BIN")), noise_);
        EXPECT_EQ(Text(zip.Find("sub/text.txt")), text_);
        EXPECT_EQ(Text(zip.Find("empty")), "");
        ASSERT_NE(zip.Find("sub/"), nullptr);
    }
    std::filesystem::path dir_;
    std::string noise_, text_;
};

TEST_F(ZipProgram, StoredDeflatedAndWithDataDescriptors) {
    Check("-0");
    Check("-6");
    Check("-9");
    Check("-0 -fd");
    Check("-6 -fd");
    // The deflated entries really are deflated.
    ZIPFILE zip((dir_ / "out.zip").string().c_str());
    EXPECT_EQ(zip.Find("sub/text.txt")->method, 8);
    EXPECT_LT(zip.Find("sub/text.txt")->compressedSize, text_.size() / 3);
}

} // namespace
