// The program's command line from any bytes (arguments split at NUL bytes):
// either an error, or a result the run can use as it is: every field value
// within its limits, nothing given to status that only the agent takes, the
// server and the company known to status and --headless. Such a result,
// written back as options and "--" with the six positional values, reads as
// the same result; and the positional password is found where the program
// would overwrite it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/commandline.h"
#include "engine/numbers.h"

namespace {

using replica::app::CommandLine;

auto fields(const CommandLine& cl) {
    return std::tie(cl.command, cl.headless, cl.once, cl.help, cl.version, cl.json, cl.server,
                    cl.user, cl.password, cl.company, cl.skipErrors, cl.serverOverride, cl.ignored,
                    cl.passwordFile, cl.timeout, cl.prefix, cl.downloadCount, cl.uploadCount,
                    cl.frequency, cl.branch, cl.newestFirst, cl.atomicDocuments, cl.error);
}

// The arguments that say what cl says, each value by name where it has one.
std::vector<std::string> written(const CommandLine& cl) {
    std::vector<std::string> args;
    if (cl.command == CommandLine::Command::Status) {
        args.emplace_back("status");
    }
    const std::pair<bool, const char*> flags[] = {
        {cl.headless, "--headless"},
        {cl.once, "--once"},
        {cl.help, "--help"},
        {cl.version, "--version"},
        {cl.json, "--json"},
        {cl.newestFirst, "--newest-first"},
        {cl.atomicDocuments, "--atomic-documents"},
    };
    for (const auto& [set, name] : flags) {
        if (set) {
            args.emplace_back(name);
        }
    }
    if (!cl.passwordFile.empty()) {
        args.push_back("--password-file=" + cl.passwordFile);
    }
    if (cl.timeout) {
        args.emplace_back("--timeout");
        args.push_back(std::to_string(*cl.timeout));
    }
    const std::pair<const std::optional<std::string>*, const char*> values[] = {
        {&cl.prefix, "--prefix="},
        {&cl.downloadCount, "--download-count="},
        {&cl.uploadCount, "--upload-count="},
        {&cl.frequency, "--frequency="},
        {&cl.branch, "--branch="},
    };
    for (const auto& [value, name] : values) {
        if (*value) {
            args.push_back(name + **value);
        }
    }
    args.emplace_back("--");
    for (const std::string* p :
         {&cl.server, &cl.user, &cl.password, &cl.company, &cl.skipErrors, &cl.serverOverride}) {
        args.push_back(*p);
    }
    args.insert(args.end(), cl.ignored.begin(), cl.ignored.end());
    return args;
}

void checkUsable(const CommandLine& cl) {
    const bool status = cl.command == CommandLine::Command::Status;
    if (!cl.help && !cl.version && (status || cl.headless) &&
        (cl.server.empty() || cl.company.empty())) {
        std::abort();
    }
    if (cl.json && !status) {
        std::abort();
    }
    if (status && (cl.headless || cl.once || cl.prefix || cl.downloadCount || cl.uploadCount ||
                   cl.frequency || cl.branch || cl.newestFirst || cl.atomicDocuments)) {
        std::abort();
    }
    if (cl.timeout && (*cl.timeout < 1 || *cl.timeout > replica::app::kMaxTimeoutSeconds)) {
        std::abort();
    }
    if ((cl.downloadCount &&
         replica::countProblem(replica::CountField::Download, *cl.downloadCount)) ||
        (cl.uploadCount && replica::countProblem(replica::CountField::Upload, *cl.uploadCount)) ||
        (cl.frequency &&
         !replica::digitsIn(*cl.frequency, 0, replica::app::kMaxFrequencyMinutes))) {
        std::abort();
    }
    if (!cl.password.empty() && !cl.passwordFile.empty()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    if (size > 0) {
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        std::size_t from = 0;
        for (std::size_t nul = bytes.find('\0'); nul != std::string::npos;
             nul = bytes.find('\0', from)) {
            args.push_back(bytes.substr(from, nul - from));
            from = nul + 1;
        }
        args.push_back(bytes.substr(from));
    }
    const CommandLine cl = replica::app::parseCommandLine(args);
    if ((cl.command == CommandLine::Command::Status) != (!args.empty() && args[0] == "status")) {
        std::abort();
    }
    const int index = replica::app::positionalPasswordIndex(args);
    if (index < -1 || index >= static_cast<int>(args.size()) ||
        (index == -1 ? !cl.password.empty()
                     : args[static_cast<std::size_t>(index)] != cl.password)) {
        std::abort();
    }
    if (!cl.error.empty()) {
        return 0;
    }
    checkUsable(cl);

    const std::vector<std::string> again = written(cl);
    if (fields(replica::app::parseCommandLine(again)) != fields(cl)) {
        std::abort();
    }
    // "--", then server and user: the password right after them.
    const auto dashes = static_cast<int>(again.size() - 7 - cl.ignored.size());
    if (replica::app::positionalPasswordIndex(again) != dashes + 3) {
        std::abort();
    }
    return 0;
}
