// The simulated Bluetooth adapter module, driven over its pty with packets
// built here byte by byte, as a host's transport would send them.
#include "BtModuleSimulator.h"
#include "BtModulePacket.h"
#include "SimProgram.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

using namespace SimTest;
using BtModulePacket::Packet;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

const CBtModuleSimulator::Address ReaderAddress{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const CBtModuleSimulator::Address HeadsetAddress{0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5};

const Bytes InquiryRequest = Hex("02 52 00 03 00 55 06 00 00 03"); // length 6 (a 10 s inquiry)
const Bytes StopRequest = Hex("02 52 26 00 00 78 03");
const Bytes ReleaseRequest = Hex("02 52 0D 01 00 60 02 03");

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes NameRequest(const CBtModuleSimulator::Address& a) {
    return BtModulePacket::Build(0x52, 0x02, Bytes(a.begin(), a.end()));
}

Bytes LinkRequest(const CBtModuleSimulator::Address& a) {
    Bytes payload{0x02};
    payload.insert(payload.end(), a.begin(), a.end());
    payload.push_back(0x02);
    return BtModulePacket::Build(0x52, 0x0A, payload);
}

Bytes DataRequest(const Bytes& data) {
    Bytes payload{0x02, static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size() >> 8)};
    payload.insert(payload.end(), data.begin(), data.end());
    return BtModulePacket::Build(0x52, 0x0F, payload);
}

struct Module {
    explicit Module(CBtModuleSimulator::Options options = {},
                    std::vector<CBtModuleSimulator::Remote> remotes = {
                        {ReaderAddress, 0x000500, "", nullptr}}) {
        options.announce = false;
        if (options.inquiryTime == milliseconds(1500)) options.inquiryTime = milliseconds(200);
        sim = std::make_unique<CBtModuleSimulator>(std::move(remotes), options);
        std::string error;
        EXPECT_TRUE(sim->Start(&error)) << error;
        port = std::make_unique<HostPort>(sim->SlavePath(), B9600);
    }

    void Send(const Bytes& bytes) { port->Write(bytes); }

    // The next packet from the module, within the time.
    std::optional<Packet> Next(milliseconds timeout = milliseconds(3000)) {
        const auto end = Clock::now() + timeout;
        for (;;) {
            if (auto packet = in.Next()) return packet;
            const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            const Bytes bytes = port->Read(1, left);
            raw.insert(raw.end(), bytes.begin(), bytes.end());
            in.Add(bytes);
        }
    }
    // The next packet, which must have this code.
    Packet Expect(uint16_t code, milliseconds timeout = milliseconds(3000)) {
        const auto packet = Next(timeout);
        EXPECT_TRUE(packet.has_value()) << "no packet " << std::hex << code;
        if (!packet) return {};
        EXPECT_EQ(packet->Code(), code) << SimHex::Format(BtModulePacket::Build(*packet));
        return *packet;
    }

    void Link(const CBtModuleSimulator::Address& address = ReaderAddress) {
        Send(LinkRequest(address));
        EXPECT_EQ(Expect(0x0A43).payload, Hex("00 02"));
        Bytes up{0x00};
        up.insert(up.end(), address.begin(), address.end());
        up.insert(up.end(), {0x02, 0x02});
        EXPECT_EQ(Expect(0x0B69).payload, up);
    }

    // Sends a frame in a data request and collects data indications until the
    // reader's answer is a whole frame.
    Bytes Exchange(const Bytes& frame) {
        Send(DataRequest(frame));
        Bytes answer;
        while (!Frame::IsComplete(Frame::Bcc, answer)) {
            const Packet p = Expect(0x1069);
            if (p.payload.size() < 3) break;
            EXPECT_EQ(p.payload[0], 0x02);
            EXPECT_EQ(p.payload.size(), 3u + (p.payload[1] | p.payload[2] << 8));
            answer.insert(answer.end(), p.payload.begin() + 3, p.payload.end());
        }
        return answer;
    }

    std::unique_ptr<CBtModuleSimulator> sim;
    std::unique_ptr<HostPort> port;
    BtModulePacket::Assembler in;
    Bytes raw;
};

const Bytes Identify = Frame::Build(Frame::Bcc, 0x01, 0xF0);
const Bytes Identity = Frame::Build(Frame::Bcc, 0x01, 0x00, Bytes{'3', '0', '2', '5'});

} // namespace

TEST(BtModulePacket, BuildsAndAssemblesWithResync) {
    EXPECT_EQ(BtModulePacket::Build(0x52, 0x0F, Hex("02 03 00 AA BB CC")),
              Hex("02 52 0F 06 00 67 02 03 00 AA BB CC 03"));
    BtModulePacket::Assembler in(100);
    // Junk, a header announcing far more than fits (taken as noise), then a packet in pieces.
    in.Add(Hex("FF 00 03 02 69 10 60 EA"));
    const Bytes packet = BtModulePacket::Build(0x43, 0x00, {0x00});
    in.Add(Bytes(packet.begin(), packet.begin() + 4));
    EXPECT_FALSE(in.Next());
    in.Add(Bytes(packet.begin() + 4, packet.end()));
    const auto p = in.Next();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Code(), 0x0043);
    EXPECT_EQ(p->payload, Bytes{0x00});
    EXPECT_EQ(in.Dropped(), 8u);
    EXPECT_EQ(in.Buffered(), 0u);
}

TEST(BtModuleSimulator, InquiryReportsEveryDeviceWithItsClassThenConfirms) {
    Module m({}, {{ReaderAddress, 0x000500, "", nullptr}, {HeadsetAddress, 0x240404, "Headset", nullptr}});
    const auto start = Clock::now();
    m.Send(InquiryRequest);
    EXPECT_EQ(m.Expect(0x0169).payload, Hex("00 11 22 33 44 55 00 05 00 01 00 00 00 00"));
    EXPECT_EQ(m.Expect(0x0169).payload, Hex("A0 B1 C2 D3 E4 F5 04 04 24 01 00 00 00 00"));
    m.Expect(0x0043);
    EXPECT_GE(Clock::now() - start, milliseconds(200)); // at the end of the inquiry time
    const Bytes confirm = Hex("02 43 00 01 00 44 00 03");
    ASSERT_GE(m.raw.size(), confirm.size());
    EXPECT_EQ(Bytes(m.raw.end() - 8, m.raw.end()), confirm);
    EXPECT_EQ(m.sim->GetStatus().inquiries, 1u);
    EXPECT_FALSE(m.sim->GetStatus().inquiryRunning);
}

TEST(BtModuleSimulator, Opcode26EndsTheInquiryEarly) {
    CBtModuleSimulator::Options options;
    options.inquiryTime = milliseconds(600);
    Module m(options, {{ReaderAddress, 0x000500, "", nullptr},
                       {{1, 2, 3, 4, 5, 6}, 0x000500, "", nullptr},
                       {{1, 2, 3, 4, 5, 7}, 0x000500, "", nullptr}});
    m.Send(InquiryRequest);
    m.Expect(0x0169);
    m.Send(StopRequest);
    EXPECT_EQ(m.Expect(0x2569).payload, Bytes{0x00});
    m.Expect(0x0043); // the confirm still comes, no device after the stop
    // Outside an inquiry 0x26 is answered all the same.
    m.Send(StopRequest);
    m.Expect(0x2569);
}

TEST(BtModuleSimulator, RemoteNamesWithTheLongNameFault) {
    {
        Module m;
        m.Send(NameRequest(ReaderAddress));
        const Packet p = m.Expect(0x0243);
        const std::string name = "KV-PLM41 BT";
        EXPECT_EQ(p.payload, Cat(Hex("00 00 11 22 33 44 55 0B"), Bytes(name.begin(), name.end())));
        m.Send(NameRequest(HeadsetAddress)); // unknown: a non-zero status, no name
        const Packet unknown = m.Expect(0x0243);
        ASSERT_EQ(unknown.payload.size(), 8u);
        EXPECT_NE(unknown.payload[0], 0);
    }
    CBtModuleSimulator::Options options;
    options.longName = true;
    Module m(options);
    m.Send(NameRequest(ReaderAddress));
    const Packet p = m.Expect(0x0243);
    ASSERT_EQ(p.payload.size(), 8u + 40u);
    EXPECT_EQ(p.payload[7], 40);
    EXPECT_EQ(std::string(p.payload.begin() + 8, p.payload.begin() + 19), "KV-PLM41 BT");
}

TEST(BtModuleSimulator, LinkCarriesFramesBothWaysAndReleases) {
    auto reader = std::make_shared<CSimReader>();
    Module m({}, {{ReaderAddress, 0x000500, "", reader}});
    m.Send(DataRequest(Identify)); // no link yet: nothing reaches the reader
    m.Link();
    EXPECT_EQ(m.Exchange(Identify), Identity);
    ASSERT_EQ(reader->Requests().size(), 1u);
    EXPECT_EQ(reader->Requests()[0].raw, Identify);
    // An answer longer than one data indication arrives in several.
    reader->SetBlock(CSimReader::Block::Prefix, Bytes(200, 0x41));
    const Bytes block = m.Exchange(Frame::Build(Frame::Bcc, 0x01, 0x8A));
    EXPECT_EQ(block, Frame::Build(Frame::Bcc, 0x01, 0x00, Bytes(200, 0x41)));

    m.Send(ReleaseRequest);
    EXPECT_EQ(m.Expect(0x5169).payload, Hex("02 00"));
    CBtModuleSimulator::Status status = m.sim->GetStatus();
    EXPECT_FALSE(status.linked);
    EXPECT_EQ(status.links, 1u);
    EXPECT_EQ(status.releases, 1u);
    EXPECT_EQ(status.framesCarried, 2u);
    EXPECT_EQ(status.dataDropped, 1u);
    EXPECT_EQ(reader->Requests().size(), 2u);
}

TEST(BtModuleSimulator, LinkLostAfterNFramesThenRelinks) {
    CBtModuleSimulator::Options options;
    options.loseAfter = 2;
    Module m(options);
    m.Link();
    EXPECT_EQ(m.Exchange(Identify), Identity);
    EXPECT_EQ(m.Exchange(Identify), Identity); // the second frame is answered, then the link drops
    EXPECT_EQ(m.Expect(0x0E69).payload, Hex("02 08"));
    EXPECT_FALSE(m.sim->GetStatus().linked);
    m.Link(); // the same device again, without an inquiry; the fault fires once
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m.Exchange(Identify), Identity);
    EXPECT_EQ(m.sim->GetStatus().lost, 1u);

    // And on demand from the console.
    EXPECT_EQ(m.sim->Command({"bt", "lose"}), "ok\n");
    EXPECT_EQ(m.Expect(0x0E69).payload, Hex("02 08"));
    EXPECT_EQ(m.sim->Command({"bt", "lose"}), "error: no link is up\n");
}

TEST(BtModuleSimulator, RefusedLinkHasNoIndication) {
    CBtModuleSimulator::Options options;
    options.refuse = true;
    Module m(options);
    m.Send(LinkRequest(ReaderAddress));
    EXPECT_EQ(m.Expect(0x0A43).payload, Hex("01 02"));
    EXPECT_FALSE(m.Next(milliseconds(150))) << "no link indication after a refusal";
    m.Send(LinkRequest(HeadsetAddress)); // a device the module does not know
    EXPECT_EQ(m.Expect(0x0A43).payload, Hex("04 02"));
    EXPECT_EQ(m.sim->Command({"bt", "refuse", "off"}), "ok\n");
    m.Link();
    EXPECT_EQ(m.sim->GetStatus().refused, 2u);
}

TEST(BtModuleSimulator, JunkAndSplitPacketsStillCarryEverything) {
    CBtModuleSimulator::Options options;
    options.junk = true;
    options.split = true;
    options.longName = true;
    Module m(options);
    const auto start = Clock::now();
    m.Send(NameRequest(ReaderAddress));
    EXPECT_EQ(m.Expect(0x0243).payload.size(), 48u);
    // 60 bytes with the junk: 20 pieces of 3, written at least 2 ms apart.
    EXPECT_GE(Clock::now() - start, milliseconds(2 * 19));
    ASSERT_GE(m.raw.size(), 6u);
    EXPECT_EQ(Bytes(m.raw.begin(), m.raw.begin() + 5), CBtModuleSimulator::JunkBytes());
    m.Link();
    EXPECT_EQ(m.Exchange(Identify), Identity);
    EXPECT_EQ(m.in.Dropped(), 5u * 4u); // junk in front of each of the four packets
}

TEST(BtModuleSimulator, JunkFromTheHostIsSkipped) {
    Module m;
    m.Send(Cat(Hex("00 FF 03 55"), StopRequest));
    m.Expect(0x2569);
    EXPECT_EQ(m.sim->GetStatus().noiseBytes, 4u);
}

TEST(BtModuleSimulator, SilentModuleAnswersNothingUntilSwitchedBack) {
    CBtModuleSimulator::Options options;
    options.silent = true;
    Module m(options);
    m.Send(StopRequest);
    m.Send(InquiryRequest);
    EXPECT_FALSE(m.Next(milliseconds(300)));
    EXPECT_EQ(m.sim->GetStatus().lastRequests.size(), 2u); // heard, though
    EXPECT_EQ(m.sim->Command({"bt", "silent", "off"}), "ok\n");
    m.Send(StopRequest);
    m.Expect(0x2569);
}

TEST(BtModuleSimulator, ConsoleShowsTheState) {
    Module m;
    m.Link();
    const std::string state = m.sim->Command({"bt"});
    EXPECT_NE(state.find("links 1"), std::string::npos) << state;
    EXPECT_NE(state.find("link: up to 00:11:22:33:44:55"), std::string::npos) << state;
    EXPECT_NE(state.find("remote 00:11:22:33:44:55 class 000500 \"KV-PLM41 BT\""), std::string::npos)
        << state;
    EXPECT_NE(state.find("request 0A52 02 00 11 22 33 44 55 02"), std::string::npos) << state;
    EXPECT_EQ(m.sim->Command({"bt", "refuse"}).rfind("error: ", 0), 0u);
}

TEST(BtModuleSimulator, AddressesParse) {
    EXPECT_EQ(CBtModuleSimulator::ParseAddress("001122334455"), ReaderAddress);
    EXPECT_EQ(CBtModuleSimulator::ParseAddress("00:11:22:33:44:55"), ReaderAddress);
    EXPECT_FALSE(CBtModuleSimulator::ParseAddress("0011223344"));
    EXPECT_FALSE(CBtModuleSimulator::ParseAddress("00112233445G"));
    EXPECT_FALSE(CBtModuleSimulator::ParseAddress("0011:22334455"));
}

TEST(ReaderSimBtProgram, RunsAModuleWithRemotesAndFaultsFromTheCommandLine) {
    Program sim({"--bt-module", "--quiet", "--bt-inquiry-ms", "100", "--bt-remote", "0A0B0C0D0E0F,1F00,Phone",
                 "--bt-remote", "001122334455,,,0x312", "--bt-devices", "2", "--bt-long-name"});
    const std::string line = sim.ReadLine();
    ASSERT_EQ(line.rfind("kvplm-readersim: Bluetooth adapter module with 4 remote devices", 0), 0u) << line;
    const std::string path = line.substr(line.rfind(' ') + 1);
    HostPort port(path, B9600);
    BtModulePacket::Assembler in;
    auto next = [&]() -> std::optional<Packet> {
        for (int i = 0; i < 300; ++i) {
            if (auto p = in.Next()) return p;
            in.Add(port.Read(1, milliseconds(3000)));
        }
        return std::nullopt;
    };
    port.Write(InquiryRequest);
    std::vector<Bytes> found;
    std::optional<Packet> p;
    while ((p = next()) && p->Code() == 0x0169)
        found.push_back(Bytes(p->payload.begin(), p->payload.begin() + 9));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Code(), 0x0043);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0], Hex("0A 0B 0C 0D 0E 0F 00 1F 00"));
    EXPECT_EQ(found[1], Hex("00 11 22 33 44 55 00 05 00"));
    EXPECT_EQ(Bytes(found[2].begin() + 6, found[2].end()), Hex("00 05 00"));
    EXPECT_NE(found[2], found[3]);

    port.Write(NameRequest(ReaderAddress));
    p = next();
    ASSERT_TRUE(p);
    ASSERT_EQ(p->payload.size(), 48u);
    EXPECT_EQ(std::string(p->payload.begin() + 8, p->payload.begin() + 19), "KV-PLM72 BT");

    sim.Send("bt refuse on");
    EXPECT_EQ(sim.ReadLine(), "ok");
    port.Write(LinkRequest(ReaderAddress));
    p = next();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->payload, Hex("01 02"));
    sim.Send("bt");
    EXPECT_EQ(sim.ReadLine().rfind("inquiries 1, links 0, refused 1", 0), 0u);
}

TEST(ReaderSimBtProgram, RefusesBluetoothOptionsWithoutTheModuleAndBadRemotes) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bt-refuse"},
                                                 {"--bt-module", "--bt-remote", "0011"},
                                                 {"--bt-module", "--bt-remote", "001122334455,XYZ"},
                                                 {"--bt-module", "--bt-lose-after", "0"},
                                                 {"--bt-module", "--lan", "127.0.0.2"}}) {
        Program sim(args, true);
        EXPECT_EQ(sim.Wait(), 2 << 8) << args.back();
    }
}
