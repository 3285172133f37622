// The EPC codec against worked examples of the tag data standard, random
// round trips per scheme, the range limits with their messages, and the
// patterns that are no GS1 EPC.
#include "Epc.h"

#include <gtest/gtest.h>

#include <random>

namespace {

Epc::Decoded DecodeHex(const std::string& hex) {
    Epc::Bytes bytes;
    EXPECT_TRUE(Epc::FromHex(hex, bytes)) << hex;
    return Epc::Decode(bytes);
}

std::string EncodeHex(const std::string& tagUri) {
    const Epc::Encoded e = Epc::EncodeTagUri(tagUri);
    EXPECT_TRUE(e.ok) << tagUri << ": " << e.error;
    return Epc::ToHex(e.bytes);
}

std::string EncodeError(const std::string& tagUri) {
    const Epc::Encoded e = Epc::EncodeTagUri(tagUri);
    EXPECT_FALSE(e.ok) << tagUri;
    EXPECT_TRUE(e.bytes.empty());
    return e.error;
}

struct Example {
    const char* hex;
    const char* tagUri;
    const char* pureIdentity;
    const char* elementString;
};

// Each both ways: hex -> URIs and element string, tag URI -> hex.
const Example kExamples[] = {
    {"3074257BF7194E4000001A85", "urn:epc:tag:sgtin-96:3.0614141.812345.6789",
     "urn:epc:id:sgtin:0614141.812345.6789", "(01)80614141123458(21)6789"},
    {"3174257BF4499602D2000000", "urn:epc:tag:sscc-96:3.0614141.1234567890",
     "urn:epc:id:sscc:0614141.1234567890", "(00)106141412345678908"},
    {"3274257BF460720000000190", "urn:epc:tag:sgln-96:3.0614141.12345.400",
     "urn:epc:id:sgln:0614141.12345.400", "(414)0614141123452(254)400"},
    {"3374257BF40C0E4000000190", "urn:epc:tag:grai-96:3.0614141.12345.400",
     "urn:epc:id:grai:0614141.12345.400", "(8003)00614141123452400"},
    {"3474257BF400000000BC6038", "urn:epc:tag:giai-96:3.0614141.12345400", "urn:epc:id:giai:0614141.12345400",
     "(8004)061414112345400"},
    {"355AB1C60003039000000190", "urn:epc:tag:gid-96:95100000.12345.400", "urn:epc:id:gid:95100000.12345.400",
     ""},
    {"2C74257BF460720000000190", "urn:epc:tag:gdti-96:3.0614141.12345.400",
     "urn:epc:id:gdti:0614141.12345.400", "(253)0614141123452400"},
    {"3F74F4E4E612640000019907", "urn:epc:tag:sgcn-96:3.4012345.67890.04711",
     "urn:epc:id:sgcn:4012345.67890.04711", "(255)401234567890104711"},
    {"3C74257BF400F120075BCD15", "urn:epc:tag:cpi-96:3.0614141.123456.123456789",
     "urn:epc:id:cpi:0614141.123456.123456789", "(8010)0614141123456(8011)123456789"},
    {"3674257BF7194E59B2C2BF100000000000000000000000000000", "urn:epc:tag:sgtin-198:3.0614141.812345.32a%2Fb",
     "urn:epc:id:sgtin:0614141.812345.32a%2Fb", "(01)80614141123458(21)32a/b"},
};

TEST(EpcExamples, DecodeAndEncodeBothWays) {
    for (const Example& x : kExamples) {
        SCOPED_TRACE(x.tagUri);
        const Epc::Decoded d = DecodeHex(x.hex);
        ASSERT_TRUE(d.gs1) << d.reason;
        EXPECT_EQ(d.tagUri, x.tagUri);
        EXPECT_EQ(d.pureIdentity, x.pureIdentity);
        EXPECT_EQ(d.elementString, x.elementString);
        EXPECT_EQ(d.hex, x.hex);
        EXPECT_TRUE(d.reason.empty());
        EXPECT_EQ(Epc::Summary(d), x.pureIdentity);
        EXPECT_EQ(EncodeHex(x.tagUri), x.hex);
    }
}

TEST(EpcExamples, Sgtin96Fields) {
    const Epc::Decoded d = DecodeHex("3074257BF7194E4000001A85");
    EXPECT_EQ(d.scheme, "sgtin-96");
    EXPECT_EQ(d.filter, 3);
    EXPECT_EQ(d.partition, 5);
    EXPECT_EQ(d.fields, (std::vector<std::string>{"0614141", "812345", "6789"}));
    // The same from fields, from the pure identity, and case-insensitive scheme names.
    const Epc::Encoded a = Epc::Encode("SGTIN-96", 3, {"0614141", "812345", "6789"});
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_EQ(Epc::ToHex(a.bytes), "3074257BF7194E4000001A85");
    const Epc::Encoded b = Epc::EncodePureIdentity("urn:epc:id:sgtin:0614141.812345.6789", "sgtin-96", 3);
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(b.bytes, a.bytes);
    EXPECT_EQ(EncodeHex("URN:EPC:TAG:SGTIN-96:3.0614141.812345.6789"), "3074257BF7194E4000001A85");
}

TEST(EpcExamples, SglnWithoutExtensionHasNoAi254AndEmptyReferencesStayEmpty) {
    EXPECT_EQ(DecodeHex(EncodeHex("urn:epc:tag:sgln-96:0.0614141.12345.0")).elementString,
              "(414)0614141123452");
    // A 12-digit company prefix leaves the location reference and asset type without digits.
    const Epc::Decoded d = DecodeHex(EncodeHex("urn:epc:tag:grai-96:1.061414112345..7"));
    ASSERT_TRUE(d.gs1) << d.reason;
    EXPECT_EQ(d.pureIdentity, "urn:epc:id:grai:061414112345..7");
    EXPECT_EQ(d.elementString, "(8003)006141411234527");
}

TEST(EpcExamples, EscapesInAlphanumericFieldsBothWays) {
    const std::string hex = EncodeHex("urn:epc:tag:giai-202:1.0614141.A%2FB%25%26C%3F");
    const Epc::Decoded d = DecodeHex(hex);
    ASSERT_TRUE(d.gs1) << d.reason;
    EXPECT_EQ(d.tagUri, "urn:epc:tag:giai-202:1.0614141.A%2FB%25%26C%3F");
    EXPECT_EQ(d.elementString, "(8004)0614141A/B%&C?");
    EXPECT_EQ(d.fields.back(), "A/B%&C?");
    // A serial may hold dots: the last field takes the rest.
    EXPECT_EQ(DecodeHex(EncodeHex("urn:epc:tag:sgln-195:2.0614141.12345.a.b")).elementString,
              "(414)0614141123452(254)a.b");
    EXPECT_NE(EncodeError("urn:epc:tag:sgtin-198:3.0614141.812345.a%2"), "");
    EXPECT_NE(EncodeError("urn:epc:tag:sgtin-198:3.0614141.812345.a%zz"), "");
    EXPECT_NE(EncodeError("urn:epc:tag:sgtin-198:3.0614141.812345.a%7E").find("cannot encode"),
              std::string::npos);
}

// Random fields for each scheme and each company prefix length: encode, decode, compare.
TEST(EpcRoundTrip, RandomFieldsEveryScheme) {
    std::mt19937_64 rng(14);
    auto digits = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += char('0' + rng() % 10);
        return s;
    };
    auto number = [&](int bits) { return std::to_string(rng() & ((uint64_t(1) << bits) - 1)); };
    const std::string chars =
        "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    auto text = [&](int most) {
        std::string s;
        const int n = 1 + int(rng() % uint64_t(most));
        for (int i = 0; i < n; ++i)
            s += chars[rng() % chars.size()];
        return s;
    };
    auto unpadded = [&](int bits, int most) {
        const uint64_t limit =
            std::min((uint64_t(1) << bits) - 1, uint64_t(std::stoull(std::string(most, '9'))));
        return std::to_string(rng() % (limit + 1));
    };
    static const int giai202Chars[] = {18, 19, 20, 21, 22, 23, 24};
    static const int giai96Bits[] = {42, 45, 48, 52, 55, 58, 62};
    static const int cpiBits[] = {11, 14, 17, 21, 24, 27, 31};
    for (int round = 0; round < 40; ++round) {
        for (const std::string& scheme : Epc::Schemes()) {
            const int cpDigits = 6 + int(rng() % 7);
            const int p = 12 - cpDigits;
            const std::string cp = digits(cpDigits);
            std::vector<std::string> fields;
            if (scheme == "sgtin-96") fields = {cp, digits(13 - cpDigits), number(38)};
            if (scheme == "sgtin-198") fields = {cp, digits(13 - cpDigits), text(20)};
            if (scheme == "sscc-96") fields = {cp, digits(17 - cpDigits)};
            if (scheme == "sgln-96") fields = {cp, digits(12 - cpDigits), number(41)};
            if (scheme == "sgln-195") fields = {cp, digits(12 - cpDigits), text(20)};
            if (scheme == "grai-96") fields = {cp, digits(12 - cpDigits), number(38)};
            if (scheme == "grai-170") fields = {cp, digits(12 - cpDigits), text(16)};
            if (scheme == "giai-96") fields = {cp, unpadded(giai96Bits[p], 13 + p)};
            if (scheme == "giai-202") fields = {cp, text(giai202Chars[p])};
            if (scheme == "gid-96") fields = {number(28), number(24), number(36)};
            if (scheme == "sgcn-96") fields = {cp, digits(12 - cpDigits), digits(1 + int(rng() % 12))};
            if (scheme == "gdti-96") fields = {cp, digits(12 - cpDigits), number(41)};
            if (scheme == "gdti-174") fields = {cp, digits(12 - cpDigits), text(17)};
            if (scheme == "cpi-96") fields = {cp, unpadded(cpiBits[p], 3 + p), number(31)};
            ASSERT_FALSE(fields.empty()) << scheme;
            const int filter = int(rng() % 8);
            const Epc::Encoded e = Epc::Encode(scheme, filter, fields);
            ASSERT_TRUE(e.ok) << scheme << ": " << e.error;
            EXPECT_EQ(e.bytes.size() % 2, 0u);
            const Epc::Decoded d = Epc::Decode(e.bytes);
            ASSERT_TRUE(d.gs1) << scheme << " " << Epc::ToHex(e.bytes) << ": " << d.reason;
            EXPECT_EQ(d.scheme, scheme);
            EXPECT_EQ(d.fields, fields);
            if (scheme != "gid-96") {
                EXPECT_EQ(d.filter, filter);
                EXPECT_EQ(d.partition, p);
            }
            // Through both URI forms back to the same bytes.
            const Epc::Encoded viaTag = Epc::EncodeTagUri(d.tagUri);
            ASSERT_TRUE(viaTag.ok) << d.tagUri << ": " << viaTag.error;
            EXPECT_EQ(viaTag.bytes, e.bytes);
            const Epc::Encoded viaPure = Epc::EncodePureIdentity(d.pureIdentity, scheme, filter);
            ASSERT_TRUE(viaPure.ok) << d.pureIdentity << ": " << viaPure.error;
            EXPECT_EQ(viaPure.bytes, e.bytes);
        }
    }
}

TEST(EpcLimits, IntegerFieldsJustInsideAndJustOutside) {
    EXPECT_EQ(EncodeHex("urn:epc:tag:sgtin-96:3.0614141.812345.274877906943").size(), 24u);
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:3.0614141.812345.274877906944"),
              "serial 274877906944 is too large for SGTIN-96 (at most 274877906943)");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:3.0614141.812345.99999999999999999999999"),
              "serial 99999999999999999999999 is too large for SGTIN-96 (at most 274877906943)");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:3.0614141.812345.0123"),
              "serial with leading zeros cannot be encoded in SGTIN-96");
    EXPECT_EQ(DecodeHex(EncodeHex("urn:epc:tag:sgtin-96:3.0614141.812345.0")).fields[2], "0");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:3.0614141.812345.12a"),
              "serial 12a is not a decimal number (SGTIN-96 takes digits only)");
    EXPECT_TRUE(Epc::EncodeTagUri("urn:epc:tag:sgln-96:3.0614141.12345.2199023255551").ok);
    EXPECT_EQ(EncodeError("urn:epc:tag:sgln-96:3.0614141.12345.2199023255552"),
              "extension 2199023255552 is too large for SGLN-96 (at most 2199023255551)");
    EXPECT_TRUE(Epc::EncodeTagUri("urn:epc:tag:cpi-96:0.0614141.99999999.2147483647").ok);
    EXPECT_EQ(EncodeError("urn:epc:tag:cpi-96:0.0614141.99999999.2147483648"),
              "serial 2147483648 is too large for CPI-96 (at most 2147483647)");
    EXPECT_EQ(EncodeError("urn:epc:tag:cpi-96:0.0614141.123456789.1"),
              "part reference 123456789 has too many digits for a 7-digit company prefix (at most 8)");
    EXPECT_EQ(EncodeError("urn:epc:tag:cpi-96:0.0614141.0123.1"),
              "part reference with leading zeros cannot be encoded in CPI-96");
    // GIAI-96 with a 12-digit prefix: 42 bits, below the 13 digits.
    EXPECT_TRUE(Epc::EncodeTagUri("urn:epc:tag:giai-96:0.061414112345.4398046511103").ok);
    EXPECT_EQ(EncodeError("urn:epc:tag:giai-96:0.061414112345.4398046511104"),
              "asset reference 4398046511104 is too large for GIAI-96 (at most 4398046511103)");
    EXPECT_TRUE(Epc::EncodeTagUri("urn:epc:tag:gid-96:268435455.16777215.68719476735").ok);
    EXPECT_EQ(EncodeError("urn:epc:tag:gid-96:268435456.1.1"),
              "general manager 268435456 is too large for GID-96 (at most 268435455)");
    EXPECT_EQ(EncodeError("urn:epc:tag:gid-96:1.16777216.1"),
              "object class 16777216 is too large for GID-96 (at most 16777215)");
    EXPECT_EQ(EncodeError("urn:epc:tag:gid-96:1.1.68719476736"),
              "serial 68719476736 is too large for GID-96 (at most 68719476735)");
}

TEST(EpcLimits, FilterPrefixAndReferenceDigits) {
    EXPECT_TRUE(Epc::EncodeTagUri("urn:epc:tag:sgtin-96:7.0614141.812345.1").ok);
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:8.0614141.812345.1"), "filter 8 is out of range 0..7");
    EXPECT_EQ(Epc::Encode("sgtin-96", -1, {"0614141", "812345", "1"}).error,
              "filter -1 is out of range 0..7");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:x.0614141.812345.1"), "filter \"x\" is not a number 0..7");
    EXPECT_TRUE(Epc::EncodeTagUri("urn:epc:tag:sgtin-96:1.061414.8123456.1").ok);
    EXPECT_TRUE(Epc::EncodeTagUri("urn:epc:tag:sgtin-96:1.061414112345.8.1").ok);
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:1.06141.81234567.1"),
              "company prefix must be 6 to 12 digits");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:1.0614141123456..1"),
              "company prefix must be 6 to 12 digits");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:1.0614141.1234567.1"),
              "item reference 1234567 has too many digits for a 7-digit company prefix (6 needed)");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:1.0614141.12345.1"),
              "item reference 12345 has too few digits for a 7-digit company prefix (6 needed)");
    EXPECT_EQ(EncodeError("urn:epc:tag:sscc-96:1.0614141.123456789"),
              "serial reference 123456789 has too few digits for a 7-digit company prefix (10 needed)");
    EXPECT_EQ(EncodeError("urn:epc:tag:sgtin-96:1.06141a1.812345.1"),
              "company prefix 06141a1 is not a decimal number");
    EXPECT_EQ(Epc::Encode("sgtin-96", 1, {"0614141", "812345"}).error,
              "SGTIN-96 takes 3 fields (company prefix, item reference, serial), not 2");
    EXPECT_EQ(Epc::Encode("sgtin-97", 1, {}).error, "unknown scheme \"sgtin-97\"");
    EXPECT_EQ(EncodeError("urn:epc:id:sgtin:0614141.812345.1"),
              "\"urn:epc:id:sgtin:0614141.812345.1\" is not a tag URI (urn:epc:tag:...)");
    EXPECT_FALSE(Epc::EncodePureIdentity("urn:epc:id:sscc:0614141.1234567890", "sgtin-96", 1).ok);
}

TEST(EpcLimits, StringFieldsLengthAndCharacters) {
    const std::string twenty(20, 'x');
    EXPECT_TRUE(Epc::Encode("sgtin-198", 0, {"0614141", "812345", twenty}).ok);
    EXPECT_EQ(Epc::Encode("sgtin-198", 0, {"0614141", "812345", twenty + "x"}).error,
              "serial " + twenty + "x has 21 characters, SGTIN-198 takes at most 20");
    EXPECT_TRUE(Epc::Encode("grai-170", 0, {"0614141", "12345", std::string(16, '7')}).ok);
    EXPECT_FALSE(Epc::Encode("grai-170", 0, {"0614141", "12345", std::string(17, '7')}).ok);
    EXPECT_TRUE(Epc::Encode("gdti-174", 0, {"0614141", "12345", std::string(17, 'Z')}).ok);
    EXPECT_FALSE(Epc::Encode("gdti-174", 0, {"0614141", "12345", std::string(18, 'Z')}).ok);
    EXPECT_TRUE(Epc::Encode("giai-202", 0, {"061414112345", std::string(18, 'a')}).ok);
    EXPECT_FALSE(Epc::Encode("giai-202", 0, {"061414112345", std::string(19, 'a')}).ok);
    EXPECT_TRUE(Epc::Encode("giai-202", 0, {"061414", std::string(24, 'a')}).ok);
    EXPECT_EQ(Epc::Encode("sgtin-198", 0, {"0614141", "812345", "a b"}).error,
              "serial a b holds the character 0x20, which SGTIN-198 cannot encode");
    EXPECT_EQ(Epc::Encode("sgtin-198", 0, {"0614141", "812345", ""}).error, "serial is empty");
    EXPECT_TRUE(Epc::Encode("sgcn-96", 0, {"4012345", "67890", "000000000000"}).ok);
    EXPECT_EQ(Epc::Encode("sgcn-96", 0, {"4012345", "67890", "0000000000000"}).error,
              "serial 0000000000000 has 13 digits, SGCN-96 takes at most 12");
}

Epc::Bytes Bits(std::initializer_list<std::pair<uint64_t, int>> fields) {
    std::vector<bool> bits;
    for (auto [value, count] : fields)
        for (int i = count - 1; i >= 0; --i)
            bits.push_back(i < 64 && ((value >> i) & 1));
    Epc::Bytes out((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
    return out;
}

void ExpectNotGs1(const Epc::Bytes& bytes, const std::string& reason) {
    const Epc::Decoded d = Epc::Decode(bytes);
    EXPECT_FALSE(d.gs1) << d.tagUri;
    EXPECT_EQ(d.reason, reason);
    EXPECT_EQ(d.hex, Epc::ToHex(bytes));
    EXPECT_TRUE(d.tagUri.empty());
    EXPECT_TRUE(d.pureIdentity.empty());
    EXPECT_TRUE(d.fields.empty());
    EXPECT_EQ(Epc::Summary(d), Epc::NotGs1Text);
}

TEST(EpcNotGs1, HeadersLengthsPartitionsAndFieldValues) {
    Epc::Bytes b;
    ASSERT_TRUE(Epc::FromHex("3074257BF7194E4000001A", b));
    ExpectNotGs1(b, "too short for SGTIN-96 (88 bits, 96 needed)");
    ExpectNotGs1({}, "the EPC is empty");
    ASSERT_TRUE(Epc::FromHex("000000000000000000000000", b));
    ExpectNotGs1(b, "header 0x00 is not a GS1 scheme");
    ASSERT_TRUE(Epc::FromHex("E20000000000000000000000", b));
    ExpectNotGs1(b, "header 0xE2 is not a GS1 scheme");
    ASSERT_TRUE(Epc::FromHex("2F0000000000000000000000", b));
    ExpectNotGs1(b, "header 0x2F (USDOD-96) is not a GS1 scheme");
    ASSERT_TRUE(Epc::FromHex("2D0000000000000000000000", b));
    ExpectNotGs1(b, "header 0x2D (GSRN-96) is a scheme not decoded here");
    ExpectNotGs1(Bits({{0x30, 8}, {3, 3}, {7, 3}, {0, 44}, {1, 38}}), "partition 7 is reserved (SGTIN-96)");
    // A 40-bit company prefix field above twelve digits, an item reference above its digits.
    ExpectNotGs1(Bits({{0x30, 8}, {3, 3}, {0, 3}, {1000000000000, 40}, {0, 4}, {1, 38}}),
                 "company prefix 1000000000000 has more than 12 digits (SGTIN-96 partition 0)");
    ExpectNotGs1(Bits({{0x30, 8}, {3, 3}, {0, 3}, {614141, 40}, {10, 4}, {1, 38}}),
                 "item reference 10 has more than 1 digits (SGTIN-96 partition 0)");
    ExpectNotGs1(Bits({{0x32, 8}, {3, 3}, {0, 3}, {614141, 40}, {1, 1}, {1, 41}}),
                 "location reference 1 has more than 0 digits (SGLN-96 partition 0)");
    ExpectNotGs1(Bits({{0x31, 8}, {3, 3}, {5, 3}, {614141, 24}, {1, 34}, {1, 24}}),
                 "the reserved bits of SSCC-96 are not zero");
    ExpectNotGs1(Bits({{0x3C, 8}, {3, 3}, {0, 3}, {614141, 40}, {1000, 11}, {1, 31}}),
                 "part reference 1000 has more than 3 digits (CPI-96 partition 0)");
    ExpectNotGs1(Bits({{0x3F, 8}, {3, 3}, {5, 3}, {4012345, 24}, {1, 17}, {204711, 41}}),
                 "serial of SGCN-96 is not a valid numeric string");
    // Words after the EPC must be zero; zero words are fine (a longer length in the PC).
    ASSERT_TRUE(Epc::FromHex("3074257BF7194E4000001A850000", b));
    EXPECT_TRUE(Epc::Decode(b).gs1);
    ASSERT_TRUE(Epc::FromHex("3074257BF7194E4000001A850001", b));
    ExpectNotGs1(b, "bits after the 96 of SGTIN-96 are not zero");
}

TEST(EpcNotGs1, StringFieldsWithInvalidCharactersOrGaps) {
    auto sgtin198 = [](std::initializer_list<int> chars) {
        std::vector<bool> bits;
        auto put = [&](uint64_t v, int n) {
            // Runs of zero bits are longer than 64: no shift past the word.
            for (int i = n - 1; i >= 0; --i)
                bits.push_back(i < 64 && ((v >> i) & 1));
        };
        put(0x36, 8), put(3, 3), put(5, 3), put(614141, 24), put(812345, 20);
        int used = 0;
        for (int c : chars)
            put(uint64_t(c), 7), used += 7;
        put(0, 140 - used);
        while (bits.size() % 16)
            bits.push_back(false);
        Epc::Bytes out(bits.size() / 8, 0);
        for (size_t i = 0; i < bits.size(); ++i)
            if (bits[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
        return out;
    };
    EXPECT_TRUE(Epc::Decode(sgtin198({'A', '1'})).gs1);
    ExpectNotGs1(sgtin198({'A', ' '}), "serial of SGTIN-198 holds the character 0x20, which is not allowed");
    ExpectNotGs1(sgtin198({'A', 0x7E}), "serial of SGTIN-198 holds the character 0x7E, which is not allowed");
    ExpectNotGs1(sgtin198({'A', 0, 'B'}), "serial of SGTIN-198 has characters after its end");
    ExpectNotGs1(sgtin198({}), "serial of SGTIN-198 is empty");

    // GIAI-202's asset reference field has room for more 7-bit characters than its partition allows.
    auto giai202 = [](int count) {
        std::vector<bool> bits;
        auto put = [&](uint64_t v, int n) {
            for (int i = n - 1; i >= 0; --i)
                bits.push_back(i < 64 && ((v >> i) & 1));
        };
        put(0x38, 8), put(0, 3), put(0, 3), put(61414112345, 40);
        for (int i = 0; i < count; ++i)
            put('a', 7);
        put(0, 148 - 7 * count);
        while (bits.size() % 16)
            bits.push_back(false);
        Epc::Bytes out(bits.size() / 8, 0);
        for (size_t i = 0; i < bits.size(); ++i)
            if (bits[i]) out[i / 8] |= uint8_t(0x80 >> (i % 8));
        return out;
    };
    EXPECT_TRUE(Epc::Decode(giai202(18)).gs1);
    ExpectNotGs1(giai202(19), "asset reference of GIAI-202 has 19 characters, at most 18 are allowed");
}

TEST(Tid, ClassMaskDesignerModelAndXtidSerial) {
    Epc::Bytes b;
    ASSERT_TRUE(Epc::FromHex("E2801105", b));
    Epc::Tid t = Epc::DecodeTid(b);
    ASSERT_TRUE(t.valid) << t.reason;
    EXPECT_EQ(t.classId, 0xE2);
    EXPECT_EQ(t.classText, "EPCglobal (E2)");
    EXPECT_TRUE(t.extended);
    EXPECT_FALSE(t.securityIndicator);
    EXPECT_FALSE(t.fileIndicator);
    EXPECT_EQ(t.maskDesigner, 0x001);
    EXPECT_EQ(t.maker, "Impinj");
    EXPECT_EQ(t.model, 0x105);
    EXPECT_EQ(t.serialHex, ""); // no XTID header read
    EXPECT_EQ(Epc::Summary(t), "EPCglobal (E2), Impinj, model 0x105, XTID");

    // XTID header with serialization 1: a 48-bit serial follows it.
    ASSERT_TRUE(Epc::FromHex("E2806894 2001 0123456789AB", b));
    t = Epc::DecodeTid(b);
    EXPECT_EQ(t.maker, "NXP Semiconductors");
    EXPECT_EQ(t.model, 0x894);
    EXPECT_EQ(t.serialHex, "0123456789AB");
    EXPECT_EQ(Epc::Summary(t), "EPCglobal (E2), NXP Semiconductors, model 0x894, XTID, serial 0123456789AB");
    // Serialization 2 (64 bits) but only 48 present: no serial rather than a cut one.
    ASSERT_TRUE(Epc::FromHex("E2806894 2002 0123456789AB", b));
    EXPECT_EQ(Epc::DecodeTid(b).serialHex, "");

    // No XTID, security and file bits, an unlisted mask designer.
    ASSERT_TRUE(Epc::FromHex("E27FF123 0000", b));
    t = Epc::DecodeTid(b);
    EXPECT_FALSE(t.extended);
    EXPECT_TRUE(t.securityIndicator);
    EXPECT_TRUE(t.fileIndicator);
    EXPECT_EQ(t.maskDesigner, 0x1FF);
    EXPECT_EQ(t.maker, "");
    EXPECT_EQ(t.model, 0x123);
    EXPECT_EQ(Epc::Summary(t), "EPCglobal (E2), mask designer 0x1FF, model 0x123");

    ASSERT_TRUE(Epc::FromHex("E2003412", b));
    EXPECT_EQ(Epc::DecodeTid(b).maker, "Alien Technology");
}

TEST(Tid, OtherClassesAndInvalid) {
    Epc::Bytes b;
    ASSERT_TRUE(Epc::FromHex("E0040000AABBCCDD", b));
    Epc::Tid t = Epc::DecodeTid(b);
    EXPECT_TRUE(t.valid);
    EXPECT_EQ(t.classText, "ISO/IEC 7816-6 (E0)");
    EXPECT_EQ(t.maskDesigner, -1);
    EXPECT_EQ(Epc::Summary(t), "ISO/IEC 7816-6 (E0)");
    ASSERT_TRUE(Epc::FromHex("E280", b));
    t = Epc::DecodeTid(b);
    EXPECT_FALSE(t.valid);
    EXPECT_EQ(t.reason, "a TID needs at least 4 bytes, got 2");
    EXPECT_EQ(Epc::Summary(t), "unknown TID");
    ASSERT_TRUE(Epc::FromHex("12345678", b));
    EXPECT_EQ(Epc::DecodeTid(b).reason, "class identifier 12 is not a known TID class");
}

TEST(Hex, BlanksIgnoredOddAndForeignRejected) {
    Epc::Bytes b;
    EXPECT_TRUE(Epc::FromHex("30 74 25 7b", b));
    EXPECT_EQ(Epc::ToHex(b), "3074257B");
    EXPECT_FALSE(Epc::FromHex("307", b));
    EXPECT_FALSE(Epc::FromHex("30g4", b));
}

} // namespace
