#include "engine/eventloop.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "engine/errorcapture.h"
#include "engine/logs.h"
#include "engine/numbers.h"
#include "engine/operator.h"
#include "engine/sql.h"

namespace replica {

namespace {

// The phase's condition up to the company. The two upload forms differ only
// in the letter case of one AND, as the ERP has always sent them.
std::string whereOf(Phase phase, const std::string& company, bool newestFirst) {
    if (phase == Phase::Upload) {
        return std::string(kUploadedTypes) +
               (newestFirst ? " AND rpev_fecrep is null and rpev_compania = "
                            : " and rpev_fecrep is null and rpev_compania = ") +
               Q(company);
    }
    return "rpev_fecrep is null and rpev_compania = " + Q(company);
}

std::string orderOf(bool newestFirst) {
    return newestFirst ? " order by rpev_fecreg desc, rpev_horareg desc"
                       : " order by rpev_fecreg, rpev_horareg";
}

std::string eventsSql(Phase phase, const std::string& count, const std::string& company,
                      bool skipErrors, bool newestFirst) {
    return "select first " + count + " * from replica_eventos where " +
           whereOf(phase, company, newestFirst) + (skipErrors ? " AND RPEV_ERROR IS NULL" : "") +
           orderOf(newestFirst);
}

}  // namespace

std::string downloadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                              bool newestFirst) {
    return eventsSql(Phase::Download, count, company, skipErrors, newestFirst);
}

std::string uploadEventsSql(const std::string& count, const std::string& company, bool skipErrors,
                            bool newestFirst) {
    return eventsSql(Phase::Upload, count, company, skipErrors, newestFirst);
}

std::string freshEventsSql(const EventSelection& s) {
    return eventsSql(s.phase, s.count, s.company, true, s.newestFirst);
}

std::string failedEventsSql(const EventSelection& s) {
    return "select first " + s.count +
           (s.failedSkip > 0 ? " skip " + std::to_string(s.failedSkip) : std::string()) +
           " * from replica_eventos where " + whereOf(s.phase, s.company, s.newestFirst) +
           " AND RPEV_ERROR IS NOT NULL" + orderOf(s.newestFirst);
}

std::string failedCountSql(const EventSelection& s) {
    return "select count(*) from replica_eventos where " +
           whereOf(s.phase, s.company, s.newestFirst) + " AND RPEV_ERROR IS NOT NULL";
}

std::string claimSql(std::int64_t eventId) {
    return "SELECT RPEV_ID FROM REPLICA_EVENTOS WHERE RPEV_ID = " + sqlInt(eventId) +
           " AND RPEV_FECREP IS NULL WITH LOCK";
}

std::string claimedStateSql(std::int64_t eventId) {
    return "SELECT RPEV_FECREP FROM REPLICA_EVENTOS WHERE RPEV_ID = " + sqlInt(eventId);
}

std::string claimAndStateSql(std::int64_t eventId) {
    // The select list is computed for a row the lock already holds.
    return "SELECT RPEV_ID, (" + claimedStateSql(eventId) +
           ") FROM REPLICA_EVENTOS WHERE RPEV_ID = " + sqlInt(eventId) +
           " AND RPEV_FECREP IS NULL WITH LOCK";
}

std::string documentKey(int type, const std::string& prefix, const std::string& number,
                        const std::string& code, const std::string& data) {
    // A separator no text of the ERP holds.
    const char sep = '\x1f';
    return std::to_string(type) + sep + prefix + sep + number + sep + code + sep + data;
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
           " where RPEV_ID = " + sqlInt(eventId) + " AND RPEV_FECREP IS NULL";
}

std::string completionNoteSql(std::int64_t eventId, const std::string& date,
                              const std::string& time, const std::string& note) {
    return "UPDATE REPLICA_EVENTOS SET RPEV_FECREP = " + Q(date) + ", RPEV_HORAREP = " + Q(time) +
           ", RPEV_ERROR = " + Q(note) + " where RPEV_ID = " + sqlInt(eventId) +
           " AND RPEV_FECREP IS NULL";
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

void EventLoop::clearBatch() {
    m_events.clear();
    m_events.shrink_to_fit();
    m_unreadable = nullptr;
    m_unreadableId = 0;
    m_selected = false;
    m_selectedCount = 0;
    m_waitingDocuments.clear();
    m_retryTurn = 0;
    m_failedNotRetried = 0;
}

int EventLoop::keepRows(const PhaseSetup& setup, const std::string& sql, bool retry) {
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
            Waiting w = pack(eventFromRow([&](const char* name) -> const db::Value& {
                return row.at(static_cast<std::size_t>(db::requireColumn(columns, name)));
            }));
            w.retry = retry;
            m_events.push_back(std::move(w));
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
    db::runSelectEach(*setup.source, sql, columns, keep);
    return count;
}

void EventLoop::select(const PhaseSetup& setup, const std::string& sql) {
    clearBatch();
    try {
        m_selectedCount = keepRows(setup, sql, false);
    } catch (...) {
        clearBatch();
        throw;
    }
    m_selected = true;
    m_op.setProgressMaximum(m_selectedCount);
}

void EventLoop::select(const PhaseSetup& setup, const EventSelection& selection) {
    clearBatch();
    const long long limit = digitsIn(selection.count, 0, kMaxCount).value_or(0);
    try {
        int count = 0;
        if (!selection.skipErrors) {
            m_retryTurn = keepRows(setup, failedEventsSql(selection), true);
            count += m_retryTurn;
            if ((m_retryTurn >= limit || selection.failedSkip > 0) && !m_unreadable) {
                db::Query failed(*setup.source);
                failed.open(failedCountSql(selection));
                m_failedNotRetried =
                    static_cast<int>(std::max<std::int64_t>(failed.asInt(0) - m_retryTurn, 0));
            }
        }
        if (!m_unreadable) {
            count += keepRows(setup, freshEventsSql(selection), false);
        }
        m_selectedCount = count;
    } catch (...) {
        clearBatch();
        throw;
    }
    m_selected = true;
    m_op.setProgressMaximum(m_selectedCount);
}

void EventLoop::handleAll(const PhaseSetup& setup, LoopCounts& counts) {
    if (!m_selected) {
        return;
    }
    counts.retryTurn += m_retryTurn;
    counts.failedNotRetried += m_failedNotRetried;
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
            handle(setup, unpack(m_events[i]), m_events[i].retry, counts);
        }
    } catch (...) {
        clearBatch();
        throw;
    }
    clearBatch();
    m_errors.clearCurrent();
}

std::optional<db::UnitOfWork> EventLoop::claim(db::Connection& events, std::int64_t eventId) {
    db::UnitOfWork work(events, db::Connection::Locks::NoWait);
    try {
        // The lock may land on a version another agent committed just after
        // the row was read as pending: held now, the row is read again as it
        // stands, and only a pending one is ours.
        db::Query row(events);
        row.open(claimAndStateSql(eventId));
        if (!row.isEmpty() && row.isNull(1)) {
            return std::optional<db::UnitOfWork>(std::move(work));  // the row held while it lives
        }
    } catch (const db::Error& e) {
        if (e.kind() != db::ErrorKind::Lock) {
            throw;
        }
    }
    return std::nullopt;
}

void EventLoop::handleWhole(const Handler& handler, HandlerContext& ctx) {
    // The event's rows reach the destination together or not at all: the
    // undo statements a failed document runs are rolled back with it, and
    // the destination keeps what it had before the event. A lost
    // connection leaves with the work rolled back, as without whole
    // documents the run then ends and records it.
    db::UnitOfWork work(ctx.destination);
    runHandler(handler, ctx);
    if (ctx.state.failed) {
        work.rollback();
    } else {
        work.commit();
    }
}

void EventLoop::handle(const PhaseSetup& setup, const Event& event, bool retry,
                       LoopCounts& counts) {
    m_errors.setCurrent(setup.phase, setup.source, event.id, documentName(event));

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
    const std::string document = documentKey(event);
    if (m_waitingDocuments.contains(document)) {
        ++counts.waiting;
        return;
    }
    std::optional<db::UnitOfWork> claimed = claim(*setup.source, event.id);
    if (!claimed) {
        // Another agent is at it (or has done it): it is that agent's, and
        // so are the later events of its document for now.
        ++counts.taken;
        m_waitingDocuments.insert(document);
        return;
    }
    ++counts.handled;
    counts.retried += retry ? 1 : 0;

    // Whatever leaves from here, the claim goes with the unit of work; who
    // records the failure does it on its own.
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
        claimed->commit();  // the error recorded on the event
        return;
    }
    const std::string date = sqlDate(today());
    const std::string time = sqlTime(now());
    if (!state.completionNote.empty()) {
        setup.source->execute(completionNoteSql(event.id, date, time, state.completionNote));
    }
    setup.source->execute(completionSql(event.id, date, time));
    claimed->commit();
    ++counts.completed;
    counts.retriedCompleted += retry ? 1 : 0;
}

}  // namespace replica
