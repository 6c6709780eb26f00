#include "engine/eventloop.h"

#include <exception>

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

Event eventFromRow(const std::function<const db::Value&(const char*)>& field) {
    Event e;
    e.id = field("RPEV_ID").asInt();
    e.company = field("RPEV_COMPANIA").asText();
    e.type = static_cast<int>(field("RPEV_TIPO").asInt());
    e.iddocText = field("RPEV_IDDOC").asText();
    e.prefix = field("RPEV_PREF").asText();
    e.number = field("RPEV_NUMERO").asText();
    e.code = field("RPEV_CODIGO").asText();
    e.operation = field("RPEV_OPER").asText();
    e.prefixDest = field("RPEV_PREFDEST").asText();
    e.data = field("RPEV_DATOS").asText();
    e.error = field("RPEV_ERROR").asText();
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

namespace {

// The texts of an event, in the order they are packed.
template <class E>
auto eventTexts(E& e) {
    return std::array{&e.company,   &e.iddocText,  &e.prefix, &e.number, &e.code,
                      &e.operation, &e.prefixDest, &e.data,   &e.error};
}

}  // namespace

EventLoop::Waiting EventLoop::pack(const Event& event) {
    Waiting w;
    w.id = event.id;
    w.type = event.type;
    const auto texts = eventTexts(event);
    static_assert(std::tuple_size_v<decltype(texts)> == std::tuple_size_v<decltype(w.ends)>);
    std::size_t size = 0;
    for (const std::string* t : texts) {
        size += t->size();
    }
    w.texts.reserve(size);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        w.texts += *texts[i];
        w.ends[i] = static_cast<std::uint32_t>(w.texts.size());
    }
    return w;
}

Event EventLoop::unpack(const Waiting& w) {
    Event e;
    e.id = w.id;
    e.type = w.type;
    const auto texts = eventTexts(e);
    std::uint32_t from = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i]->assign(w.texts, from, w.ends[i] - from);
        from = w.ends[i];
    }
    return e;
}

void EventLoop::select(const PhaseSetup& setup, const std::string& sql) {
    m_events.clear();
    m_unreadable = nullptr;
    m_selected = false;
    // Each row is kept as its event only, packed, not as the row it came in:
    // a batch of thousands of events then holds a fraction of the memory. A
    // row that cannot be read as an event is where the phase will stop, as
    // if it had been reached: the events before it are handled first.
    std::vector<db::Column> columns;
    int count = 0;
    const auto keep = [&](db::Row& row) {
        ++count;
        if (m_unreadable) {
            return;
        }
        try {
            m_events.push_back(pack(eventFromRow([&](const char* name) -> const db::Value& {
                return row.at(static_cast<std::size_t>(db::requireColumn(columns, name)));
            })));
        } catch (...) {
            m_unreadable = std::current_exception();
            // The failure belongs to this event, when at least its id reads.
            m_unreadableId = 0;
            try {
                if (const int i = db::columnIndex(columns, "RPEV_ID"); i >= 0) {
                    m_unreadableId = row.at(static_cast<std::size_t>(i)).asInt();
                }
            } catch (const std::exception&) {
                m_unreadableId = 0;
            }
        }
    };
    try {
        db::runSelectEach(*setup.source, sql, columns, keep);
    } catch (...) {
        m_events.clear();
        m_unreadable = nullptr;
        throw;
    }
    m_selected = true;
    m_selectedCount = count;
    m_op.setProgressMaximum(count);
}

void EventLoop::handleAll(const PhaseSetup& setup, LoopCounts& counts) {
    if (!m_selected) {
        return;
    }
    const auto done = [this] {
        m_events.clear();
        m_events.shrink_to_fit();
        m_unreadable = nullptr;
        m_selected = false;
        m_selectedCount = 0;
    };
    try {
        for (std::size_t i = 0; i <= m_events.size(); ++i) {
            if (setup.stop && *setup.stop) {
                break;
            }
            if (i == m_events.size()) {
                if (m_unreadable) {
                    // Not on the event handled last: that one is done.
                    if (m_unreadableId != 0) {
                        m_errors.setCurrent(setup.phase, setup.source, m_unreadableId);
                    } else {
                        m_errors.clearCurrent();
                    }
                    std::rethrow_exception(m_unreadable);
                }
                break;
            }
            handle(setup, unpack(m_events[i]), counts);
        }
    } catch (...) {
        done();
        throw;
    }
    done();
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
