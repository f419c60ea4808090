// tvk9-cli as a production line meets it: reports that come in pieces, many sensors at once,
// sensors plugged and unplugged in bursts.

#include "tests/tools/cli_program.h"

namespace tvk9 {
namespace {

using namespace std::chrono_literals;

// The sensor sends each report in two halves 30 ms apart, longer than any pause the reads of
// earlier versions waited for: the report is put together, and a write is judged by it.
TEST_F(CliProgram, AReportInTwoPiecesIsPutTogether) {
    devsim::DeviceOptions split = With({0x01, 12, 8, 10, 1, 2, 3});
    split.split = 30ms;
    const auto sensor = Sensor("SPLIT", split);
    const Outcome read = Run({"read", "--json", "-p", Port("SPLIT")});
    EXPECT_EQ(read.status, 0) << read;
    EXPECT_TRUE(read.Says("\"reported\":{\"orientation\":1,\"pitch\":12,\"roll\":8,\"yaw\":10,"
                          "\"scale1\":1,\"scale2\":2,\"scale3\":3}"))
        << read;
    // REV of 12 is 8; AA+02+01+08+08+0A+01+02+03 = 205 = 0xCD.
    const Outcome written = Run({"write", "-p", Port("SPLIT"), "--pitch", "rev", "--json"});
    EXPECT_EQ(written.status, 0) << written;
    EXPECT_TRUE(written.Says("\"frame\":\"AA 02 01 08 08 0A 01 02 03 CD\"")) << written;
    EXPECT_TRUE(written.Says("\"result\":\"Modify Successful!\"")) << written;
}

} // namespace
} // namespace tvk9
