// What a USB HID device hands the link: its report descriptor (the report
// length and whether it uses report ids come from it) and its input reports,
// each of any length, polled by CHidDevice with any buffer size.
//
// Input: a length byte and that many bytes of report descriptor, the
// caller's maximum per poll, then input reports, each with its length byte.
#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "HidBackend.h"
#include "HidDevice.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>

namespace {

using Bytes = std::vector<uint8_t>;

// One device whose reads hand up the queued reports as they are.
struct Reports {
    std::mutex mutex;
    std::deque<Bytes> queued;
    int length = 9;
};

class Connection : public HidBackend::IConnection {
public:
    explicit Connection(std::shared_ptr<Reports> reports) : m_reports(std::move(reports)) {}
    int Write(const uint8_t*, size_t length) override { return int(length); }
    int Read(uint8_t* report, size_t length, int) override {
        std::lock_guard<std::mutex> lock(m_reports->mutex);
        if (m_reports->queued.empty()) return 0;
        const Bytes next = std::move(m_reports->queued.front());
        m_reports->queued.pop_front();
        const size_t n = std::min(length, next.size());
        std::copy(next.begin(), next.begin() + long(n), report);
        return int(n);
    }
    int ReportLength() const override { return m_reports->length; }

private:
    std::shared_ptr<Reports> m_reports;
};

class Backend : public HidBackend::IBackend {
public:
    explicit Backend(std::shared_ptr<Reports> reports) : m_reports(std::move(reports)) {}
    bool Available() const override { return true; }
    std::vector<HidBackend::DeviceInfo> Enumerate() override {
        HidBackend::DeviceInfo device;
        device.path = "fuzz";
        device.vendorId = 0x16C0;
        device.productId = 0x2913;
        device.serial = "4400-1";
        return {device};
    }
    std::shared_ptr<HidBackend::IConnection> Open(const std::string&) override {
        return std::make_shared<Connection>(m_reports);
    }

private:
    std::shared_ptr<Reports> m_reports;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fuzz::Input input(data, size);
    const Bytes descriptor = input.Counted();
    const int maximum = input.Byte() % 40;

    // Every prefix parses without reading past it; the whole one twice the same.
    for (size_t n = 0; n <= descriptor.size(); ++n)
        HidBackend::ParseReportDescriptor(descriptor.data(), n);
    const HidBackend::ReportLayout layout =
        HidBackend::ParseReportDescriptor(descriptor.data(), descriptor.size());
    const HidBackend::ReportLayout again =
        HidBackend::ParseReportDescriptor(descriptor.data(), descriptor.size());
    FUZZ_CHECK(layout.valid == again.valid && layout.inputLength == again.inputLength &&
                   layout.usesReportIds == again.usesReportIds,
               Fuzz::Hex(descriptor));
    if (layout.valid) FUZZ_CHECK(layout.inputLength >= 1, Fuzz::Hex(descriptor));

    auto reports = std::make_shared<Reports>();
    reports->length = layout.valid ? layout.inputLength : HidBackend::DefaultReportLength;
    const int length = reports->length;
    HidBackend::SetHidBackendForTesting(std::make_shared<Backend>(reports));
    {
        CHidDevice device;
        const bool served = length >= CHidDevice::MinReportLength && length <= CHidDevice::MaxReportLength;
        FUZZ_CHECK(device.OpenByName("4400-1 HID") == served, std::to_string(length));
        while (served && input.Left()) {
            const Bytes report = input.Counted();
            {
                std::lock_guard<std::mutex> lock(reports->mutex);
                reports->queued.push_back(report);
            }
            uint8_t buffer[40];
            const int n = device.Poll(maximum ? buffer : nullptr, maximum);
            if (int(report.size()) < length || maximum == 0) {
                FUZZ_CHECK(n == 0, Fuzz::Hex(report));
                continue;
            }
            const int expected = std::min({int(report[1]), length - 2, maximum});
            FUZZ_CHECK(n == expected, Fuzz::Hex(report));
            FUZZ_CHECK(std::equal(buffer, buffer + n, report.begin() + 2), Fuzz::Hex(report));
        }
    }
    HidBackend::SetHidBackendForTesting(nullptr);
    return 0;
}
