// kvplm diff A B: two configurations compared field by field, each a reader
// (PORT, read as the read-back reads it) or a .mkr file (loaded as "Laden"
// loads it, compared as programming it would write it). One line per
// difference, "Zykluszeit: 500 ms -> 1000 ms", A's value first; nothing when
// they are equal.
//
// A name that is a regular file (or a link to one) is a file, any other name
// a port; a name ending in ".mkr" that is no readable file is reported as
// such rather than tried as a port. A file compared with an HID reader is
// loaded as the HID reader's dialog loads it.
//
// Exit status: 0 equal, 1 different, 2 bad command line, 3 a reader that
// cannot be read, 4 a file that cannot be used (nothing is compared then).
#include "Commands.h"
#include "ConfigDiff.h"
#include "SetupCliHost.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli {

namespace {

constexpr int ExitDifferent = 1;
constexpr int ExitCannotRead = 3; // a reader: no connection, or a block it did not give

bool IsRegularFile(const std::string& name) {
    struct stat info {};
    return stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool EndsWithMkr(const std::string& name) {
    if (name.size() < 4) return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return end == ".mkr";
}

struct Side {
    std::string name;
    bool file = false;
    std::optional<ConfigDiff::Configuration> configuration;
};

bool ReadSide(Side& side, const Options& options) {
    CSetupCliHost host(side.name, options);
    side.configuration = ConfigDiff::ReadReader(host);
    return side.configuration.has_value();
}

bool LoadSide(Side& side, const Options& options, bool hid) {
    if (access(side.name.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "kvplm: cannot read %s\n", side.name.c_str());
        return false;
    }
    CSetupCliHost host("", options, side.name);
    std::vector<ValueReplacement> replaced;
    side.configuration = ConfigDiff::LoadFile(host, side.name, hid, &replaced);
    ReportReplacements(replaced, side.name);
    return side.configuration.has_value();
}

int RunDiff(Options& options) {
    if (options.args.size() < 2)
        throw UsageError{"diff compares two configurations: PORT|FILE.mkr PORT|FILE.mkr"};
    Side sides[2];
    for (Side& side : sides) {
        side.name = options.args.front();
        options.args.erase(options.args.begin());
        if (side.name.empty()) throw UsageError{"an empty PORT or FILE"};
        side.file = IsRegularFile(side.name);
        if (!side.file && EndsWithMkr(side.name)) {
            std::fprintf(stderr, "kvplm: cannot read %s\n", side.name.c_str());
            return ExitFileError;
        }
    }
    NoMoreArgs(options);

    // The readers first: a file compared with an HID reader is loaded as
    // that reader's pages load it.
    for (Side& side : sides)
        if (!side.file && !ReadSide(side, options)) return ExitCannotRead;
    for (size_t i = 0; i < 2; ++i) {
        const Side& other = sides[1 - i];
        const bool hidReader = !other.file && other.configuration && other.configuration->hid;
        if (sides[i].file && !LoadSide(sides[i], options, hidReader)) return ExitFileError;
    }

    const std::vector<ConfigDiff::Difference> differences =
        ConfigDiff::Compare(*sides[0].configuration, *sides[1].configuration);
    for (const ConfigDiff::Difference& difference : differences)
        std::printf("%s\n", ConfigDiff::Line(difference).c_str());
    return differences.empty() ? ExitOk : ExitDifferent;
}

const Registration diff{{"diff", "PORT|FILE PORT|FILE",
                         "compare two configurations field by field (exit 0 equal, 1 different)", 23,
                         RunDiff}};

} // namespace

} // namespace Cli
