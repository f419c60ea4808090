// tvk9-devsim as its users run it: a separate process, its port found through the port folder.

#include "config/linux_port_list.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/child_process.h"
#include "tests/tools/devsim_client.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace tvk9::devsim {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Patience;
using testing::PortClient;
using testing::ToBytes;

const std::string Program = std::string(TVK9_BIN_DIR) + "/tvk9-devsim";

// The program with TVK9_PORT_DIR set to a folder of its own, made before the program starts.
struct OwnFolder {
    TempDir folder_{"tvk9-devsim-prog"};
};

class DevsimProcess : private OwnFolder, public tvk9::testing::ChildProcess {
public:
    explicit DevsimProcess(std::vector<std::string> args)
        : ChildProcess(Program, std::move(args), {{"TVK9_PORT_DIR", folder_.path().string()}}) {}

    const fs::path& folder() const { return folder_.path(); }
    std::string FirstLine() { return NextLine(Patience); }
};

TEST(DevsimProgram, ServesItsPortUntilTerminatedAndThenRemovesIt) {
    DevsimProcess sim({"--log", "--delay", "5", "--settings", "0x02,9,11,20,1,2,3"});
    const std::string port = sim.FirstLine();
    ASSERT_EQ(fs::path(port), sim.folder() / "TVK9-SIM");
    EXPECT_EQ(ListSerialPorts(sim.folder() / "no-sysfs", sim.folder()),
              std::vector<std::string>{port});
    {
        PortClient client(port);
        EXPECT_EQ(client.Read(3), ToBytes(PresenceSignature));
        client.Write(QueryFrame);
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame({0x02, 9, 11, 20, 1, 2, 3})));
        const DeviceSettings written{0x10, 5, 20, 11, 0x32, 0x3C, 0x46};
        client.Write(BuildSettingsFrame(written));
        EXPECT_EQ(client.Read(10), ToBytes(BuildReportFrame(written)));
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(port)));
    const std::string log = sim.Rest(true);
    EXPECT_NE(log.find(" rx AA 01 00 00 00 00 00 00 00 AB (query)\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" tx BB 03 10 05 14 0B 32 3C 46 "), std::string::npos) << log;
}

TEST(DevsimProgram, EndsOnInterruptAndRefusesBadOptions) {
    {
        DevsimProcess sim({"--name", "SIM-A"});
        const std::string port = sim.FirstLine();
        ASSERT_EQ(fs::path(port), sim.folder() / "SIM-A");
        sim.Signal(SIGINT);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(port)));
    }
    {
        DevsimProcess sim({"--delay", "soon"});
        EXPECT_EQ(sim.Wait(), 2);
        EXPECT_NE(sim.Rest(true).find("--delay"), std::string::npos);
        EXPECT_TRUE(sim.Rest(false).empty()); // no port was made
    }
}

} // namespace
} // namespace tvk9::devsim
