// Cost of one download run against the per-row-commit floor, in one run.
//
// Builds a demo installation (forced writes off), writes N inventory entries
// of L lines into the server company 002 with plain INSERTs and one
// REPLICA_EVENTOS row each, addressed to company 001, and then on the local
// company 001:
//   floor - the same header and line rows inserted through the record set
//           one row per apply: one cached prepared INSERT and one commit per
//           row, nothing else (no lookup, no generator, no event marking);
//   run   - one download run of the run driver with every family's handler:
//           event selection, the header/detail copy of every entry, the
//           completion UPDATE and the log lines.
// The floor goes first and its rows are deleted (and collected) before the
// run, so any cost of the deleted versions falls on the run, not the floor.
// Prints documents/s, rows/s and the ratio run/floor.
// Usage: replication_bench [documents] [lines] [fw]   ("fw": forced writes on)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "demo/installation.h"
#include "engine/console_operator.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/logs.h"
#include "engine/rundriver.h"
#include "engine/sql.h"
#include "families/all.h"

using namespace replica;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::unique_ptr<db::Connection> open(const std::string& path) {
    auto c = std::make_unique<db::Connection>();
    c->setPath(path);
    c->setUserName("SYSDBA");
    c->setPassword("masterkey");
    c->open();
    return c;
}

std::int64_t scalar(db::Connection& c, const std::string& sql) {
    db::Query q(c);
    q.open(sql);
    return q.asInt(0);
}

void writeEntries(db::Connection& server, int documents, int lines) {
    server.execute("delete from REPLICA_EVENTOS");
    const std::string today = Q(sqlDate(replica::today()));
    for (int d = 1; d <= documents; ++d) {
        const std::string id = sqlInt(d);
        const std::string number = Q(std::to_string(10000000 + d));
        server.execute(
            "INSERT INTO ENTRADAS (ENTR_ID, TIDO_COD, PREF_PRE, ENTR_NUMERO, ENTR_FECHA, BODE_COD, "
            "TERC_NIT, ENTR_NOMTERC, ENTR_CONC, ENTR_IMPTOS, ENTR_SUBTOTAL, ENTR_IVA, ENTR_TOTAL, "
            "ENTR_TASACAMBIO, SUCU_ID, ENTR_ANULADO, ENTR_TRANSMIT, ENTR_OBS, ENTR_USUARIO, "
            "ENTR_FECREG, ENTR_HORAREG, NUMOK) VALUES (" +
            id + ", 11, 'EN', " + number + ", " + today +
            ", '01', '900123456', 'Proveedor de prueba', 'Entrada de mercancía número " + id +
            "', 'S', 1234.56, 234.57, 1469.13, 1.000000, 1, 'N', 'N', 'Observación: café', "
            "'ADMIN', " +
            today + ", '10:00:00', 'S')");
        for (int l = 1; l <= lines; ++l) {
            server.execute(
                "INSERT INTO ENTRADAS_DETALLE (ENTR_ID, ENDE_ITEM, ARTI_COD, BODE_COD, ENDE_CANT, "
                "ENDE_UNIDAD, ENDE_LOTE, ENDE_FACTOR, ENDE_DESC, ENDE_OBS, ENDE_IVAPORC, "
                "ENDE_IVAMONTO, ENDE_CONSUMO, ENDE_CODBAR, ENDE_ANULADO, ENDE_COSTO, ENDE_TOTAL, "
                "ENDE_DTOPORC, ENDE_DTOMONTO, ENDE_VENCELOTE, ENDE_COSTOPROM) VALUES (" +
                id + ", " + sqlInt(l) + ", 'ART" + std::to_string(l) +
                "', '01', 3, 'UND', 'L1', 1, 'Artículo de prueba', NULL, 19, 5.7, 0, "
                "'7701234567890', 'N', 10.1234, 30.37, 0, 0, NULL, 10.123456)");
        }
        server.execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, RPEV_PREF, "
            "RPEV_NUMERO, RPEV_OPER, RPEV_PREFDEST, RPEV_FECREG, RPEV_HORAREG) VALUES ('001', "
            "11, " +
            id + ", 'EN', " + number + ", 'I', 'EN', " + today + ", '10:00:00')");
    }
}

// Inserts every row of `select` on `from` into `table` of `to`, one apply
// (one INSERT, one commit) per row. Returns the seconds spent writing: the
// record set is opened afresh for every row, outside the timing, so that
// neither its reads nor the rows it already holds are counted.
double perRowCommit(db::Connection& from, db::Connection& to, const std::string& select,
                    const std::string& empty) {
    db::Query rows(from);
    rows.open(select);
    db::RecordSet out(to);
    Clock::duration spent{};
    for (rows.first(); !rows.eof(); rows.next()) {
        out.open(empty);
        const auto start = Clock::now();
        out.append();
        for (int i = 0; i < out.columnCount(); ++i) {
            out.set(i, rows.value(i));
        }
        out.post();
        if (out.apply(0, [](const db::Error& e) { std::cerr << e.message() << "\n"; }) != 0) {
            throw std::runtime_error("the floor's insert was refused");
        }
        spent += Clock::now() - start;
    }
    return std::chrono::duration<double>(spent).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int documents = argc > 1 ? std::atoi(argv[1]) : 200;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 10;
    const bool forcedWrites = argc > 3 && std::string(argv[3]) == "fw";
    if (documents <= 0 || lines < 0) {
        std::fprintf(stderr, "usage: replication_bench [documents] [lines] [fw]\n");
        return 2;
    }

    std::string dir = (std::filesystem::temp_directory_path() / "replica-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    int status = 0;
    try {
        demo::InstallationOptions options;
        options.companies = {"001", "002"};
        options.downloadSource = "002";
        options.forcedWrites = forcedWrites;
        demo::buildInstallation(dir, options);
        auto server = open(demo::companyPath(dir, "002"));
        auto local = open(demo::companyPath(dir, "001"));
        local->execute("delete from REPLICA_EVENTOS");
        writeEntries(*server, documents, lines);
        const long rowCount = static_cast<long>(documents) * (lines + 1);

        double floor = perRowCommit(*server, *local, "select * from ENTRADAS order by ENTR_ID",
                                    "SELECT * FROM ENTRADAS WHERE ENTR_ID = -1");
        floor += perRowCommit(*server, *local,
                              "select * from ENTRADAS_DETALLE order by ENTR_ID, ENDE_ITEM",
                              "SELECT * FROM ENTRADAS_DETALLE WHERE ENTR_ID = -1");
        local->execute("delete from ENTRADAS_DETALLE");
        local->execute("delete from ENTRADAS");
        scalar(*local, "select count(*) from ENTRADAS_DETALLE");
        scalar(*local, "select count(*) from ENTRADAS");
        server->close();

        std::ostream quiet(nullptr);
        RunInputs inputs;
        inputs.companyCode = "001";
        inputs.downloadCount = std::to_string(documents);
        inputs.uploadCount = "80";
        inputs.frequency = "5";
        ConsoleOperator op(inputs, quiet);
        Logs logs([dir] { return dir; });
        const Catalogue catalogue = families::catalogue();
        RunDriver driver(op, logs, catalogue, *local);
        const auto start = Clock::now();
        const RunReport report = driver.run();
        const double run = secondsSince(start);

        if (!local->isOpen()) {
            local->open();
        }
        const std::int64_t headers = scalar(*local, "select count(*) from ENTRADAS");
        const std::int64_t written = scalar(*local, "select count(*) from ENTRADAS_DETALLE");
        if (!report.finished || report.completed != documents || headers != documents ||
            written != static_cast<std::int64_t>(documents) * lines) {
            std::fprintf(
                stderr,
                "run incomplete: finished %d, completed %d, headers %lld, lines %lld (%s)\n",
                report.finished, report.completed, static_cast<long long>(headers),
                static_cast<long long>(written), op.lastError().c_str());
            status = 1;
        }

        std::printf("replication_bench: %d entries of %d lines (%ld rows), forced writes %s\n",
                    documents, lines, rowCount, forcedWrites ? "on" : "off");
        std::printf("  floor (1 INSERT + 1 commit per row): %8.3f s  %9.1f rows/s  %8.1f docs/s\n",
                    floor, rowCount / floor, documents / floor);
        std::printf("  download run (whole run driver):     %8.3f s  %9.1f rows/s  %8.1f docs/s\n",
                    run, rowCount / run, documents / run);
        std::printf("  ratio run/floor (throughput):        %8.2f\n", floor / run);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "replication_bench: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return status;
}
