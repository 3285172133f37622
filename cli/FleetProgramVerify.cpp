// --verify: the blocks read back after programming and compared with what
// was written.
#include "FleetProgram.h"
#include "LinkApi.h"
#include "LinkVocabulary.h"
#include "SetupCliHost.h"

namespace Cli {

namespace {

// The six blocks of an open session, read as the read-back report reads
// them; on a failed read its name and the session status.
bool ReadBlocks(int session, BlockSet& blocks, std::string& failure) {
    LinkSetState(session, ReaderState::Programming);
    struct Read {
        int (*read)(int, unsigned char*, int);
        const char* name;
        Bytes* into;
    };
    const Read reads[] = {{ReadPrefix, "ReadPrefix", &blocks.prefix},
                          {ReadSuffix, "ReadSuffix", &blocks.suffix},
                          {ReadPostcode, "ReadPostcode", &blocks.postcode},
                          {ReadTermix, "ReadTermix", &blocks.termix},
                          {ReadParam, "ReadParam", &blocks.param},
                          {ReadModeParam, "ReadModeParam", &blocks.modeParam}};
    for (const Read& read : reads) {
        unsigned char buffer[256];
        const int length = read.read(session, buffer, sizeof buffer);
        if (length < 0) {
            failure = std::string(read.name) + " failed: " + LastError(session);
            return false;
        }
        read.into->assign(buffer, buffer + length);
    }
    return true;
}

} // namespace

bool VerifyBlocks(CSetupCliHost& host, const BlockSet& written, IProgramSteps* steps, std::string& problem) {
    if (steps) steps->Verifying();
    const SetupConnection connection = host.Connect(true);
    if (!connection.Connected()) {
        problem = "the reader did not answer for the read-back";
        return false;
    }
    BlockSet read;
    const bool complete = ReadBlocks(connection.session, read, problem);
    host.CloseSession(connection.session);
    if (!complete) return false;
    const std::vector<std::string> found = CompareBlocks(written, read);
    for (size_t i = 0; i < found.size(); ++i)
        problem += (i ? "; " : "") + found[i];
    return found.empty();
}

} // namespace Cli
