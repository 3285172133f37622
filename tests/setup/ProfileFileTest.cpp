#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/kvplm-profile-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (fs::path(path) / name).string(); }
    std::string path;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

TEST(ProfileFile, LookupIgnoresCaseAndSurroundingBlanks) {
    const CProfileFile file =
        CProfileFile::FromText("[data]\r\n  zeichenANZAHL =  12 \r\n[ Prefix ]\r\nCount=2\r\n");
    EXPECT_EQ(file.Value("Data", "ZeichenAnzahl"), "12");
    EXPECT_EQ(file.GetInt("DATA", "zeichenanzahl", 10), 12);
    EXPECT_EQ(file.GetString("prefix", "count", "0"), "2");
    EXPECT_FALSE(file.Value("Data", "Count"));   // keys belong to their own section
    EXPECT_FALSE(file.Value("Suffix", "Count")); // missing section
}

TEST(ProfileFile, MissingKeysAndEmptyValuesGiveTheirDefaults) {
    const CProfileFile file =
        CProfileFile::FromText("[Data]\nDarstellung=\nZykluszeit=\n;Baudrate=4800\nnoequals\n");
    // An integer key without a value reads its default; a string key reads
    // the empty text.
    EXPECT_EQ(file.GetInt("Data", "Darstellung", 1), 1);
    EXPECT_EQ(file.GetString("Data", "Zykluszeit", "1000"), "");
    EXPECT_EQ(file.GetString("Data", "Baudrate", "19200"), "19200"); // a comment is no key
    EXPECT_EQ(file.GetString("Data", "noequals", "x"), "x");
    EXPECT_EQ(file.GetString("Data", "TimeoutRS232", "500", 9), "500");
}

TEST(ProfileFile, StringsAreCutToTheirBufferAndConvertedLikeAtoi) {
    const CProfileFile file = CProfileFile::FromText("[Data]\nZykluszeit=12345678901\nBetriebsart=  -3x\n");
    EXPECT_EQ(file.GetString("Data", "Zykluszeit", "", 9), "123456789");
    EXPECT_EQ(CProfileFile::Atoi(file.GetString("Data", "Betriebsart", "0", 9)), -3);
    EXPECT_EQ(CProfileFile::Atoi("abc"), 0);
    EXPECT_EQ(CProfileFile::Atoi(" +42 7"), 42);
    EXPECT_EQ(CProfileFile::Atoi(""), 0);
    EXPECT_EQ(CProfileFile::Atoi("4294967296"), 0); // 32 bits wrap
}

TEST(ProfileFile, WindowsBytesStayBytes) {
    // A UTF-8 byte order mark is skipped; Latin-1 bytes are not transcoded.
    const std::string text = "\xEF\xBB\xBF[Data]\r\nAufforderung=\xE4\r\n";
    const CProfileFile file = CProfileFile::FromText(text);
    EXPECT_EQ(file.Value("Data", "Aufforderung"), "\xE4");
    EXPECT_TRUE(file.UsesCrLf());
    EXPECT_EQ(file.Text(), text); // unchanged round trip
}

TEST(ProfileFile, WritingAKeyKeepsEveryOtherLine) {
    const std::string before = "; made by hand\r\n[Prefix]\r\nCount=5\r\nAscii0=65\r\nAscii4=69\r\n\r\n"
                               "[Unknown]\r\nX = y \r\n[data]\r\nzeichenanzahl=12\r\n";
    CProfileFile file = CProfileFile::FromText(before);
    file.Set("PREFIX", "count", "2");     // replaced in place, the file's spelling kept
    file.Set("Prefix", "Ascii1", "66");   // added at the end of its section
    file.Set("Data", "Darstellung", "3"); // added to a section spelt otherwise
    file.Set("Termix", "Count", "0");     // a new section at the end
    EXPECT_EQ(file.Text(),
              "; made by hand\r\n[Prefix]\r\nCount=2\r\nAscii0=65\r\nAscii4=69\r\nAscii1=66\r\n\r\n"
              "[Unknown]\r\nX = y \r\n[data]\r\nzeichenanzahl=12\r\nDarstellung=3\r\n\r\n"
              "[Termix]\r\nCount=0\r\n");
}

TEST(ProfileFile, NewLinesTakeTheFileLineEnd) {
    CProfileFile lf = CProfileFile::FromText("[Data]\nA=1"); // no line end after the last line
    lf.Set("Data", "B", "2");
    lf.Set("Suffix", "Count", "1");
    EXPECT_EQ(lf.Text(), "[Data]\nA=1\nB=2\n\n[Suffix]\nCount=1\n");

    CProfileFile fresh;
    fresh.Set("Prefix", "Count", "0");
    EXPECT_EQ(fresh.Text(), "[Prefix]\r\nCount=0\r\n");

    CProfileFile broken;
    broken.Set("Data", "Aufforderung", "a\r\nb"); // a value never breaks a line
    EXPECT_EQ(broken.Value("Data", "Aufforderung"), "ab");
}

TEST(ProfileFile, TheFirstOfEqualSectionsAndKeysCounts) {
    CProfileFile file = CProfileFile::FromText("[Data]\nA=1\nA=2\n[Data]\nA=3\n");
    EXPECT_EQ(file.GetInt("Data", "A", 0), 1);
    file.Set("Data", "A", "9");
    EXPECT_EQ(file.Text(), "[Data]\nA=9\nA=2\n[Data]\nA=3\n");
}

TEST(ProfileFile, SaveReplacesTheFileInOnePieceAndKeepsItsMode) {
    TempDir dir;
    const std::string path = dir.File("a.mkr");
    WriteAll(path, "[Data]\nA=1\n");
    chmod(path.c_str(), 0640);
    CProfileFile file;
    ASSERT_TRUE(file.Load(path));
    file.Set("Data", "A", "2");
    std::string error;
    ASSERT_TRUE(file.Save(path, &error)) << error;
    EXPECT_EQ(ReadAll(path), "[Data]\nA=2\n");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(ProfileFile, SaveThroughASymlinkReplacesItsTarget) {
    TempDir dir;
    WriteAll(dir.File("real.mkr"), "[Data]\r\nA=1\r\n");
    fs::create_symlink("real.mkr", dir.File("link.mkr"));
    CProfileFile file;
    ASSERT_TRUE(file.Load(dir.File("link.mkr")));
    file.Set("Data", "A", "2");
    ASSERT_TRUE(file.Save(dir.File("link.mkr")));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.mkr")));
    EXPECT_EQ(ReadAll(dir.File("real.mkr")), "[Data]\r\nA=2\r\n");
}

TEST(ProfileFile, MissingFilesReadEmptyAndUnwritableFoldersFail) {
    TempDir dir;
    CProfileFile file;
    EXPECT_TRUE(file.Load(dir.File("none.mkr")));
    EXPECT_EQ(file.Text(), "");
    std::string error;
    EXPECT_FALSE(file.Load(dir.path, &error)); // a folder is no file
    file.Set("Data", "A", "1");
    EXPECT_FALSE(file.Save(dir.File("no/such/folder.mkr"), &error));
    EXPECT_FALSE(error.empty());
}
