#include "ProfileFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(ProfileFile, LinesEndingInCarriageReturnAloneAreLines) {
    // Read as one line, such a file would be its first header alone.
    const std::string text = "[Prefix]\rCount=2\rAscii0=65\rAscii1=66\r\r[Data]\rDarstellung=3\r";
    CProfileFile file = CProfileFile::FromText(text);
    EXPECT_EQ(file.GetInt("Prefix", "Count", 0), 2);
    EXPECT_EQ(file.GetInt("Prefix", "Ascii1", 0), 66);
    EXPECT_EQ(file.GetInt("Data", "Darstellung", 0), 3);
    EXPECT_EQ(file.Text(), text); // byte for byte
    file.Set("Data", "Betriebsart", "1");
    file.Set("Termix", "Count", "0");
    EXPECT_EQ(file.Text(), "[Prefix]\rCount=2\rAscii0=65\rAscii1=66\r\r[Data]\rDarstellung=3\rBetriebsart=1\r"
                           "\r[Termix]\rCount=0\r");
    // A file with an LF anywhere keeps its lines as they were: a CR inside
    // a line stays part of it.
    const CProfileFile mixed = CProfileFile::FromText("[Data]\r\nA=1\rB=2\r\n");
    EXPECT_EQ(mixed.GetInt("Data", "A", 0), 1);
    EXPECT_FALSE(mixed.Value("Data", "B"));
    EXPECT_EQ(mixed.Text(), "[Data]\r\nA=1\rB=2\r\n");
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

TEST(ProfileFile, TheIndexFollowsKeysAddedToEarlierSections) {
    // Keys added to the first section move the later ones down; every look-up
    // still finds the first section and the first key of its name.
    CProfileFile file = CProfileFile::FromText(
        "[Prefix]\nCount=0\n\n[Data]\nA=1\nA=2\n;B=0\n[prefix]\nCount=9\n[Suffix]\nX=1");
    for (int i = 0; i < 20; ++i)
        file.Set("Prefix", "Ascii" + std::to_string(i), std::to_string(i));
    file.Set("DATA", "B", "3");
    file.Set("Suffix", "Count", "1");
    file.Set("Termix", "Count", "2");
    file.Set("termix", "ascii0", "4");
    EXPECT_EQ(file.GetInt("Prefix", "Count", -1), 0);
    EXPECT_EQ(file.GetInt("Prefix", "Ascii19", -1), 19);
    EXPECT_EQ(file.GetInt("Data", "A", -1), 1);
    EXPECT_EQ(file.GetInt("Data", "b", -1), 3);
    EXPECT_EQ(file.GetInt("Suffix", "X", -1), 1);
    EXPECT_EQ(file.GetInt("Suffix", "Count", -1), 1);
    EXPECT_EQ(file.GetInt("Termix", "Ascii0", -1), 4);
    file.Set("Data", "A", "7"); // in place, found through the moved index
    std::string expected = "[Prefix]\nCount=0\n";
    for (int i = 0; i < 20; ++i)
        expected += "Ascii" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    expected += "\n[Data]\nA=7\nA=2\n;B=0\nB=3\n[prefix]\nCount=9\n[Suffix]\nX=1\nCount=1\n\n"
                "[Termix]\nCount=2\nascii0=4\n";
    EXPECT_EQ(file.Text(), expected);
    // Read again, the text gives the same index.
    const CProfileFile again = CProfileFile::FromText(file.Text());
    EXPECT_EQ(again.GetInt("prefix", "count", -1), 0);
    EXPECT_EQ(again.GetInt("Data", "B", -1), 3);
    EXPECT_FALSE(again.Value("Data", "Count")); // lines before a header belong to no section
    EXPECT_FALSE(CProfileFile::FromText("Count=1\n[Prefix]\n").Value("Prefix", "Count"));
}

TEST(ProfileFile, OnlyRegularFilesUpToOneMebibyteAreRead) {
    TempDir dir;
    std::string text = "[Data]\n";
    text.resize(CProfileFile::MaxFileSize - 15, ';');
    text += "\nDarstellung=2\n"; // exactly 1 MiB
    ASSERT_EQ(text.size(), CProfileFile::MaxFileSize);
    WriteAll(dir.File("full.mkr"), text);
    CProfileFile file;
    CProfileFile::Status status;
    ASSERT_TRUE(file.Load(dir.File("full.mkr"), status)) << status.what;
    EXPECT_EQ(file.GetInt("Data", "Darstellung", 0), 2);

    WriteAll(dir.File("big.mkr"), text + "\n");
    EXPECT_FALSE(file.Load(dir.File("big.mkr"), status));
    EXPECT_EQ(status.problem, CProfileFile::Problem::TooLarge);
    EXPECT_EQ(file.GetInt("Data", "Darstellung", 0), 2); // unchanged

    for (const std::string& path : {std::string("/dev/zero"), std::string("/dev/null"), dir.path}) {
        EXPECT_FALSE(file.Load(path, status)) << path;
        EXPECT_EQ(status.problem, CProfileFile::Problem::NotRegular) << path;
    }

    // A pipe is refused at once, not waited on for a writer.
    const std::string fifo = dir.File("pipe.mkr");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto loading = std::async(std::launch::async, [&fifo] {
        CProfileFile piped;
        CProfileFile::Status result;
        piped.Load(fifo, result);
        return result.problem;
    });
    if (loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "Load waits on a pipe";
        // A writer that comes and goes lets the reading end.
        const int fd = open(fifo.c_str(), O_WRONLY);
        if (fd >= 0) close(fd);
    }
    EXPECT_EQ(loading.get(), CProfileFile::Problem::NotRegular);

    EXPECT_TRUE(file.Load(dir.File("none.mkr"), status));
    EXPECT_TRUE(status.missing);
}

TEST(ProfileFile, SaveRefusesAFileTheUserMayNotWrite) {
    TempDir dir;
    const std::string path = dir.File("ro.mkr");
    WriteAll(path, "[Data]\nA=1\n");
    chmod(path.c_str(), 0444);
    CProfileFile file = CProfileFile::FromText("[Data]\nA=2\n");
    CProfileFile::Status status;
    EXPECT_FALSE(file.Save(path, status));
    EXPECT_EQ(status.problem, CProfileFile::Problem::ReadOnly);
    EXPECT_EQ(status.error, EACCES);
    EXPECT_EQ(ReadAll(path), "[Data]\nA=1\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);

    // Through a link to it, the same.
    fs::create_symlink("ro.mkr", dir.File("link.mkr"));
    EXPECT_FALSE(file.Save(dir.File("link.mkr"), status));
    EXPECT_EQ(status.problem, CProfileFile::Problem::ReadOnly);
    // A folder or a device is not replaced either.
    EXPECT_FALSE(file.Save(dir.path, status));
    EXPECT_EQ(status.problem, CProfileFile::Problem::NotRegular);
    fs::create_symlink("/dev/null", dir.File("null.mkr"));
    EXPECT_FALSE(file.Save(dir.File("null.mkr"), status));
    EXPECT_EQ(status.problem, CProfileFile::Problem::NotRegular);
    EXPECT_TRUE(fs::is_symlink(dir.File("null.mkr")));
}

TEST(ProfileFile, SaveWritesThroughLinksAlsoDanglingOnes) {
    TempDir dir;
    fs::create_directory(dir.File("sub"));
    // link.mkr -> sub/middle.mkr -> target.mkr (relative to sub), which does not exist yet.
    fs::create_symlink("sub/middle.mkr", dir.File("link.mkr"));
    fs::create_symlink("target.mkr", dir.File("sub/middle.mkr"));
    CProfileFile file = CProfileFile::FromText("[Data]\r\nA=1\r\n");
    CProfileFile::Status status;
    ASSERT_TRUE(file.Save(dir.File("link.mkr"), status)) << status.what;
    EXPECT_TRUE(fs::is_symlink(dir.File("link.mkr")));
    EXPECT_TRUE(fs::is_symlink(dir.File("sub/middle.mkr")));
    EXPECT_EQ(ReadAll(dir.File("sub/target.mkr")), "[Data]\r\nA=1\r\n");
    // The temporary file went into the target's folder, and is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("sub")), fs::directory_iterator()), 2);

    // A link whose target's folder is missing is reported, and stays a link.
    fs::create_symlink("nowhere/x.mkr", dir.File("lost.mkr"));
    EXPECT_FALSE(file.Save(dir.File("lost.mkr"), status));
    EXPECT_EQ(status.problem, CProfileFile::Problem::System);
    EXPECT_EQ(status.error, ENOENT);
    EXPECT_TRUE(fs::is_symlink(dir.File("lost.mkr")));
    // A loop of links too.
    fs::create_symlink("loop2.mkr", dir.File("loop1.mkr"));
    fs::create_symlink("loop1.mkr", dir.File("loop2.mkr"));
    EXPECT_FALSE(file.Save(dir.File("loop1.mkr"), status));
    EXPECT_EQ(status.error, ELOOP);
}

TEST(ProfileFile, SaveKeepsTheOwnerWhereItMay) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a file to another owner needs root";
    TempDir dir;
    const std::string path = dir.File("theirs.mkr");
    WriteAll(path, "[Data]\n");
    ASSERT_EQ(chown(path.c_str(), 1234, 4321), 0);
    chmod(path.c_str(), 0604);
    ASSERT_TRUE(CProfileFile::FromText("[Data]\nA=1\n").Save(path));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 1234u);
    EXPECT_EQ(info.st_gid, 4321u);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
}
