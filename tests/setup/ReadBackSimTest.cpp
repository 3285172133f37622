// "Inhalt lesen" read again: the reports appended to the first one, against
// the simulated reader on a pseudo-terminal.
#include "ReadBack.h"
#include "SimHost.h"

namespace {

class ReadBackAgain : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        std::vector<uint8_t> param{0x00};
        param.insert(param.end(), 16, 0xFF);
        param.insert(param.end(), {0x00, 0x00, 0x0A, 0x05, 0x01, 0x00, 0x00});
        reader->SetBlock(CSimReader::Block::Prefix, {0x02, 0xFF});
        reader->SetBlock(CSimReader::Block::Suffix, {0x0D, 0xFF});
        reader->SetBlock(CSimReader::Block::Postcode, {0xFF});
        reader->SetBlock(CSimReader::Block::Termix, {0xFF});
        reader->SetBlock(CSimReader::Block::Param, param);
        reader->SetBlock(CSimReader::Block::ModeParam, {0x00, 0x0A, 0x3F, 0x05});
    }
};

// One report of the blocks above.
const std::string kReport = " Prefix        : 02 \r\n"
                            " Suffix        : 0D \r\n"
                            " Abziehen      : \r\n"
                            " Reg. Trenner  : \r\n"
                            "\r\n -------------------------------------------------\r\n\r\n "
                            "Tag - Typ     : Tag ID\r\n"
                            " Blöcke        : \r\n"
                            " Datentyp      : Hex (0-9,ABCDEF)\r\n"
                            " Zeichenzahl   : 10\r\n"
                            " Benutzte Bytes: 1 - 5\r\n"
                            " Mode          : 0\r\n"
                            " Sensor        : inaktiv\r\n"
                            " Zykluszeit    : 1000 Millisekunden\r\n"
                            " Aufforderung  : ?\r\n"
                            " Timeout       : 500 Millisekunden \r\n ";

// The lines of a report that are not empty and do not start with exactly
// one blank (the final blank that starts the next line aside).
std::vector<std::string> MisalignedLines(const std::string& report) {
    std::vector<std::string> misaligned;
    size_t begin = 0;
    while (begin < report.size()) {
        size_t end = report.find("\r\n", begin);
        const bool last = end == std::string::npos;
        if (last) end = report.size();
        const std::string line = report.substr(begin, end - begin);
        const bool aligned = line.empty() || (line[0] == ' ' && (line.size() == 1 || line[1] != ' '));
        if (!aligned && !(last && line == " ")) misaligned.push_back(line);
        begin = last ? end : end + 2;
    }
    return misaligned;
}

} // namespace

TEST_F(ReadBackAgain, TheSecondReportLinesUpWithTheFirst) {
    CReadBack readBack;
    ASSERT_TRUE(readBack.Run(host));
    ASSERT_EQ(readBack.Report(), kReport);
    ASSERT_TRUE(readBack.Run(host));
    // The second report follows the first whole: the first report's last
    // line is the blank that starts the second one's first line.
    EXPECT_EQ(readBack.Report(), kReport + kReport.substr(1));
    // A third, and after "Löschen" the first line starts as in the first report.
    ASSERT_TRUE(readBack.Run(host));
    EXPECT_EQ(MisalignedLines(readBack.Report()), std::vector<std::string>{});
    readBack.Clear();
    ASSERT_TRUE(readBack.Run(host));
    EXPECT_EQ(readBack.Report(), kReport);
}

TEST_F(ReadBackAgain, AReportAfterAFailedOneLinesUpToo) {
    CReadBack readBack;
    // Stopped after the key sequences: its error line ends the report.
    reader->FaultStatus(0x89, 20, false); // the next ReadParam
    ASSERT_TRUE(readBack.Run(host));
    const std::string failed = readBack.Report();
    ASSERT_EQ(failed.substr(failed.size() - 28), "\r\n Fehler 20 bei ReadParam\r\n");
    ASSERT_TRUE(readBack.Run(host));
    EXPECT_EQ(readBack.Report(), failed + kReport);

    // A first read that fails (message box, nothing appended) changes nothing.
    reader->FaultStatus(0x8A, 24, false); // the next ReadPrefix
    ASSERT_TRUE(readBack.Run(host));
    EXPECT_EQ(readBack.Report(), failed + kReport);
    ASSERT_EQ(host.MessageIds(), std::vector<int>{590});
    ASSERT_TRUE(readBack.Run(host));
    EXPECT_EQ(MisalignedLines(readBack.Report()), std::vector<std::string>{});
    EXPECT_EQ(readBack.Report().size(), failed.size() + 2 * kReport.size() - 1);
}
