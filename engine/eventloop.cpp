#include "engine/eventloop.h"

#include "engine/errorcapture.h"
#include "engine/logs.h"
#include "engine/operator.h"
#include "engine/sql.h"

namespace replica {

namespace {

std::string orderAndFilter(bool skipErrors, bool newestFirst) {
    std::string sql;
    if (skipErrors) {
        sql += " AND RPEV_ERROR IS NULL";
    }
    sql += newestFirst ? " order by rpev_fecreg desc, rpev_horareg desc"
                       : " order by rpev_fecreg, rpev_horareg";
    return sql;
}

}  // namespace

std::string downloadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                              bool newestFirst) {
    return "select first " + count +
           " * from replica_eventos where rpev_fecrep is null and rpev_compania = " + Q(company) +
           orderAndFilter(skipErrors, newestFirst);
}

std::string uploadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                            bool newestFirst) {
    // The two forms differ only in the letter case of one AND, as the ERP
    // has always sent them.
    const std::string head =
        newestFirst ? " * from replica_eventos where (rpev_tipo <> 236) and ((rpev_tipo <> 33) OR "
                      "(RPEV_OPER <> 'U')) AND rpev_fecrep is null and rpev_compania = "
                    : " * from replica_eventos where (rpev_tipo <> 236) and ((rpev_tipo <> 33) OR "
                      "(RPEV_OPER <> 'U')) and rpev_fecrep is null and rpev_compania = ";
    return "select first " + count + head + Q(company) + orderAndFilter(skipErrors, newestFirst);
}

Event eventFromRow(const db::RowSet& rows) {
    Event e;
    e.id = rows.asInt("RPEV_ID");
    e.company = rows.asText("RPEV_COMPANIA");
    e.type = static_cast<int>(rows.asInt("RPEV_TIPO"));
    e.iddocText = rows.asText("RPEV_IDDOC");
    e.prefix = rows.asText("RPEV_PREF");
    e.number = rows.asText("RPEV_NUMERO");
    e.code = rows.asText("RPEV_CODIGO");
    e.operation = rows.asText("RPEV_OPER");
    e.prefixDest = rows.asText("RPEV_PREFDEST");
    e.data = rows.asText("RPEV_DATOS");
    e.error = rows.asText("RPEV_ERROR");
    return e;
}

std::string eventLineText(const Event& e) {
    return std::to_string(e.type) + "," + e.operation + "," + e.prefix + e.number + "," + e.code;
}

std::string completionSql(std::int64_t eventId, const std::string& date, const std::string& time) {
    return "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(date) + ", RPEV_HORAREP = " + Q(time) +
           " where RPEV_ID = " + sqlInt(eventId);
}

std::string completionNoteSql(std::int64_t eventId, const std::string& date,
                              const std::string& time) {
    return "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(date) + ", RPEV_HORAREP = " + Q(time) +
           ", RPEV_ERROR = 'Registro ya encontrado.' where RPEV_ID = " + sqlInt(eventId);
}

void EventLoop::select(const PhaseSetup& setup, const std::string& sql) {
    m_events = std::make_unique<db::Query>(*setup.source);
    m_events->open(sql);
    m_op.setProgressMaximum(m_events->rowCount());
}

void EventLoop::handleAll(const PhaseSetup& setup, LoopCounts& counts) {
    if (!m_events) {
        return;
    }
    for (m_events->first(); !m_events->eof(); m_events->next()) {
        if (setup.stop && *setup.stop) {
            break;
        }
        handle(setup, eventFromRow(*m_events), counts);
    }
    m_events.reset();
    m_errors.clearCurrent();
}

void EventLoop::handleWhole(const Handler& handler, HandlerContext& ctx) {
    // The event's rows reach the destination together or not at all: the
    // undo statements a failed document runs are rolled back with it, and
    // the destination keeps what it had before the event.
    ctx.destination.beginWork();
    try {
        runHandler(handler, ctx);
    } catch (...) {
        ctx.destination.rollbackWork();
        throw;  // the run ends and records it, as without whole documents
    }
    if (ctx.state.failed) {
        ctx.destination.rollbackWork();
    } else {
        ctx.destination.commitWork();
    }
}

void EventLoop::handle(const PhaseSetup& setup, const Event& event, LoopCounts& counts) {
    m_errors.setCurrent(setup.phase, setup.source, event.id);

    m_op.showEventLine(eventLineText(event));
    m_op.processEvents();
    m_logs.audit(event.id, event.type, event.prefix + event.number + event.code);

    EventState state;
    if (setup.phase == Phase::Download) {
        m_op.stopTimer();
    }
    m_op.stepProgress();

    if (setup.phase == Phase::Upload && !setup.prefix.empty() && !event.prefix.empty() &&
        setup.prefix != event.prefix) {
        ++counts.skipped;
        return;
    }
    ++counts.handled;

    const Catalogue::Dispatch dispatch =
        m_catalogue.handlerFor(setup.phase, event.type, *setup.options);
    switch (dispatch.route) {
        case Catalogue::Route::Default:
            break;
        case Catalogue::Route::Unbuilt:
            // A listed code must never be marked replicated before its
            // family exists: the event waits, with the reason on it.
            m_errors.record(kNoHandlerMessage, kNoHandlerMessage);
            state.failed = true;
            break;
        case Catalogue::Route::Handle: {
            HandlerContext ctx{setup.phase,    event, *setup.source, *setup.destination,
                               *setup.options, state, m_errors,      setup.configuracion};
            if (setup.options->atomicDocuments) {
                handleWhole(*dispatch.handler, ctx);
            } else {
                runHandler(*dispatch.handler, ctx);
            }
            break;
        }
    }

    if (state.failed) {
        ++counts.failed;
        return;
    }
    const std::string date = sqlDate(today());
    const std::string time = sqlTime(now());
    if (state.noteFound) {
        setup.source->execute(completionNoteSql(event.id, date, time));
    }
    setup.source->execute(completionSql(event.id, date, time));
    ++counts.completed;
}

}  // namespace replica
