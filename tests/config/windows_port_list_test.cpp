// The port list from the registry: a key of the test's own under HKEY_LOCAL_MACHINE stands in
// for SERIALCOMM; the real key is read in the device run, which registers COM201 and COM202.

#include "common/error.h"
#include "config/port_list.h"
#include "config/windows_port_list.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <windows.h>

namespace tvk9 {
namespace {

using Names = std::vector<std::string>;
using namespace std::string_literals;

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS)
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable here (run as an administrator)";
    }
    void TearDown() override {
        ::RegCloseKey(key_);
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    // Names sort as they are written: Windows enumerates in the one order, Wine in the other.
    void Add(DWORD type, const std::string& data) {
        const std::string name = "\\Device\\Serial" + std::to_string(count_++);
        ASSERT_EQ(::RegSetValueExA(key_, name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

    const std::string path_ = "Software\\tvk9-test-" + std::to_string(::GetCurrentProcessId());
    HKEY key_ = nullptr;
    int count_ = 0;
};

TEST_F(RegistryKeyTest, EveryValueGivesItsTextCutAtTheFirstZeroInTheRegistrysOrder) {
    Add(REG_SZ, "COM5\0"s);
    Add(REG_SZ, "COM1\0"s);
    Add(REG_EXPAND_SZ, "%PORT%3\0"s); // not expanded
    Add(REG_SZ, ""s);
    Add(REG_BINARY, ""s); // no data: no type to check either
    Add(REG_SZ, "COM7\0junk\0"s);
    Add(REG_SZ, "COM9"s); // no terminating zero
    Add(REG_SZ, "COM1\0"s);
    const Names expected{"COM5", "COM1", "%PORT%3", "", "", "COM7", "COM9", "COM1"};
    EXPECT_EQ(ListPortNamesUnder(path_), expected);

    Add(REG_DWORD, "\3\0\0\0"s);
    try {
        ListPortNamesUnder(path_);
        ADD_FAILURE() << "a number was taken for a port name";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for '\\Device\\Serial8'");
    }
}

TEST(RegistryPortList, AMissingKeyIsAnEmptyListAndStaysMissing) {
    const std::string path = "Software\\tvk9-no-such-key";
    EXPECT_TRUE(ListPortNamesUnder(path).empty());
    HKEY key = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST(RegistryPortList, TheSystemListEndsWithThePortsTheDeviceRunRegistered) {
    if (std::getenv("TVK9_TEST_REGISTERED") == nullptr)
        GTEST_SKIP() << "no TVK9_TEST_REGISTERED: run by tests/wine/device_test.sh";
    const Names ports = ListSerialPorts();
    ASSERT_GE(ports.size(), 2u);
    EXPECT_EQ(Names(ports.end() - 2, ports.end()), (Names{"COM201", "COM202"}));
    EXPECT_EQ(ListSerialPorts(), ports);
}

} // namespace
} // namespace tvk9
