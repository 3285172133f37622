// .mkr files as anyone may hand them over: the profile file's reading and
// writing, then "Laden" of the file into the programming dialog's pages,
// the image programming would write (as "kvplm show" builds it) and
// "Speichern" of what was loaded, which has to load back to the same image.
#include "FuzzCheck.h"
#include "FuzzSetupHost.h"

#include "ProfileFile.h"
#include "SeriellEinstellModel.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// A folder of this process for the files loaded and saved: under TMPDIR
// (scripts/fuzz.sh points it at tmpfs, as the save syncs its file), else
// /tmp. Removed when the process ends normally; a crash leaves it to the
// scratch folder of scripts/fuzz.sh.
class ScratchFolder {
public:
    ~ScratchFolder() {
        if (m_path.empty()) return;
        for (const char* name : {"/in.mkr", "/out.mkr"})
            unlink((m_path + name).c_str());
        rmdir(m_path.c_str());
    }
    const std::string& Path() {
        if (m_path.empty()) {
            const char* base = std::getenv("TMPDIR");
            std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvplm-fuzz-mkr.XXXXXX";
            if (!mkdtemp(pattern.data())) std::abort();
            m_path = pattern;
        }
        return m_path;
    }

private:
    std::string m_path;
} scratch;

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += size_t(n);
    }
    close(fd);
}

bool SameImage(const CSeriellEinstellModel::Image& a, const CSeriellEinstellModel::Image& b) {
    return a.param == b.param && a.modeParam == b.modeParam && a.prefix == b.prefix && a.suffix == b.suffix &&
           a.postcode == b.postcode && a.termix == b.termix;
}

std::string Describe(const CSeriellEinstellModel::Image& image) {
    return "param " + Fuzz::Hex(image.param) + "\nmode " + Fuzz::Hex(image.modeParam) + "\nprefix " +
           Fuzz::Hex(image.prefix) + "\nsuffix " + Fuzz::Hex(image.suffix) + "\npostcode " +
           Fuzz::Hex(image.postcode) + "\ntermix " + Fuzz::Hex(image.termix);
}

void CheckSequence(const ConfigImage::Bytes& block) {
    FUZZ_CHECK(!block.empty() && block.back() == 0xFF, Fuzz::Hex(block));
}

void CheckProfileText(const std::string& text) {
    // Reading and writing keep every byte of a file the program did not change.
    CProfileFile file = CProfileFile::FromText(text);
    FUZZ_CHECK(file.Text() == text);

    // A key written reads back as written (without line breaks and outer
    // blanks), and the rest of the file survives the write.
    const std::string value = text.substr(0, 24);
    std::string clean;
    for (char c : value)
        if (c != '\r' && c != '\n') clean += c;
    file.Set("Data", "Darstellung", value);
    FUZZ_CHECK(file.Value("Data", "Darstellung") == CProfileFile::Trim(clean));
    const CProfileFile reread = CProfileFile::FromText(file.Text());
    FUZZ_CHECK(reread.Value("Data", "Darstellung") == CProfileFile::Trim(clean));
    FUZZ_CHECK(reread.Text() == file.Text());
    (void)reread.GetInt("Prefix", "Count", 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckProfileText(std::string(reinterpret_cast<const char*>(data), size));

    const std::string in = scratch.Path() + "/in.mkr";
    const std::string out = scratch.Path() + "/out.mkr";
    WriteFile(in, data, size);
    unlink(out.c_str());

    Fuzz::SetupHost host;
    CSeriellEinstellModel model(0, 19200, ConnectionFlag::Connected);
    if (!model.LoadFile(host, in)) return 0;
    CSeriellEinstellModel::Image image;
    if (model.BuildImage(image)) return 0; // a page refused its values; nothing would be programmed
    FUZZ_CHECK(image.param.size() == ConfigImage::ParamSize &&
               image.modeParam.size() == ConfigImage::ModeParamSize);
    for (const auto* block : {&image.prefix, &image.suffix, &image.postcode, &image.termix})
        CheckSequence(*block);

    // What "Speichern" writes of the loaded pages programs what they programmed.
    host.saveFile = out;
    if (!model.Save(host)) return 0;
    Fuzz::SetupHost again;
    CSeriellEinstellModel reloaded(0, 19200, ConnectionFlag::Connected);
    FUZZ_CHECK(reloaded.LoadFile(again, out));
    CSeriellEinstellModel::Image second;
    FUZZ_CHECK(!reloaded.BuildImage(second), "the saved file no longer builds");
    FUZZ_CHECK(SameImage(image, second),
               "loaded:\n" + Describe(image) + "\nsaved and loaded again:\n" + Describe(second));
    return 0;
}
