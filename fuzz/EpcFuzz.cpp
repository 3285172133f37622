// EPC and TID bytes as a transponder holds them, and tag URIs as a user
// types them, through the EPC codec.
#include "FuzzCheck.h"

#include "Epc.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

namespace {

// The bytes an encoding gave (whole 16-bit words) are the EPC the decoder
// read: the same bits, and nothing but zero bits where one is longer.
bool SameEpc(const Epc::Bytes& encoded, const Epc::Bytes& input) {
    const size_t most = std::max(encoded.size(), input.size());
    for (size_t i = 0; i < most; ++i)
        if ((i < encoded.size() ? encoded[i] : 0) != (i < input.size() ? input[i] : 0)) return false;
    return true;
}

void CheckDecode(const Epc::Bytes& bytes) {
    const Epc::Decoded d = Epc::Decode(bytes);
    FUZZ_CHECK(d.hex == Epc::ToHex(bytes));
    if (!d.gs1) {
        FUZZ_CHECK(!d.reason.empty(), Fuzz::Hex(bytes));
        FUZZ_CHECK(d.fields.empty() && d.tagUri.empty() && d.pureIdentity.empty(), Fuzz::Hex(bytes));
        FUZZ_CHECK(Epc::Summary(d) == Epc::NotGs1Text);
        return;
    }
    FUZZ_CHECK(d.reason.empty());
    // What decodes encodes back to the same bits, by every route.
    const Epc::Encoded viaTag = Epc::EncodeTagUri(d.tagUri);
    FUZZ_CHECK(viaTag.ok, d.tagUri + ": " + viaTag.error);
    FUZZ_CHECK(SameEpc(viaTag.bytes, bytes), d.tagUri + "\n" + Fuzz::Hex(viaTag.bytes));
    const Epc::Encoded viaFields = Epc::Encode(d.scheme, d.filter, d.fields);
    FUZZ_CHECK(viaFields.ok && viaFields.bytes == viaTag.bytes, d.tagUri + ": " + viaFields.error);
    const Epc::Encoded viaPure = Epc::EncodePureIdentity(d.pureIdentity, d.scheme, d.filter);
    FUZZ_CHECK(viaPure.ok && viaPure.bytes == viaTag.bytes, d.pureIdentity + ": " + viaPure.error);
    const Epc::Decoded again = Epc::Decode(viaTag.bytes);
    FUZZ_CHECK(again.gs1 && again.tagUri == d.tagUri && again.elementString == d.elementString, d.tagUri);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: {
        // A header byte of a known scheme mostly, then anything.
        static const uint8_t headers[] = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,
                                          0x38, 0x39, 0x2C, 0x3E, 0x3F, 0x3C, 0x00, 0xE2};
        Epc::Bytes bytes{headers[input.ConsumeIntegralInRange<size_t>(0, sizeof headers - 1)]};
        const std::string rest = input.ConsumeRemainingBytesAsString();
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        CheckDecode(bytes);
        break;
    }
    case 1: {
        const std::string rest = input.ConsumeRemainingBytesAsString();
        const Epc::Bytes bytes(rest.begin(), rest.end());
        CheckDecode(bytes);
        const Epc::Tid tid = Epc::DecodeTid(bytes);
        FUZZ_CHECK(tid.valid || Epc::Summary(tid) == "unknown TID");
        FUZZ_CHECK(tid.valid || !tid.reason.empty());
        FUZZ_CHECK(tid.maskDesigner < 0x200 && tid.model < 0x1000);
        break;
    }
    default: {
        // A tag URI typed: what encodes decodes, and encodes again the same.
        const std::string text = "urn:epc:tag:" + input.ConsumeRemainingBytesAsString();
        const Epc::Encoded e = Epc::EncodeTagUri(text);
        if (!e.ok) {
            FUZZ_CHECK(!e.error.empty() && e.bytes.empty(), text);
            break;
        }
        FUZZ_CHECK(e.bytes.size() % 2 == 0, text);
        const Epc::Decoded d = Epc::Decode(e.bytes);
        FUZZ_CHECK(d.gs1, text + ": " + d.reason);
        CheckDecode(e.bytes);
        Epc::Bytes back;
        FUZZ_CHECK(Epc::FromHex(d.hex, back) && back == e.bytes, text);
        break;
    }
    }
    return 0;
}
