// kvplm show FILE.mkr: the record and the six blocks a file would program,
// and the keyboard table of a file saved for an HID reader.
#include "Commands.h"
#include "ConfigJson.h"
#include "EpcOutput.h"
#include "ProfileFile.h"
#include "SeriellEinstellModel.h"
#include "SetupCliHost.h"

#include <cstdio>
#include <unistd.h>

namespace Cli {

namespace {

// The record, the blocks and the baud rate or the keyboard table as one JSON object.
void PrintJson(const std::string& file, bool hid, CSeriellEinstellModel& model,
               const CSeriellEinstellModel::Image& image) {
    std::string out = "{\"file\":" + JsonString(file) + ",\"reader\":" + JsonString(hid ? "hid" : "serial");
    out += ",\"record\":" + RecordJson(image.record);
    out +=
        ",\"blocks\":{\"prefix\":" + JsonString(Hex(image.prefix)) +
        ",\"param\":" + JsonString(Hex(image.param)) + ",\"modeParam\":" + JsonString(Hex(image.modeParam)) +
        ",\"suffix\":" + JsonString(Hex(image.suffix)) + ",\"postcode\":" + JsonString(Hex(image.postcode)) +
        ",\"termix\":" + JsonString(Hex(image.termix)) + "}";
    out += ",\"setBaudRate\":" + (hid ? std::string("null") : std::to_string(model.Param().ChosenBaudRate()));
    out += ",\"keyTable\":" + (hid ? KeyTableJson(model.ParamHid().Table()) : std::string("null"));
    std::printf("%s}\n", out.c_str());
}

int RunShow(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    if (options.args.empty() || options.args.front().empty()) throw UsageError{"FILE.mkr is missing"};
    const std::string file = options.args.front();
    options.args.erase(options.args.begin());
    NoMoreArgs(options);
    CSetupCliHost host("", options, file);
    bool hid = false;
    const std::unique_ptr<CSeriellEinstellModel> shown = LoadShownFile(host, file, hid);
    if (!shown) return ExitFileError;
    CSeriellEinstellModel& model = *shown;
    CSeriellEinstellModel::Image image;
    if (auto message = model.BuildImage(image)) {
        host.ShowMessage(*message);
        return ExitFileError;
    }
    if (json) {
        PrintJson(file, hid, model, image);
        return ExitOk;
    }

    const KonfigDaten& r = image.record;
    std::printf("KonfigDaten\n");
    std::printf("  TransponderTyp   %u\n", unsigned(r.TransponderTyp));
    for (size_t i = 0; i < 4; ++i)
        std::printf("  Register%zu        MemType %u  Start %d  Laenge %u\n", i + 1,
                    unsigned(r.Registers[i].MemTypeRegister), r.Registers[i].StartRegister,
                    unsigned(r.Registers[i].LaengeRegister));
    std::printf("  Darstellung      %u\n", unsigned(r.Darstellung));
    std::printf("  ZeichenAnzahl    %u\n", unsigned(r.ZeichenAnzahl));
    std::printf("  Betriebsart      %u\n", unsigned(r.Betriebsart));
    std::printf("  GueltigeBytes    %u\n", unsigned(r.GueltigeBytes));
    std::printf("  GueltigeBytesAb  %u\n", unsigned(r.GueltigeBytesAb));
    std::printf("  Ausrichtung      %u\n", unsigned(r.Ausrichtung));
    std::printf("  KennungLinks     %u\n", unsigned(r.KennungLinks));
    std::printf("  KennungRechts    %u\n", unsigned(r.KennungRechts));
    std::printf("  Zykluszeit       %d\n", r.Zykluszeit);
    std::printf("  Baudrate         %d\n", r.Baudrate);
    std::printf("  TimeoutRS232     %d\n", r.TimeoutRS232);
    std::printf("  Aufforderung     %u\n", unsigned(r.Aufforderung));
    std::printf("Blocks, in the order programming writes them\n");
    std::printf("  Prefix     %s\n", Hex(image.prefix).c_str());
    std::printf("  Param      %s\n", Hex(image.param).c_str());
    std::printf("  ModeParam  %s\n", Hex(image.modeParam).c_str());
    std::printf("  Suffix     %s\n", Hex(image.suffix).c_str());
    std::printf("  Postcode   %s\n", Hex(image.postcode).c_str());
    std::printf("  Termix     %s\n", Hex(image.termix).c_str());
    if (hid) {
        std::printf("Keyboard table (HID reader)\n");
        PrintKeyTable(model.ParamHid().Table());
    } else {
        std::printf("Baud rate to set: %d\n", model.Param().ChosenBaudRate());
    }
    return ExitOk;
}

const Registration show{
    {"show", "FILE.mkr [--json]", "the record and the six blocks a .mkr file programs", 23, RunShow}};

} // namespace

} // namespace Cli
