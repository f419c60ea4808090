#pragma once

// tvk9-cli run as its users run it, against simulated sensors on pseudo-terminals in a port
// folder of the test's own: the fixture of the program's tests.

#include "config/settings_file.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/child_process.h"
#include "tools/devsim/simulated_device.h"
#include "tools/settings/encode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tvk9 {

using testing::ChildProcess;

inline const std::string Program = std::string(TVK9_BIN_DIR) + "/tvk9-cli";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    bool Says(const std::string& text) const {
        return out.find(text) != std::string::npos || err.find(text) != std::string::npos;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "status " << o.status << "\nout:\n" << o.out << "err:\n" << o.err;
}

class CliProgram : public ::testing::Test {
protected:
    std::unique_ptr<devsim::SimulatedDevice> Sensor(const std::string& name,
                                                    devsim::DeviceOptions options = {}) {
        devsim::RunnerOptions run;
        run.name = name;
        run.device = options;
        run.device.delay = std::chrono::milliseconds(5);
        run.portFolder = folder_.path();
        return std::make_unique<devsim::SimulatedDevice>(run);
    }
    static devsim::DeviceOptions With(DeviceSettings settings) {
        devsim::DeviceOptions options;
        options.settings = settings;
        return options;
    }

    std::map<std::string, std::string> Env() const {
        return {{"TVK9_PORT_DIR", folder_.path().string()}, {"LC_ALL", "C.UTF-8"}};
    }
    Outcome Run(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
        env.merge(Env());
        ChildProcess cli(Program, std::move(args), env);
        Outcome o;
        o.status = cli.Wait();
        o.out = cli.Rest(false);
        o.err = cli.Rest(true);
        return o;
    }
    std::string Port(const std::string& name) const { return (folder_ / name).string(); }
    std::string File(const std::string& name, const SettingsLines& plain) {
        std::ofstream(files_ / name, std::ios::binary) << EncodeSettingsFile(plain);
        return (files_ / name).string();
    }

    TempDir folder_{"tvk9-cli-ports"};
    TempDir files_{"tvk9-cli-files"};
};

} // namespace tvk9
