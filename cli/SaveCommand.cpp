// kvplm save PORT FILE.mkr [--force]: the reader's blocks into fresh pages,
// as the programming dialog reads them when it opens, then "Speichern". An
// HID reader's file has its timeout and keyboard table (HID_KEYS).
//
// A block that does not fit its page (a Param block of another length, values
// the page refuses) is not saved as the page's defaults: nothing is written.
//
// A key sequence of more than 15 codes (a reader takes longer ones) does not
// fit a file: its first 15 codes are saved, the cut is reported, and the exit
// status is 1 unless --force accepts it.
#include "Commands.h"
#include "SeriellEinstellModel.h"
#include "SetupCliHost.h"

#include <cstdio>

namespace Cli {

namespace {

int RunSave(Options& options) {
    const bool force = TakeFlag(options.args, "--force");
    const std::string port = TakePort(options);
    if (options.args.empty() || options.args.front().empty()) throw UsageError{"FILE.mkr is missing"};
    const std::string file = options.args.front();
    options.args.erase(options.args.begin());
    NoMoreArgs(options);

    CSetupCliHost host(port, options, file);
    CSeriellEinstellModel model(0, options.baud, host.Flags());
    const CSeriellEinstellModel::ReaderRead read = model.ReadFromReader(host);
    if (!read.connected) return ExitFailed;
    // A backup that silently holds defaults would be worse than none.
    if (!read.AllRead()) {
        std::string missing;
        const std::pair<bool, const char*> blocks[] = {
            {read.modeParam, "ModeParam"}, {read.param, "Param"},       {read.prefix, "Prefix"},
            {read.suffix, "Suffix"},       {read.postcode, "Postcode"}, {read.termix, "Termix"}};
        for (const auto& [ok, name] : blocks)
            if (!ok) missing += std::string(missing.empty() ? "" : ", ") + name;
        std::fprintf(stderr, "kvplm: the reader did not give its %s block(s); nothing saved\n",
                     missing.c_str());
        return ExitFailed;
    }
    // Nor one that holds the pages' defaults where the reader's block did not
    // fit its page (the page's message is printed above).
    if (!read.AllTaken()) {
        std::string refused;
        if (!read.modeParamTaken) refused = "ModeParam";
        if (!read.paramTaken) refused += std::string(refused.empty() ? "" : ", ") + "Param";
        std::fprintf(stderr,
                     "kvplm: the reader's %s block(s) could not be taken over as they are; nothing saved\n",
                     refused.c_str());
        return ExitFailed;
    }
    // An HID file without the reader's keyboard table would program an empty one.
    if (model.IsHid() && !read.keyTable) {
        std::fprintf(stderr, "kvplm: the reader did not give its keyboard table; nothing saved\n");
        return ExitFailed;
    }
    ReportReplacements(model.Replacements(), "the reader");
    switch (model.SaveDocument(host)) {
    case CSeriellEinstellModel::SaveResult::Saved:
        return ExitOk;
    case CSeriellEinstellModel::SaveResult::Cut:
        if (force) return ExitOk;
        std::fprintf(stderr, "kvplm: %s does not hold the whole configuration (--force accepts that)\n",
                     file.c_str());
        return ExitFailed;
    case CSeriellEinstellModel::SaveResult::NotSaved:
        break;
    }
    // The pages hold what the reader gave (all taken over above): what
    // failed is writing the file.
    return ExitFileError;
}

const Registration save{
    {"save", "PORT FILE.mkr [--force]", "save the reader's configuration as a .mkr file", 22, RunSave}};

} // namespace

} // namespace Cli
