// The hidapi library is found through the loader's normal search: run with
// the tests' stand-in first on LD_LIBRARY_PATH (as ctest does), that is the
// library the registry binds when the link library starts.
#include "HidBackend.h"
#include "LinkApi.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>

TEST(HidLoaderSearch, StandInOnTheLibraryPathIsBoundAtStart) {
    ASSERT_TRUE(HidBackend::HidapiBound());
    void* handle = dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    using Add = void (*)(const char*, unsigned short, unsigned short, const wchar_t*);
    auto add = reinterpret_cast<Add>(dlsym(handle, "test_hidapi_add"));
    ASSERT_NE(add, nullptr) << "the system's hidapi was bound, not the stand-in";
    add("sim:1", 0x16C0, 0x2913, L"4405-42");
    add("sim:2", 0x16C0, 0x2913, L"4405-42");
    char buffer[64];
    ASSERT_EQ(LinkListHidPorts(buffer, sizeof buffer), 13);
    EXPECT_EQ(std::string(buffer), "4405-42 HID");
    dlclose(handle);
}
