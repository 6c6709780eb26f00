// How fast verify compares two companies: documents compared per second.
//
// It builds a demo installation (forced writes off), lets the ERP simulator
// write a year's worth of documents of the families verify compares into
// company 002, copies 002's database file as 003's (the copy the agent
// would have made, line for line), changes one line of one document in the
// copy, and times the comparison of the two databases, which reads each
// table once per database. It reports the documents compared, the seconds
// and the documents per second, and checks that the changed document (and
// only it) is found.
//
// Usage: verify_bench [documents] [lines per document]
//        (default: 100000 documents, 3 lines)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "demo/installation.h"
#include "demo/simulator.h"
#include "engine/db/connection.h"
#include "engine/verify.h"
#include "families/all.h"
#include "tests/support/tempdir.h"

using namespace replica;

namespace {}  // namespace

int main(int argc, char** argv) {
    const int documents = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("verify-bench-" + std::to_string(getpid())))
            .string();
    demo::InstallationOptions o;
    o.forcedWrites = false;
    demo::buildInstallation(dir, o);
    const std::vector<ComparedFamily> families = comparedFamilies(families::documentFamilies());
    {
        auto source = test::openDatabase(demo::companyPath(dir, "002"));
        demo::SimulationOptions activity;
        activity.documents = documents;
        activity.masters = 0;
        activity.linesPerDocument = lines;
        activity.writeEvents = false;
        for (const ComparedFamily& f : families) {
            activity.types.push_back(f.type);
        }
        const auto t0 = std::chrono::steady_clock::now();
        const demo::SimulationReport r = demo::simulate(*source, activity);
        std::printf("written: %d documents, %d lines (%.1f s)\n", r.documents, r.lines,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::filesystem::copy_file(demo::companyPath(dir, "002"), demo::companyPath(dir, "003"),
                               std::filesystem::copy_options::overwrite_existing);
    auto source = test::openDatabase(demo::companyPath(dir, "002"));
    auto copy = test::openDatabase(demo::companyPath(dir, "003"));
    copy->execute(
        "update ENSAMBLES_DETALLE set ENSD_CANT = ENSD_CANT + 1 where ENSA_ID = (select "
        "min(ENSA_ID) "
        "from ENSAMBLES)");
    PairReport report{.source = "002", .destination = "003"};
    const auto t0 = std::chrono::steady_clock::now();
    compare(*source, *copy, families, report);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::int64_t compared = 0;
    for (const FamilyTally& t : report.families) {
        compared += t.equal + t.missing + t.extra + t.different;
    }
    std::printf("compared: %lld documents in %.2f s: %.0f documents/s; %zu found different\n",
                static_cast<long long>(compared), seconds, static_cast<double>(compared) / seconds,
                report.discrepancies.size());
    source.reset();
    copy.reset();
    std::filesystem::remove_all(dir);
    db::shutdownClient();
    return report.discrepancies.size() == 1 ? 0 : 1;
}
