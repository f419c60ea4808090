// The port list from the registry: a key of the test's own under HKEY_LOCAL_MACHINE stands in
// for SERIALCOMM, whose values the drivers own; the real key is read in the device run
// (tests/wine/device_test.sh registers its ports there and names them in TVK9_TEST_REGISTERED).

#include "common/error.h"
#include "config/port_list.h"
#include "config/port_list_windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tvk9 {
namespace {

using Names = std::vector<std::string>;

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "Software\\tvk9-test-" + std::to_string(::GetCurrentProcessId());
        if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable here (run as an administrator)";
        }
    }
    void TearDown() override {
        if (key_ != nullptr) {
            ::RegCloseKey(key_);
            ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
        }
    }
    void Set(const std::string& name, DWORD type, const std::string& data) {
        ASSERT_EQ(::RegSetValueExA(key_, name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    std::string path_;
    HKEY key_ = nullptr;
};

TEST_F(RegistryKeyTest, EveryValueGivesItsTextInTheOrderTheRegistryKeepsThem) {
    using namespace std::string_literals;
    // Names in alphabetical order, which is also the order of writing: Windows enumerates in
    // the one, Wine in the other. The data are deliberately out of order.
    Set("\\Device\\Serial0", REG_SZ, "COM5\0"s);
    Set("\\Device\\Serial1", REG_SZ, "COM1\0"s);
    Set("\\Device\\Serial2", REG_EXPAND_SZ, "%PORT%3\0"s); // not expanded
    Set("\\Device\\Serial3", REG_SZ, ""s);
    Set("\\Device\\Serial4", REG_BINARY, ""s); // no data: no type check either
    Set("\\Device\\Serial5", REG_SZ, "COM7\0junk\0"s);
    Set("\\Device\\Serial6", REG_SZ, "COM9"s); // no terminating zero
    Set("\\Device\\Serial7", REG_SZ, "COM1\0"s);

    const Names expected{"COM5", "COM1", "%PORT%3", "", "", "COM7", "COM9", "COM1"};
    EXPECT_EQ(ListPortNamesUnder(path_), expected);
    EXPECT_EQ(ListPortNamesUnder(path_), expected); // read afresh, the same
}

TEST_F(RegistryKeyTest, AValueThatHoldsNoTextStopsTheListNamingIt) {
    Set("\\Device\\Serial0", REG_SZ, std::string("COM1", 5));
    const DWORD number = 3;
    ASSERT_EQ(::RegSetValueExA(key_, "\\Device\\Odd", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    try {
        ListPortNamesUnder(path_);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for '\\Device\\Odd'");
    }
}

TEST(RegistryPortList, AMissingKeyIsAnEmptyListAndIsNotCreated) {
    const std::string path = "Software\\tvk9-no-such-key";
    EXPECT_TRUE(ListPortNamesUnder(path).empty());
    HKEY key = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST(RegistryPortList, TheSystemListEndsWithThePortsTheDeviceRunRegistered) {
    const char* registered = std::getenv("TVK9_TEST_REGISTERED");
    if (registered == nullptr || *registered == '\0')
        GTEST_SKIP() << "TVK9_TEST_REGISTERED names no ports: run by tests/wine/device_test.sh";
    Names expected;
    std::string names = registered;
    for (std::size_t start = 0; start <= names.size();) {
        const std::size_t comma = std::min(names.find(',', start), names.size());
        expected.push_back(names.substr(start, comma - start));
        start = comma + 1;
    }
    const Names ports = ListSerialPorts();
    ASSERT_GE(ports.size(), expected.size());
    EXPECT_EQ(Names(ports.end() - static_cast<std::ptrdiff_t>(expected.size()), ports.end()),
              expected);
    EXPECT_EQ(ListSerialPorts(), ports);
}

} // namespace
} // namespace tvk9
