#include "common/command_line.h"

#include "common/error.h"
#include "common/version.h"

#include <getopt.h>

namespace tvk9 {

namespace {

// Long options answer with values above any character, so they never mix with short ones.
constexpr int FirstLongValue = 256;

std::string Named(const OptionDef& def) {
    return "--" + std::string(def.longName);
}

} // namespace

ParsedArguments ParseArguments(std::span<const std::string_view> args,
                               std::span<const OptionDef> defs) {
    // getopt_long takes argv as main receives it, program name first, and reorders it.
    std::vector<std::string> storage{"program"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    std::string shortOptions = ":"; // a missing value answers ':', not '?'
    std::vector<option> longOptions;
    for (std::size_t i = 0; i < defs.size(); ++i) {
        const OptionDef& def = defs[i];
        longOptions.push_back({def.longName, def.takesValue ? required_argument : no_argument,
                               nullptr, FirstLongValue + static_cast<int>(i)});
        if (def.shortName != 0) {
            shortOptions += def.shortName;
            shortOptions += def.takesValue ? ":" : "";
        }
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    const auto defOf = [&](int value) -> const OptionDef* {
        if (value >= FirstLongValue) {
            return &defs[static_cast<std::size_t>(value - FirstLongValue)];
        }
        for (const OptionDef& def : defs) {
            if (def.shortName != 0 && def.shortName == value) {
                return &def;
            }
        }
        return nullptr;
    };
    // The argument getopt_long has just stepped over, for messages about long options.
    const auto lastArgument = [&] {
        return std::string(optind > 0 && optind <= argc ? argv[optind - 1] : "");
    };

    ParsedArguments parsed;
    opterr = 0; // the messages are ours
    optind = 0; // 0: start afresh, also after an earlier parse
    for (;;) {
        const int c =
            getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (c == -1) {
            break;
        }
        if (c == ':') {
            const OptionDef* def = defOf(optopt);
            throw Exception((def != nullptr ? Named(*def) : lastArgument()) + " needs a value");
        }
        if (c == '?') {
            if (const OptionDef* def = optopt >= FirstLongValue ? defOf(optopt) : nullptr) {
                throw Exception(Named(*def) + " takes no value");
            }
            const std::string given = optopt > 0
                                          ? std::string{'-', static_cast<char>(optopt)}
                                          : lastArgument().substr(0, lastArgument().find('='));
            throw Exception("unknown option " + given);
        }
        const OptionDef* def = defOf(c);
        parsed.options.push_back({static_cast<std::size_t>(def - defs.data()),
                                  def->takesValue && optarg != nullptr ? optarg : ""});
    }
    for (int i = optind; i < argc; ++i) {
        parsed.operands.emplace_back(argv[static_cast<std::size_t>(i)]);
    }
    return parsed;
}

std::string VersionLine(std::string_view programName) {
    return std::string(programName) + " " + std::string(Version);
}

} // namespace tvk9
