#pragma once
// Two company databases and everything a handler needs to run one event
// between them: the event is written into the source's REPLICA_EVENTOS (so a
// refused row lands on its RPEV_ERROR, as in a download phase) and the
// handler is called with a fresh per-event state.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/db/query.h"
#include "engine/errorcapture.h"
#include "engine/event.h"
#include "engine/logs.h"
#include "engine/settings.h"
#include "engine/sql.h"
#include "families/all.h"
#include "tests/support/erp.h"
#include "tests/support/recording_operator.h"
#include "tests/support/tempdir.h"

namespace replica::test {

class TwoCompanies : public ::testing::Test {
  protected:
    TempDir dir;
    std::unique_ptr<db::Connection> source = createCompany(dir.file("server.fdb"));
    std::unique_ptr<db::Connection> destination = createCompany(dir.file("local.fdb"));
    RecordingOperator op;
    Logs logs{[this] { return dir.path(); }};
    ErrorCapture errors{op, logs};
    RunOptions options;
    Phase phase = Phase::Download;

    void TearDown() override { db::Connection::setTraceHook({}); }

    // An event as the loop reads it; a null RPEV_IDDOC is std::nullopt.
    static Event event(int type, const std::string& oper, std::optional<std::int64_t> iddoc,
                       const std::string& pref, const std::string& number,
                       const std::string& prefDest = "", const std::string& code = "",
                       const std::string& data = "") {
        Event e;
        e.type = type;
        e.operation = oper;
        e.iddocText = iddoc ? std::to_string(*iddoc) : std::string();
        e.prefix = pref;
        e.number = number;
        e.prefixDest = prefDest;
        e.code = code;
        e.data = data;
        e.company = "002";
        return e;
    }

    // Records e in the source's event table (an RPEV_IDDOC that is no whole
    // number is stored as NULL) and runs h on it as the event loop does.
    EventState run(const Handler& h, Event e) {
        db::Query id(*source);
        id.open("select next value for GEN_REPLICA_EVENTOS from rdb$database");
        e.id = id.asInt(0);
        const std::optional<std::string> iddoc = wholeNumberText(e.iddocText);
        source->execute(
            "INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_IDDOC, "
            "RPEV_PREF, RPEV_NUMERO, RPEV_OPER, RPEV_PREFDEST, RPEV_CODIGO, RPEV_DATOS) VALUES (" +
            sqlInt(e.id) + ", " + Q(e.company) + ", " + sqlInt(e.type) + ", " +
            iddoc.value_or("NULL") + ", " + Q(e.prefix) + ", " + Q(e.number) + ", " +
            Q(e.operation) + ", " + Q(e.prefixDest) + ", " + Q(e.code) + ", " + Q(e.data) + ")");
        m_lastEvent = e.id;
        errors.setCurrent(phase, source.get(), e.id);
        EventState state;
        HandlerContext ctx{phase,
                           e,
                           *source,
                           *destination,
                           options,
                           state,
                           errors,
                           [this](const std::string& module, const std::string& category,
                                  const std::string& property) {
                               return configuracion(module, category, property);
                           }};
        runHandler(h, ctx);
        errors.clearCurrent();
        return state;
    }

    // Runs e through the agent's catalogue, as the dispatch of a run would
    // route it under the test's phase and options; a code without a form
    // that applies stays pending with the catalogue's message.
    EventState dispatch(const Event& e) {
        const Catalogue::Dispatch d = m_catalogue.handlerFor(phase, e.type, options);
        switch (d.route) {
            case Catalogue::Route::Handle:
                return run(*d.handler, e);
            case Catalogue::Route::Unbuilt:
                return run(
                    [](HandlerContext& ctx) {
                        ctx.errors.record(kNoHandlerMessage, kNoHandlerMessage);
                        ctx.state.failed = true;
                    },
                    e);
            case Catalogue::Route::Default:
                break;
        }
        return run([](HandlerContext&) {}, e);
    }

    std::string lastEventError() {
        db::Query q(*source);
        q.open("select RPEV_ERROR from REPLICA_EVENTOS where RPEV_ID = " + sqlInt(m_lastEvent));
        return q.asText(0);
    }

    static std::int64_t count(db::Connection& c, const std::string& sql) {
        db::Query q(c);
        q.open(sql);
        return q.asInt(0);
    }

    static std::vector<std::string> column(db::Connection& c, const std::string& sql) {
        db::Query q(c);
        q.open(sql);
        std::vector<std::string> out;
        for (; !q.eof(); q.next()) {
            out.push_back(q.isNull(0) ? "<null>" : q.asText(0));
        }
        return out;
    }

    // Every value of the rows of sql, as text, by column name.
    static std::vector<std::vector<std::string>> rows(db::Connection& c, const std::string& sql) {
        db::Query q(c);
        q.open(sql);
        std::vector<std::vector<std::string>> out;
        for (; !q.eof(); q.next()) {
            std::vector<std::string> r;
            for (int i = 0; i < q.columnCount(); ++i) {
                r.push_back(q.column(i).name + "=" + (q.isNull(i) ? "<null>" : q.asText(i)));
            }
            out.push_back(r);
        }
        return out;
    }

    // Every SQL text sent to the destination, without the record set's own
    // INSERT/UPDATE/DELETE, the test's own INSERTs and metadata reads.
    void traceDestination(std::vector<std::string>& into) {
        db::Connection* dst = destination.get();
        db::Connection* src = source.get();
        db::Connection::setTraceHook(
            [dst, src, &into](const db::Connection& c, const std::string& sql) {
                if (sql.find("RDB$") != std::string::npos || sql.rfind("INSERT INTO ", 0) == 0 ||
                    sql.rfind("UPDATE \"", 0) == 0 || sql.rfind("DELETE FROM \"", 0) == 0 ||
                    sql.find("REPLICA_EVENTOS") != std::string::npos) {
                    return;
                }
                if (&c == dst) {
                    into.push_back("dst: " + sql);
                } else if (&c == src) {
                    into.push_back("src: " + sql);
                }
            });
    }

    // The settings lookup a handler sees: on the server database of the
    // phase (the source when downloading, the destination when uploading).
    std::string configuracion(const std::string& module, const std::string& category,
                              const std::string& property) {
        return replica::configuracion(phase == Phase::Upload ? *destination : *source, op, module,
                                      category, property);
    }

  private:
    Catalogue m_catalogue = families::catalogue();
    std::int64_t m_lastEvent = 0;
};

}  // namespace replica::test
