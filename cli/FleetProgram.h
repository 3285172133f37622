// kvplm program with several readers: "program --lan-all FILE.mkr" and
// "program PORT PORT... FILE.mkr". The parent process runs one worker
// process per reader (kvplm itself, "program --fleet-worker"), so that no
// two sessions share a thread or a process; it shows a table of the readers
// (redrawn in place on a terminal, one line per event otherwise), a summary,
// and exits 0 only when every reader was programmed.
//
// The pieces without I/O (the worker's report lines, the table, the block
// comparison of --verify) are here too, so that they are tested directly.
#pragma once

#include "Cli.h"

#include <optional>
#include <string>
#include <vector>

namespace Cli {

class CSetupCliHost;

// How "program" was called.
enum class ProgramForm {
    Single, // program PORT FILE (optionally --verify)
    Fleet,  // --lan-all, or two or more ports
    Worker, // the hidden worker of one reader of a fleet
};
ProgramForm ProgramFormOf(const std::vector<std::string>& args);

int RunFleetProgram(Options& options);
int RunFleetWorker(Options& options);

// What one programming run tells the one who watches it.
class IProgramSteps {
public:
    virtual ~IProgramSteps() = default;
    // The blocks are written; reading them back begins.
    virtual void Verifying() {}
    // A failure kvplm itself reports (not through a message of the pages).
    virtual void Problem(const std::string& /*text*/) {}
};

// The rate of --set-baud (2400, 4800, 9600 or 19200); UsageError otherwise.
int ParseSetBaud(const std::string& text);

// program PORT FILE on one reader, through host: the file is loaded and
// checked, the reader programmed, and with verify its blocks read back and
// compared with what was written. setBaud: the rate of --set-baud, 0 for
// none. Returns the exit code.
int ProgramOneReader(CSetupCliHost& host, const Options& options, const std::string& file, int setBaud,
                     bool verify, IProgramSteps* steps);

// The six blocks as written or as read back.
struct BlockSet {
    Bytes param, modeParam, prefix, suffix, postcode, termix;
};
// The read-back of --verify: a new connection through host (as "kvplm
// readback" makes it), the six blocks read in programming mode and compared
// with written. False with the problem: no connection, a read that failed
// (its name and the session status), or what CompareBlocks found.
bool VerifyBlocks(CSetupCliHost& host, const BlockSet& written, IProgramSteps* steps, std::string& problem);
// What --verify finds: nothing when every block reads back as written, else
// one text per block that does not. A key sequence counts up to its end mark
// (0xFF), Param and ModeParam with every byte written.
std::vector<std::string> CompareBlocks(const BlockSet& written, const BlockSet& read);

namespace Fleet {

// The worker's report lines on its report descriptor, one per event:
//   "step connecting", "step writing", "step verifying",
//   "result ok TEXT", "result failed TEXT".
std::string StepLine(const std::string& step);
std::string ResultLine(bool ok, const std::string& text);
struct Event {
    enum class Kind { Step, Result } kind = Kind::Step;
    bool ok = false;
    std::string text; // the step's name or the result's text
};
// Nothing for a line that is no report line.
std::optional<Event> ParseLine(const std::string& line);

// One row of the table.
struct Row {
    std::string reader;
    std::string step = "waiting";
    std::string result; // empty while it runs
};
// The table: a heading and one line per reader, every line cut to width
// characters (UTF-8 aware) so that a redraw in place moves over whole lines.
std::vector<std::string> TableLines(const std::vector<Row>& rows, size_t width);
// The order of the readers a search found: numbers in the names by their
// value (127.0.0.9 before 127.0.0.10), so the table does not depend on which
// answer came first.
bool ReaderOrder(const std::string& a, const std::string& b);
// "4 readers: 3 programmed, 1 failed"
std::string Summary(size_t programmed, size_t failed);
// text cut to at most width characters (not bytes).
std::string CutToWidth(const std::string& text, size_t width);
// Message text on one line: line ends become blanks, runs of blanks one.
std::string OneLine(const std::string& text);

} // namespace Fleet

} // namespace Cli
