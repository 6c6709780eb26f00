// How fast verify compares two companies: documents compared per second.
//
// It builds a demo installation (forced writes off), lets the ERP simulator
// write a year's worth of documents of the families verify compares into
// company 002, copies 002's database file as 003's (the copy the agent
// would have made, line for line), changes one line of one document in the
// copy, and times the comparison of the two databases, which reads each
// table once per database. It reports the documents compared, the seconds
// and the documents per second, and checks that the changed document (and
// only it) is found. Master records of the families verify compares are
// written and compared as well, with one changed in the copy, and timed
// apart (records per second).
//
// Usage: verify_bench [documents] [lines per document] [master records]
//        (default: 100000 documents, 3 lines, 2000 master records)

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
    const int masters = argc > 3 ? std::atoi(argv[3]) : 2000;
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("verify-bench-" + std::to_string(getpid())))
            .string();
    demo::InstallationOptions o;
    o.forcedWrites = false;
    demo::buildInstallation(dir, o);
    const std::vector<ComparedFamily> families = comparedFamilies(families::documentFamilies());
    const std::vector<ComparedRecord> records = comparedRecords(families::keyedFamilies());
    {
        auto source = test::openDatabase(demo::companyPath(dir, "002"));
        demo::SimulationOptions activity;
        activity.documents = documents;
        activity.masters = masters;
        activity.linesPerDocument = lines;
        activity.writeEvents = false;
        for (const ComparedFamily& f : families) {
            activity.types.push_back(f.type);
        }
        for (const ComparedRecord& r : records) {
            activity.types.push_back(r.type);
        }
        const auto t0 = std::chrono::steady_clock::now();
        const demo::SimulationReport r = demo::simulate(*source, activity);
        std::printf("written: %d documents, %d lines, %d master records (%.1f s)\n", r.documents,
                    r.lines, r.masters,
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
    copy->execute(
        "update MARCAS set MARC_NOMBRE = 'Otra' where MARC_COD = (select min(MARC_COD) "
        "from MARCAS)");
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
    PairReport masterReport{.source = "002", .destination = "003"};
    const auto t1 = std::chrono::steady_clock::now();
    compareRecords(*source, *copy, records, masterReport);
    const double masterSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
    std::int64_t recordsCompared = 0;
    for (const FamilyTally& t : masterReport.families) {
        recordsCompared += t.equal + t.missing + t.extra + t.different;
    }
    std::printf("compared: %lld master records in %.2f s: %.0f records/s; %zu found different\n",
                static_cast<long long>(recordsCompared), masterSeconds,
                static_cast<double>(recordsCompared) / masterSeconds,
                masterReport.discrepancies.size());
    source.reset();
    copy.reset();
    std::filesystem::remove_all(dir);
    db::shutdownClient();
    return report.discrepancies.size() == 1 && masterReport.discrepancies.size() == 1 ? 0 : 1;
}
