// Cost of the record-set path against the raw client, in one run.
//
// Copies D documents of L lines (a header of 20 columns, a line of 18) four
// ways, each into a fresh database:
//   copy       - what the document copy does: a lookup SELECT and a detail
//                SELECT per document (literal texts, so prepared each time),
//                append/set/post and one apply (one transaction) per row;
//   apply      - the record set's own cost: the same rows through
//                append/set/post/apply per row, the sets opened once;
//   floor-1    - the raw Firebird client: one cached prepared INSERT per row,
//                one commit per row (the floor of the per-row commits);
//   floor-2    - the raw client, every row in one transaction (the physical floor).
// Runs once with forced writes off and once with them on, and prints rows/s
// and the ratios. Usage: db_bench [documents] [lines]
//
// Only this program, which measures the client itself, talks to the Firebird
// API outside the database layer.

#include <firebird/Interface.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "demo/script.h"
#include "engine/db/connection.h"
#include "engine/db/query.h"
#include "engine/db/recordset.h"

using namespace replica;
using Clock = std::chrono::steady_clock;

namespace {

const char* kSchema =
    "CREATE TABLE H (ID INTEGER NOT NULL PRIMARY KEY, PREF_PRE VARCHAR(4), NUMERO VARCHAR(8), "
    "FECHA DATE, HORA TIME, TERC_NIT VARCHAR(20), BODE_COD INTEGER, CONCEPTO VARCHAR(60), "
    "SUBTOTAL NUMERIC(15,2), DESCUENTO NUMERIC(15,2), IVA NUMERIC(15,2), RETENCION NUMERIC(15,2), "
    "FLETE NUMERIC(15,2), TOTAL NUMERIC(15,2), TASA NUMERIC(15,4), OBSERVA VARCHAR(200), "
    "ANULADO CHAR(1), NUMOK CHAR(1), USUARIO VARCHAR(20), SUCU_ID INTEGER);"
    "CREATE TABLE L (H_ID INTEGER NOT NULL, LINEA INTEGER NOT NULL, ARTI_COD VARCHAR(20), "
    "BODE_COD INTEGER, CANTIDAD NUMERIC(15,4), COSTO NUMERIC(15,4), PRECIO NUMERIC(15,2), "
    "DESCUENTO NUMERIC(15,2), IVA NUMERIC(15,2), TOTAL NUMERIC(15,2), LOTE VARCHAR(20), "
    "SERIE VARCHAR(20), UNIDAD VARCHAR(6), FACTOR NUMERIC(15,4), OBSERVA VARCHAR(100), "
    "VENCE DATE, ESTADO CHAR(1), DEVUELTO NUMERIC(15,4), PRIMARY KEY (H_ID, LINEA));"
    "CREATE UNIQUE INDEX H_PREF_NUMERO ON H (PREF_PRE, NUMERO);";

using Row = std::vector<db::Value>;

Row header(int id) {
    using db::Decimal;
    return {id,
            "FV",
            std::to_string(100000 + id),
            db::Date{2026, 12, 1 + id % 28},
            db::Time{10, id % 60, 0, 0},
            "900123456-" + std::to_string(id % 10),
            1 + id % 3,
            "Documento de prueba número " + std::to_string(id),
            Decimal{123456 + id, -2},
            Decimal{1000, -2},
            Decimal{23456, -2},
            Decimal{0, -2},
            Decimal{500, -2},
            Decimal{146912 + id, -2},
            Decimal{12345, -4},
            "Observación con acentos: ñandú, café",
            "N",
            "S",
            "ADMIN",
            1};
}

Row line(int id, int n) {
    using db::Decimal;
    return {id,
            n,
            "ART-" + std::to_string(n * 7 % 100),
            1,
            Decimal{20000 + n, -4},
            Decimal{155550, -4},
            Decimal{250000, -2},
            Decimal{0, -2},
            Decimal{47500, -2},
            Decimal{297500, -2},
            "LOTE-1",
            db::Value(),
            "UND",
            Decimal{10000, -4},
            "línea",
            db::Date{2027, 6, 30},
            "A",
            Decimal{0, -4}};
}

std::unique_ptr<db::Connection> freshDb(const std::string& path, bool forcedWrites) {
    std::remove(path.c_str());
    auto c = std::make_unique<db::Connection>();
    c->setPath(path);
    c->setUserName("SYSDBA");
    c->setPassword("masterkey");
    c->create(forcedWrites);
    demo::runScript(*c, kSchema);
    return c;
}

// --- the record-set path -------------------------------------------------

void viaRecordSet(db::Connection& c, int docs, int lines, bool lookups) {
    db::RecordSet head(c);
    db::RecordSet detail(c);
    auto fail = [](const db::Error& e) {
        std::fprintf(stderr, "apply failed: %s\n", e.message().c_str());
        std::exit(1);
    };
    if (!lookups) {
        head.open("SELECT * FROM H WHERE ID = 0");
        detail.open("SELECT * FROM L WHERE H_ID = 0");
    }
    for (int d = 1; d <= docs; ++d) {
        const Row h = header(d);
        if (lookups) {
            head.open("SELECT * FROM H WHERE PREF_PRE = 'FV' AND NUMERO = '" + h[2].asText() + "'");
        }
        head.append();
        for (int i = 0; i < head.columnCount(); ++i) {
            head.set(i, h[static_cast<std::size_t>(i)]);
        }
        head.post();
        head.apply(0, fail);
        if (lookups) {
            detail.open("SELECT * FROM L WHERE H_ID = " + std::to_string(d));
        }
        for (int n = 1; n <= lines; ++n) {
            const Row l = line(d, n);
            detail.append();
            for (int i = 0; i < detail.columnCount(); ++i) {
                detail.set(i, l[static_cast<std::size_t>(i)]);
            }
            detail.post();
            detail.apply(0, fail);
        }
    }
}

// --- the raw client floors -----------------------------------------------

struct Raw {
    Firebird::IMaster* master = Firebird::fb_get_master_interface();
    Firebird::ThrowStatusWrapper st{master->getStatus()};
    Firebird::IAttachment* att = nullptr;
    Firebird::IStatement* insH = nullptr;
    Firebird::IStatement* insL = nullptr;
    Firebird::IMessageMetadata* inH = nullptr;
    Firebird::IMessageMetadata* inL = nullptr;

    explicit Raw(const std::string& path) {
        Firebird::IXpbBuilder* dpb =
            master->getUtilInterface()->getXpbBuilder(&st, Firebird::IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&st, isc_dpb_user_name, "SYSDBA");
        dpb->insertString(&st, isc_dpb_lc_ctype, "UTF8");
        Firebird::IProvider* prov = master->getDispatcher();
        att =
            prov->attachDatabase(&st, path.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st));
        dpb->dispose();
        prov->release();
        Firebird::ITransaction* tra = att->startTransaction(&st, 0, nullptr);
        insH = att->prepare(&st, tra, 0,
                            "INSERT INTO H VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", 3,
                            Firebird::IStatement::PREPARE_PREFETCH_METADATA);
        insL =
            att->prepare(&st, tra, 0, "INSERT INTO L VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                         3, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
        tra->commit(&st);
        inH = insH->getInputMetadata(&st);
        inL = insL->getInputMetadata(&st);
    }
    ~Raw() {
        inH->release();
        inL->release();
        insH->free(&st);
        insL->free(&st);
        att->detach(&st);
        st.dispose();
    }

    // Lays the row out in the statement's own message format.
    std::vector<unsigned char> message(Firebird::IMessageMetadata* meta, const Row& row) {
        std::vector<unsigned char> buf(meta->getMessageLength(&st));
        Firebird::IUtil* util = master->getUtilInterface();
        for (unsigned i = 0; i < row.size(); ++i) {
            unsigned char* at = buf.data() + meta->getOffset(&st, i);
            short isNull = row[i].isNull() ? -1 : 0;
            std::memcpy(buf.data() + meta->getNullOffset(&st, i), &isNull, sizeof isNull);
            if (isNull) {
                continue;
            }
            const unsigned len = meta->getLength(&st, i);
            switch (meta->getType(&st, i) & ~1u) {
                case SQL_LONG: {
                    int v = static_cast<int>(row[i].asInt());
                    std::memcpy(at, &v, 4);
                    break;
                }
                case SQL_INT64: {
                    const db::Decimal* d = row[i].decimal();
                    std::int64_t v = d ? d->mantissa : row[i].asInt();
                    std::memcpy(at, &v, 8);
                    break;
                }
                case SQL_VARYING: {
                    std::string s = row[i].asText();
                    unsigned short n = static_cast<unsigned short>(s.size());
                    std::memcpy(at, &n, 2);
                    std::memcpy(at + 2, s.data(), s.size());
                    break;
                }
                case SQL_TEXT: {
                    std::string s = row[i].asText();
                    s.resize(len, ' ');
                    std::memcpy(at, s.data(), len);
                    break;
                }
                case SQL_TYPE_DATE: {
                    const db::Date& d = *row[i].date();
                    ISC_DATE v = util->encodeDate(static_cast<unsigned>(d.year),
                                                  static_cast<unsigned>(d.month),
                                                  static_cast<unsigned>(d.day));
                    std::memcpy(at, &v, 4);
                    break;
                }
                case SQL_TYPE_TIME: {
                    const db::Time& t = *row[i].time();
                    ISC_TIME v = util->encodeTime(static_cast<unsigned>(t.hour),
                                                  static_cast<unsigned>(t.minute),
                                                  static_cast<unsigned>(t.second), 0);
                    std::memcpy(at, &v, 4);
                    break;
                }
                default:
                    std::fprintf(stderr, "unexpected parameter type\n");
                    std::exit(1);
            }
        }
        return buf;
    }

    void insert(Firebird::ITransaction* tra, bool isHeader, const Row& row) {
        auto meta = isHeader ? inH : inL;
        auto buf = message(meta, row);
        (isHeader ? insH : insL)->execute(&st, tra, meta, buf.data(), nullptr, nullptr);
    }
};

const unsigned char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                              isc_tpb_rec_version, isc_tpb_wait};

void floorPerRowCommit(const std::string& path, int docs, int lines) {
    Raw raw(path);
    auto one = [&](bool isHeader, const Row& row) {
        Firebird::ITransaction* tra = raw.att->startTransaction(&raw.st, sizeof kTpb, kTpb);
        raw.insert(tra, isHeader, row);
        tra->commit(&raw.st);
    };
    for (int d = 1; d <= docs; ++d) {
        one(true, header(d));
        for (int n = 1; n <= lines; ++n) {
            one(false, line(d, n));
        }
    }
}

void floorOneTransaction(const std::string& path, int docs, int lines) {
    Raw raw(path);
    Firebird::ITransaction* tra = raw.att->startTransaction(&raw.st, sizeof kTpb, kTpb);
    for (int d = 1; d <= docs; ++d) {
        raw.insert(tra, true, header(d));
        for (int n = 1; n <= lines; ++n) {
            raw.insert(tra, false, line(d, n));
        }
    }
    tra->commit(&raw.st);
}

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

void check(db::Connection& c, int rows) {
    db::Query q(c);
    q.open("select (select count(*) from h) + (select count(*) from l) from rdb$database");
    if (q.asInt(0) != rows) {
        std::fprintf(stderr, "expected %d rows, found %lld\n", rows,
                     static_cast<long long>(q.asInt(0)));
        std::exit(1);
    }
}

}  // namespace

int run(int argc, char** argv);

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Firebird::FbException& e) {
        char buf[1024];
        Firebird::fb_get_master_interface()->getUtilInterface()->formatStatus(buf, sizeof buf,
                                                                              e.getStatus());
        std::fprintf(stderr, "firebird: %s\n", buf);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
    }
    return 1;
}

int run(int argc, char** argv) {
    const int docs = argc > 1 ? std::atoi(argv[1]) : 200;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 10;
    const int rows = docs * (lines + 1);
    char dirTemplate[] = "/tmp/replica-bench-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    std::printf("%d documents x %d lines = %d rows per method\n", docs, lines, rows);
    for (bool forced : {false, true}) {
        const char* names[] = {"copy", "apply", "floor1", "floor2"};
        double rate[4];
        for (int m = 0; m < 4; ++m) {
            const std::string path = dir + "/" + names[m] + ".fdb";
            auto conn = freshDb(path, forced);
            if (m >= 2) {
                conn->close();
            }
            const auto t0 = Clock::now();
            if (m < 2) {
                viaRecordSet(*conn, docs, lines, m == 0);
            } else if (m == 2) {
                floorPerRowCommit(path, docs, lines);
            } else {
                floorOneTransaction(path, docs, lines);
            }
            const auto t1 = Clock::now();
            rate[m] = rows / seconds(t0, t1);
            conn->open();
            check(*conn, rows);
            conn->close();
            std::remove(path.c_str());
        }
        std::printf("forced writes %s:\n", forced ? "on" : "off");
        std::printf("  copy   (lookups + apply per row) %8.0f rows/s  %.2fx floor-1 time\n",
                    rate[0], rate[2] / rate[0]);
        std::printf("  apply  (apply per row)           %8.0f rows/s  %.2fx floor-1 time\n",
                    rate[1], rate[2] / rate[1]);
        std::printf("  floor-1 (commit per row)         %8.0f rows/s\n", rate[2]);
        std::printf("  floor-2 (one transaction)        %8.0f rows/s  (copy is %.1fx its time)\n",
                    rate[3], rate[3] / rate[0]);
        std::printf("  documents/s through the copy: %.0f\n", rate[0] / (lines + 1));
    }
    std::remove(dir.c_str());
    return 0;
}
