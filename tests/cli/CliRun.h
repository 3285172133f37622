// What the command line tests share: a scratch folder of the test's own, and
// running kvplm with its output and errors caught in files of that folder.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace CliRun {

struct Outcome {
    int exit = -1;
    std::string out, err;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

// A folder under /tmp named after its test, removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) {
        std::string pattern = "/tmp/kvplm-cli-" + name + "-XXXXXX";
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~ScratchFolder() {
        if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // Writes a file into the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = m_path + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

private:
    std::string m_path;
};

// Runs "PREFIX kvplm --timeout MS ARGUMENTS" through the shell with stdin
// from /dev/null, bounded by timeout(1) so that a run that would never end
// fails the test instead of hanging it. prefix: e.g. "env -u DISPLAY".
inline Outcome Kvplm(const std::string& folder, const std::string& arguments, int replyTimeoutMs,
                     const std::string& prefix = "") {
    const std::string out = folder + "/out.txt", err = folder + "/err.txt";
    const std::string command = prefix + " timeout 60 " + std::string(KVPLM_PATH) + " --timeout " +
                                std::to_string(replyTimeoutMs) + " " + arguments + " >" + out + " 2>" + err +
                                " </dev/null";
    Outcome run;
    const int status = std::system(command.c_str());
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadAll(out);
    run.err = ReadAll(err);
    return run;
}

} // namespace CliRun
