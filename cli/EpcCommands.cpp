// epc decode|encode and tid decode: the EPC and TID codecs without a reader.
#include "Commands.h"
#include "EpcOutput.h"

#include <cctype>
#include <cstdio>
#include <iostream>

namespace Cli {

namespace {

void PrintDecoded(const Epc::Decoded& d) {
    std::printf("%s\n", d.hex.c_str());
    if (!d.gs1) {
        std::printf("  %s: %s\n", Epc::NotGs1Text, d.reason.c_str());
        return;
    }
    std::printf("  scheme: %s\n", d.scheme.c_str());
    if (d.filter >= 0) std::printf("  filter: %d\n", d.filter);
    if (d.partition >= 0) std::printf("  partition: %d\n", d.partition);
    std::printf("  pure identity: %s\n", d.pureIdentity.c_str());
    std::printf("  tag URI: %s\n", d.tagUri.c_str());
    if (!d.elementString.empty()) std::printf("  element string: %s\n", d.elementString.c_str());
}

// Each argument one EPC (blanks inside it allowed).
int RunEpcDecode(Options& options, bool json) {
    if (options.args.empty()) throw UsageError{"HEX of an EPC is missing"};
    std::vector<Epc::Decoded> decoded;
    for (const std::string& arg : options.args) {
        Epc::Bytes bytes;
        if (!Epc::FromHex(arg, bytes))
            throw UsageError{"\"" + arg + "\" is not hex (an even count of 0-9, A-F)"};
        decoded.push_back(Epc::Decode(bytes));
    }
    if (json) {
        std::vector<std::string> items;
        for (const Epc::Decoded& d : decoded)
            items.push_back(EpcJson(d));
        std::printf("%s\n", JsonArray(items).c_str());
    } else {
        for (const Epc::Decoded& d : decoded)
            PrintDecoded(d);
    }
    return ExitOk;
}

// GID-96 has no filter.
bool IsGid(const std::string& scheme) {
    std::string lower = scheme;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower == "gid-96";
}

// TAG-URI | PURE-URI --scheme SCHEME --filter F | SCHEME --filter F FIELDS...
int RunEpcEncode(Options& options, bool json) {
    std::string filterText, schemeText;
    const bool filterGiven = TakeOption(options.args, "--filter", filterText);
    const bool schemeGiven = TakeOption(options.args, "--scheme", schemeText);
    if (options.args.empty()) throw UsageError{"TAG-URI or SCHEME is missing"};
    const std::string first = options.args.front();
    std::string lower = first;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    const int filter = filterGiven ? ParseInt(filterText, "--filter", 0, 7) : -1;
    Epc::Encoded encoded;
    if (lower.compare(0, 12, "urn:epc:tag:") == 0) {
        if (options.args.size() > 1) throw UsageError{"unexpected argument \"" + options.args[1] + "\""};
        if (filterGiven || schemeGiven) throw UsageError{"a tag URI holds its scheme and filter"};
        encoded = Epc::EncodeTagUri(first);
    } else if (lower.compare(0, 11, "urn:epc:id:") == 0) {
        if (options.args.size() > 1) throw UsageError{"unexpected argument \"" + options.args[1] + "\""};
        if (!schemeGiven) throw UsageError{"a pure identity URI needs --scheme (e.g. sgtin-96)"};
        if (!filterGiven && !IsGid(schemeText)) throw UsageError{"a pure identity URI needs --filter 0..7"};
        encoded = Epc::EncodePureIdentity(first, schemeText, filter);
    } else {
        if (schemeGiven) throw UsageError{"the scheme is the first argument here"};
        const std::vector<std::string> fields(options.args.begin() + 1, options.args.end());
        if (!filterGiven && !IsGid(first)) throw UsageError{"--filter 0..7 is missing"};
        encoded = Epc::Encode(first, filter, fields);
    }
    if (!encoded.ok) {
        std::cerr << "kvplm: " << encoded.error << "\n";
        return ExitFailed;
    }
    if (json)
        std::printf("%s\n", EpcJson(Epc::Decode(encoded.bytes)).c_str());
    else
        std::printf("%s\n", Epc::ToHex(encoded.bytes).c_str());
    return ExitOk;
}

int RunEpc(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    if (options.args.empty()) throw UsageError{"epc needs decode or encode"};
    const std::string what = options.args.front();
    options.args.erase(options.args.begin());
    if (what == "decode") return RunEpcDecode(options, json);
    if (what == "encode") return RunEpcEncode(options, json);
    throw UsageError{"epc " + what + ": decode or encode"};
}

void PrintTid(const std::string& hex, const Epc::Tid& t) {
    std::printf("%s\n", hex.c_str());
    if (!t.valid) {
        std::printf("  unknown TID: %s\n", t.reason.c_str());
        return;
    }
    std::printf("  class: %s\n", t.classText.c_str());
    if (t.classId == 0xE2) {
        std::printf("  XTID: %s\n", t.extended ? "yes" : "no");
        std::printf("  security indicator: %s\n", t.securityIndicator ? "yes" : "no");
        std::printf("  file indicator: %s\n", t.fileIndicator ? "yes" : "no");
        if (t.maker.empty())
            std::printf("  mask designer: 0x%03X\n", unsigned(t.maskDesigner));
        else
            std::printf("  mask designer: 0x%03X (%s)\n", unsigned(t.maskDesigner), t.maker.c_str());
        std::printf("  model: 0x%03X\n", unsigned(t.model));
    }
    if (!t.serialHex.empty()) std::printf("  serial: %s\n", t.serialHex.c_str());
}

int RunTid(Options& options) {
    const bool json = TakeFlag(options.args, "--json");
    if (options.args.empty() || options.args.front() != "decode") throw UsageError{"tid needs decode"};
    options.args.erase(options.args.begin());
    if (options.args.empty()) throw UsageError{"HEX of a TID is missing"};
    // The TID as one run of hex, in one argument or several.
    std::string text;
    for (const std::string& arg : options.args)
        text += arg;
    Epc::Bytes bytes;
    if (!Epc::FromHex(text, bytes))
        throw UsageError{"\"" + text + "\" is not hex (an even count of 0-9, A-F)"};
    const Epc::Tid tid = Epc::DecodeTid(bytes);
    const std::string hex = Epc::ToHex(bytes);
    if (json)
        std::printf("%s\n", TidJson(hex, tid).c_str());
    else
        PrintTid(hex, tid);
    return ExitOk;
}

const Registration epc{{"epc", "decode HEX... | encode URI|SCHEME... [--json]",
                        "GS1 EPC: decode hex (scheme, URIs, element string), encode a tag URI or fields", 50,
                        RunEpc}};
const Registration tid{
    {"tid", "decode HEX [--json]", "a TID's class, mask designer (maker), model and serial", 51, RunTid}};

} // namespace

} // namespace Cli
