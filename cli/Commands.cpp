#include "Commands.h"

namespace Cli {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"info", "PORT", "identify the reader: model, type code, firmware, framing", RunInfo},
        {"transceive", "PORT CMD [HEX...]", "send one command with its payload and print the reply data",
         RunTransceive},
        {"raw-read", "PORT [--seconds N]", "print what the reader sends on its own", RunRawRead},
    };
    return commands;
}

} // namespace Cli
