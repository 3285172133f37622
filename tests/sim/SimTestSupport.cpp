#include "SimTestSupport.h"

#include <cstdlib>
#include <filesystem>

namespace SimTest {

namespace {

std::string g_dir;

class TempDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/kvplm-simtest-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        g_dir = pattern;
        setenv("KVPLM_SIM_DIR", (g_dir + "/announce").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(g_dir); }
};

[[maybe_unused]] const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new TempDirEnvironment);

} // namespace

const std::string& TempDir() {
    return g_dir;
}

} // namespace SimTest
