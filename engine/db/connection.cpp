#include <firebird/Interface.h>
#include <ibase.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/db/connection.h"
#include "engine/db/fb.h"
#include "engine/db/literals.h"
#include "engine/db/params.h"
#include "engine/db/query.h"
#include "engine/db/text.h"

namespace replica::db {

namespace fb {

Firebird::IMaster* master() {
    static Firebird::IMaster* m = Firebird::fb_get_master_interface();
    return m;
}

Firebird::IUtil* util() {
    return master()->getUtilInterface();
}

Error toError(const Firebird::FbException& e, const std::string& sql) {
    Firebird::IStatus* st = e.getStatus();
    char buf[4096];
    unsigned n = util()->formatStatus(buf, sizeof buf, st);
    std::string message(buf, std::min<std::size_t>(n, sizeof buf));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\0')) {
        message.pop_back();
    }
    const intptr_t* errors = st->getErrors();
    long gds = 0;
    if (errors && errors[0] == isc_arg_gds) {
        gds = static_cast<long>(errors[1]);
    }
    int sqlCode = 0;
    if (errors) {
        sqlCode = static_cast<int>(isc_sqlcode(reinterpret_cast<const ISC_STATUS*>(errors)));
    }
    // The first code may be a generic wrapper (e.g. "violation of ... " comes
    // after isc_unique_key_violation); look at every code for the kind.
    ErrorKind kind = ErrorKind::Other;
    for (const intptr_t* p = errors; p && *p != isc_arg_end;) {
        if (p[0] == isc_arg_gds) {
            ErrorKind k = errorKindForGds(static_cast<long>(p[1]));
            if (k != ErrorKind::Other) {
                kind = k;
                break;
            }
        }
        p += (p[0] == isc_arg_cstring) ? 3 : 2;
    }
    return Error(message, kind, sqlCode, gds, sql);
}

Error toError(Connection& conn, const Firebird::FbException& e, const std::string& sql) {
    Error err = toError(e, sql);
    Connection::Impl& impl = conn.impl();
    if (impl.abandoned) {
        impl.lost = true;
        return Error(timeoutMessage(conn.path(), conn.timeout()), ErrorKind::Connection,
                     err.sqlCode(), err.gdsCode(), sql);
    }
    if (classify(err) != Failure::Refused) {
        impl.lost = true;
    }
    return err;
}

namespace {

using Clock = std::chrono::steady_clock;

// Set once the watchdog is gone at exit: a connection closed by a static
// destructor after it must not call it back (and has no limit then).
std::atomic<bool> g_watchdogGone{false};

// The one thread that gives up calls: it sleeps until the earliest deadline
// of the calls in progress and aborts the attachment of every call past its
// own. Aborting happens under the mutex, so a call that ends meanwhile waits
// in disarm() until the abort is over and never leaves with its attachment
// half cancelled.
class Watchdog {
  public:
    static Watchdog& instance() {
        static Watchdog watchdog;
        return watchdog;
    }
    ~Watchdog() {
        g_watchdogGone = true;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void arm(Connection::Impl* impl, IAttachment* att, Clock::time_point deadline) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_armed[impl] = {att, deadline};
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { loop(); });
        }
        m_wake.notify_all();
    }
    void disarm(Connection::Impl* impl) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_armed.erase(impl);
    }

  private:
    struct Armed {
        IAttachment* att = nullptr;
        Clock::time_point deadline;
    };

    void loop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            if (m_armed.empty()) {
                m_wake.wait(lock);
                continue;
            }
            Clock::time_point next = Clock::time_point::max();
            for (const auto& [impl, armed] : m_armed) {
                next = std::min(next, armed.deadline);
            }
            if (Clock::now() < next) {
                m_wake.wait_until(lock, next);
                continue;
            }
            const Clock::time_point now = Clock::now();
            for (auto it = m_armed.begin(); it != m_armed.end();) {
                if (it->second.deadline <= now) {
                    it->first->abandoned = true;
                    abort(it->second.att);
                    it = m_armed.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }

    static void abort(IAttachment* att) noexcept {
        try {
            Status st;
            // Closes the connection under the blocked call (a remote one
            // drops its socket); a plain cancel would wait for an answer
            // that a frozen server never sends.
            att->cancelOperation(&st, fb_cancel_abort);
        } catch (const Firebird::FbException&) {
            // The attachment is already gone: the blocked call fails on its
            // own, and the abandoned flag says why.
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<Connection::Impl*, Armed> m_armed;
    std::thread m_thread;
    bool m_stop = false;
};

}  // namespace

CallLimit::CallLimit(Connection& conn) {
    Connection::Impl& impl = conn.impl();
    ++impl.callDepth;
    m_impl = &impl;
    const std::chrono::seconds limit = conn.timeout();
    if (limit.count() > 0 && impl.att && !g_watchdogGone) {
        // A reference of the limit's own: the call may release the
        // connection's (a detach) before the watchdog is told to stand down.
        m_held = impl.att.get();
        m_held->addRef();
        Watchdog::instance().arm(&impl, m_held, Clock::now() + limit);
    }
}

CallLimit::~CallLimit() {
    if (--m_impl->callDepth <= 0) {
        m_impl->callDepth = 0;
        if (!g_watchdogGone) {
            Watchdog::instance().disarm(m_impl);
        }
    }
    if (m_held) {
        m_held->release();
    }
}

namespace {
const unsigned char kTpbWrite[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                                   isc_tpb_rec_version, isc_tpb_wait};
}  // namespace
const unsigned char kTpbRead[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                  isc_tpb_rec_version, isc_tpb_wait};

Transaction::Transaction(IAttachment* att, bool readOnly) {
    Status st;
    m_tra.reset(readOnly ? att->startTransaction(&st, sizeof kTpbRead, kTpbRead)
                         : att->startTransaction(&st, sizeof kTpbWrite, kTpbWrite));
}

Transaction::~Transaction() {
    rollback();
}

void Transaction::commit() {
    Status st;
    m_tra->commit(&st);
    m_tra.dismiss();
}

void Transaction::rollback() noexcept {
    if (!m_tra) {
        return;
    }
    try {
        Status st;
        m_tra->rollback(&st);
        m_tra.dismiss();
    } catch (const Firebird::FbException&) {
        // A transaction that cannot be rolled back (connection lost) dies
        // with its attachment; releasing our reference is all that is left.
        m_tra.reset();
    }
}

StatementTransaction::StatementTransaction(Connection& conn, Use use) {
    Connection::Impl& impl = conn.impl();
    if (impl.work) {
        m_work = impl.work.get();
    } else if (use == Use::Read) {
        m_work = impl.readerTransaction();
    } else if (use == Use::OneWrite) {
        m_work = impl.autocommitTransaction();
    } else {
        m_own.emplace(impl.att.get(), false);
    }
}

void StatementTransaction::commit() {
    if (m_own) {
        m_own->commit();
    }
}

void StatementTransaction::rollback() noexcept {
    if (m_own) {
        m_own->rollback();
    }
}

}  // namespace fb

namespace {

std::mutex g_traceMutex;
Connection::TraceHook g_trace;

std::atomic<long long> g_defaultTimeout{0};
std::atomic<bool> g_wireCompression{false};

}  // namespace

Connection::Connection() : m_impl(std::make_unique<Impl>()) {
    m_impl->owner = this;
}

Connection::~Connection() {
    close();
}

Connection::Impl& Connection::impl() {
    return *m_impl;
}

bool Connection::isOpen() const {
    return static_cast<bool>(m_impl->att);
}

void Connection::configureLike(const Connection& other) {
    m_path = other.m_path;
    m_user = other.m_user;
    m_password = other.m_password;
    m_timeout = other.m_timeout;
}

std::chrono::seconds Connection::timeout() const {
    return m_timeout ? *m_timeout : defaultTimeout();
}

void Connection::setDefaultTimeout(std::chrono::seconds limit) {
    g_defaultTimeout = limit.count();
}

void Connection::setWireCompression(bool on) {
    g_wireCompression = on;
}

bool Connection::wireCompression() {
    return g_wireCompression.load();
}

std::chrono::seconds Connection::defaultTimeout() {
    return std::chrono::seconds(g_defaultTimeout.load());
}

namespace {
long long defaultTimeoutMs() {
    return g_defaultTimeout.load() * 1000;
}
}  // namespace

bool Connection::lost() const {
    return m_impl->lost;
}

std::string timeoutMessage(const std::string& path, std::chrono::seconds limit) {
    return "La base de datos " + path + " no respondió en " + std::to_string(limit.count()) +
           " segundos";
}

namespace {

std::vector<unsigned char> buildDpb(const std::string& user, const std::string& password,
                                    bool create, bool forcedWrites, std::chrono::seconds limit) {
    fb::Status st;
    Firebird::IXpbBuilder* dpb =
        fb::util()->getXpbBuilder(&st, Firebird::IXpbBuilder::DPB, nullptr, 0);
    std::vector<unsigned char> out;
    try {
        dpb->insertInt(&st, isc_dpb_sql_dialect, 3);
        dpb->insertString(&st, isc_dpb_lc_ctype, "UTF8");
        if (!user.empty()) {
            dpb->insertString(&st, isc_dpb_user_name, user.c_str());
        }
        if (!password.empty()) {
            dpb->insertString(&st, isc_dpb_password, password.c_str());
        }
        if (limit.count() > 0) {
            // Bounds the handshake with a server: until it accepts the
            // connection the client waits this long at most.
            dpb->insertInt(&st, isc_dpb_connect_timeout, static_cast<int>(limit.count()));
        }
        if (!create && Connection::wireCompression()) {
            dpb->insertString(&st, isc_dpb_config, "WireCompression=true");
        }
        if (create) {
            dpb->insertString(&st, isc_dpb_set_db_charset, "UTF8");
            dpb->insertInt(&st, isc_dpb_force_write, forcedWrites ? 1 : 0);
            dpb->insertInt(&st, isc_dpb_page_size, 8192);
        }
        const unsigned char* b = dpb->getBuffer(&st);
        out.assign(b, b + dpb->getBufferLength(&st));
    } catch (...) {
        dpb->dispose();
        throw;
    }
    dpb->dispose();
    return out;
}

}  // namespace

namespace {

// An attach whose server stops answering after it accepted the connection
// (frozen mid-handshake) is not bounded by the client's connect timeout: it
// runs on a thread of its own, and the caller waits at most the limit. An
// attach given up is left to finish on that thread, which then detaches
// what it got.
struct PendingAttach {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    fb::IAttachment* att = nullptr;
    std::optional<Error> error;
};

fb::IAttachment* attachWithin(const std::string& path, std::vector<unsigned char> dpb,
                              std::chrono::seconds limit) {
    auto pending = std::make_shared<PendingAttach>();
    std::thread([pending, path, dpb = std::move(dpb)] {
        fb::IAttachment* att = nullptr;
        std::optional<Error> error;
        try {
            fb::Status st;
            fb::Ref<Firebird::IProvider> prov(fb::master()->getDispatcher());
            att = prov->attachDatabase(&st, path.c_str(), static_cast<unsigned>(dpb.size()),
                                       dpb.data());
        } catch (const Firebird::FbException& e) {
            error = fb::toError(e, {});
        }
        std::lock_guard<std::mutex> lock(pending->mutex);
        if (pending->abandoned) {
            if (att) {
                try {
                    fb::Status st;
                    att->detach(&st);
                } catch (const Firebird::FbException&) {
                    att->release();
                }
            }
            return;
        }
        pending->att = att;
        pending->error = std::move(error);
        pending->finished = true;
        pending->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(pending->mutex);
    // A little beyond the limit: the client's own connect timeout, with its
    // message, comes first when it applies.
    if (!pending->done.wait_for(lock, limit + std::chrono::seconds(1),
                                [&] { return pending->finished; })) {
        pending->abandoned = true;
        throw Error(timeoutMessage(path, limit), ErrorKind::Connection, 0, 335544721L);
    }
    if (pending->error) {
        throw *pending->error;
    }
    return pending->att;
}

}  // namespace

void Connection::open() {
    if (isOpen()) {
        return;
    }
    m_impl->abandoned = false;
    m_impl->lost = false;
    const std::chrono::seconds limit = timeout();
    const auto started = std::chrono::steady_clock::now();
    try {
        fb::Status st;
        auto dpb = buildDpb(m_user, m_password, false, true, limit);
        if (limit.count() > 0) {
            try {
                m_impl->att.reset(attachWithin(m_path, std::move(dpb), limit));
            } catch (const Error& e) {
                const bool waitedOut = std::chrono::steady_clock::now() - started >= limit;
                throw Error(waitedOut ? timeoutMessage(m_path, limit) : e.message(),
                            ErrorKind::Connection, e.sqlCode(), e.gdsCode());
            }
            return;
        }
        fb::Ref<Firebird::IProvider> prov(fb::master()->getDispatcher());
        m_impl->att.reset(prov->attachDatabase(&st, m_path.c_str(),
                                               static_cast<unsigned>(dpb.size()), dpb.data()));
    } catch (const Firebird::FbException& e) {
        Error err = fb::toError(e, {});
        // A server that never answered the handshake is refused by the
        // client when the limit passes; say that rather than "rejected".
        const bool waitedOut =
            limit.count() > 0 && std::chrono::steady_clock::now() - started >= limit;
        throw Error(waitedOut ? timeoutMessage(m_path, limit) : err.message(),
                    ErrorKind::Connection, err.sqlCode(), err.gdsCode());
    }
}

void Connection::create(bool forcedWrites) {
    close();
    try {
        fb::Status st;
        auto dpb = buildDpb(m_user, m_password, true, forcedWrites, std::chrono::seconds(0));
        fb::Ref<Firebird::IProvider> prov(fb::master()->getDispatcher());
        m_impl->att.reset(prov->createDatabase(&st, m_path.c_str(),
                                               static_cast<unsigned>(dpb.size()), dpb.data()));
    } catch (const Firebird::FbException& e) {
        throw fb::toError(e, {});
    }
}

void Connection::close() noexcept {
    if (!m_impl->att) {
        rollbackWork();
        m_impl->retained.reset();
        m_impl->forgetStatements();
        m_impl->messages.clear();
        m_impl->tables.clear();
        m_impl->lost = false;
        m_impl->abandoned = false;
        return;
    }
    {
        // Everything a goodbye sends waits for the server too: the rollback
        // of a unit of work, the end of the transaction one left retained,
        // the statements freed, the readers' commit and the detach. A server that stopped answering
        // is given up after the limit like any call, and the attachment is then just released.
        fb::CallLimit limit(*this);
        rollbackWork();
        endRetained();
        m_impl->forgetStatements();
        try {
            fb::Status st;
            m_impl->att->detach(&st);
            m_impl->att.dismiss();
        } catch (const Firebird::FbException&) {
            // A lost or abandoned attachment cannot say goodbye; releasing
            // our reference is all that is left.
            m_impl->att.reset();
        }
    }
    m_impl->messages.clear();
    m_impl->tables.clear();
    m_impl->lost = false;
    m_impl->abandoned = false;
}

namespace {

// Whether a statement changes the database's metadata: prepared statements
// hold locks on the objects they name, so they go before it runs.
bool changesMetadata(const std::string& sql) {
    const std::string word = statementWord(sql);
    return word != "SELECT" && word != "INSERT" && word != "UPDATE" && word != "DELETE" &&
           word != "EXECUTE" && word != "MERGE";
}

}  // namespace

void Connection::execute(const std::string& sql) {
    if (!isOpen()) {
        open();
    }
    trace(sql);
    fb::CallLimit limit(*this);
    const bool metadata = changesMetadata(sql);
    if (metadata) {
        m_impl->forgetStatements();
    }
    try {
        fb::Status st;
        // A statement that changes metadata commits on its own: it must be
        // done before anything else prepares against it.
        fb::StatementTransaction tra(*this, metadata ? fb::Use::Writes : fb::Use::OneWrite);
        if (!fb::executeLifted(*this, tra.get(), sql)) {
            m_impl->att->execute(&st, tra.get(), 0, sql.c_str(), 3, nullptr, nullptr, nullptr,
                                 nullptr);
        }
        tra.commit();
    } catch (const Firebird::FbException& e) {
        throw fb::toError(*this, e, sql);
    }
}

void Connection::beginWork(Locks locks) {
    if (!isOpen()) {
        open();
    }
    if (m_impl->work) {
        throw Error("a unit of work is already open on " + m_path);
    }
    const bool noWait = locks == Locks::NoWait;
    if (m_impl->retained && m_impl->retainedNoWait == noWait) {
        m_impl->work = std::move(m_impl->retained);
        return;
    }
    fb::CallLimit limit(*this);
    endRetained();
    try {
        fb::Status st;
        static const unsigned char kWait[] = {isc_tpb_version3, isc_tpb_write,
                                              isc_tpb_read_committed, isc_tpb_rec_version,
                                              isc_tpb_wait};
        static const unsigned char kNoWait[] = {isc_tpb_version3, isc_tpb_write,
                                                isc_tpb_read_committed, isc_tpb_rec_version,
                                                isc_tpb_nowait};
        m_impl->work.reset(locks == Locks::Wait
                               ? m_impl->att->startTransaction(&st, sizeof kWait, kWait)
                               : m_impl->att->startTransaction(&st, sizeof kNoWait, kNoWait));
        m_impl->retainedNoWait = noWait;
    } catch (const Firebird::FbException& e) {
        throw fb::toError(*this, e, "SET TRANSACTION");
    }
}

void Connection::commitWork() {
    if (!m_impl->work) {
        return;
    }
    fb::CallLimit limit(*this);
    try {
        fb::Status st;
        m_impl->work->commitRetaining(&st);
        m_impl->retained = std::move(m_impl->work);
    } catch (const Firebird::FbException& e) {
        rollbackWork();
        throw fb::toError(*this, e, "COMMIT");
    }
}

void Connection::rollbackWork() noexcept {
    if (!m_impl->work) {
        return;
    }
    fb::CallLimit limit(*this);
    try {
        fb::Status st;
        m_impl->work->rollbackRetaining(&st);
        m_impl->retained = std::move(m_impl->work);
    } catch (const Firebird::FbException&) {
        // Lost with its attachment: nothing of it was committed.
        m_impl->work.reset();
    }
}

void Connection::endRetained() noexcept {
    if (!m_impl->retained) {
        return;
    }
    try {
        fb::Status st;
        m_impl->retained->commit(&st);  // it holds nothing since it was retained
        m_impl->retained.dismiss();
    } catch (const Firebird::FbException&) {
        m_impl->retained.reset();
    }
}

UnitOfWork::UnitOfWork(Connection& conn, Connection::Locks locks) : m_conn(&conn) {
    conn.beginWork(locks);
}

void UnitOfWork::commit() {
    Connection* conn = m_conn;
    m_conn = nullptr;
    if (conn) {
        conn->commitWork();
    }
}

void UnitOfWork::rollback() noexcept {
    if (m_conn) {
        m_conn->rollbackWork();
        m_conn = nullptr;
    }
}

bool Connection::inWork() const {
    return static_cast<bool>(m_impl->work);
}

fb::IStatement* Connection::Impl::prepared(const std::string& sql, fb::ITransaction* tra) {
    auto it = statements.find(sql);
    if (it != statements.end()) {
        return it->second.get();
    }
    // Keep the cache bounded: statement texts depend on which columns a row
    // changed, and the agent runs for months.
    if (statements.size() >= 512) {
        outputs.clear();
        inputs.clear();
        statements.clear();
    }
    try {
        fb::Status st;
        fb::Ref<fb::IStatement> stmt(
            att->prepare(&st, tra, 0, sql.c_str(), 3, fb::IStatement::PREPARE_PREFETCH_METADATA));
        fb::IStatement* raw = stmt.get();
        statements.emplace(sql, std::move(stmt));
        return raw;
    } catch (const Firebird::FbException& e) {
        throw fb::toError(*owner, e, sql);
    }
}

void Connection::Impl::forgetStatements() {
    outputs.clear();
    inputs.clear();
    statements.clear();
    selects.clear();
    if (autocommit) {
        try {
            fb::Status st;
            autocommit->commit(&st);  // every statement of it is committed already
            autocommit.dismiss();
        } catch (const Firebird::FbException&) {
            autocommit.reset();  // lost with its attachment
        }
    }
    if (reader) {
        try {
            fb::Status st;
            reader->commit(&st);
            reader.dismiss();
        } catch (const Firebird::FbException&) {
            reader.reset();  // lost with its attachment; it wrote nothing
        }
    }
}

fb::ITransaction* Connection::Impl::autocommitTransaction() {
    if (!autocommit) {
        static const unsigned char kTpb[] = {isc_tpb_version3,       isc_tpb_write,
                                             isc_tpb_read_committed, isc_tpb_rec_version,
                                             isc_tpb_wait,           isc_tpb_autocommit};
        fb::Status st;
        autocommit.reset(att->startTransaction(&st, sizeof kTpb, kTpb));
    }
    return autocommit.get();
}

fb::ITransaction* Connection::Impl::readerTransaction() {
    if (!reader) {
        fb::Status st;
        reader.reset(att->startTransaction(&st, sizeof fb::kTpbRead, fb::kTpbRead));
    }
    return reader.get();
}

namespace {

// Runs an internal metadata query (not traced) and returns the first column
// of every row, trimmed.
std::vector<std::string> systemColumn(Connection& conn, const std::string& sql) {
    std::vector<std::string> out;
    std::vector<Column> cols;
    std::vector<Row> rows;
    runSelect(conn, sql, cols, rows, false);
    out.reserve(rows.size());
    for (const Row& r : rows) {
        out.push_back(fb::rtrim(r.at(0).asText()));
    }
    return out;
}

}  // namespace

const TableInfo& Connection::tableInfo(const std::string& table) {
    const std::string name = upperCase(fb::rtrim(table));
    auto it = m_impl->tables.find(name);
    if (it != m_impl->tables.end()) {
        return it->second;
    }
    if (!isOpen()) {
        open();
    }
    std::string quoted = "'";
    for (char c : name) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    quoted += "'";
    TableInfo info;
    info.primaryKey = systemColumn(
        *this,
        "SELECT s.RDB$FIELD_NAME FROM RDB$RELATION_CONSTRAINTS c JOIN RDB$INDEX_SEGMENTS s ON "
        "s.RDB$INDEX_NAME = c.RDB$INDEX_NAME WHERE c.RDB$RELATION_NAME = " +
            quoted + " AND c.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' ORDER BY s.RDB$FIELD_POSITION");
    info.notNull =
        systemColumn(*this,
                     "SELECT rf.RDB$FIELD_NAME FROM RDB$RELATION_FIELDS rf JOIN RDB$FIELDS f ON "
                     "f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE WHERE rf.RDB$RELATION_NAME = " +
                         quoted + " AND (rf.RDB$NULL_FLAG = 1 OR f.RDB$NULL_FLAG = 1)");
    info.exists = !systemColumn(*this,
                                "SELECT RDB$RELATION_NAME FROM RDB$RELATIONS WHERE "
                                "RDB$RELATION_NAME = " +
                                    quoted)
                       .empty();
    return m_impl->tables.emplace(name, std::move(info)).first->second;
}

std::string embeddedEngineMissing(const std::string& pluginsDir, const std::string& providers) {
    // The engine of this client's version; its file name is fixed by it.
    const std::string library = pluginsDir + "/libEngine12.so";
    if (::access(library.c_str(), R_OK) != 0) {
        return "falta " + library;
    }
    if (providers.find("Engine12") == std::string::npos) {
        return "Providers de firebird.conf no incluye Engine12 (" + providers + ")";
    }
    return {};
}

std::string embeddedEngineMissing() {
    Firebird::IConfigManager* config = fb::master()->getConfigManager();
    const char* plugins = config->getDirectory(Firebird::IConfigManager::DIR_PLUGINS);
    std::string providers;
    if (Firebird::IFirebirdConf* conf = config->getFirebirdConf()) {
        const char* text = conf->asString(conf->getKey("Providers"));
        providers = text ? text : "";
        conf->release();
    }
    return embeddedEngineMissing(plugins ? plugins : "", providers);
}

void shutdownClient() noexcept {
    try {
        fb::Status st;
        fb::Ref<Firebird::IProvider> prov(fb::master()->getDispatcher());
        // The client waits this long at most for attachments still open
        // (a server that stopped answering never says goodbye); 0 would
        // wait for ever.
        const long long limitMs = defaultTimeoutMs() > 0 ? defaultTimeoutMs() : 60000;
        prov->shutdown(&st, static_cast<unsigned>(limitMs), fb_shutrsn_app_stopped);
    } catch (const Firebird::FbException&) {
        // Nothing is left to release at exit; the process ends either way.
    }
}

void Connection::setTraceHook(TraceHook hook) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_trace = std::move(hook);
}

void Connection::trace(const std::string& sql) const {
    TraceHook hook;
    {
        std::lock_guard<std::mutex> lock(g_traceMutex);
        hook = g_trace;
    }
    if (hook) {
        // Connections of several threads trace at once (destinations served
        // side by side): the hook sees one statement at a time.
        static std::mutex calls;
        std::lock_guard<std::mutex> serial(calls);
        hook(*this, sql);
    }
}

}  // namespace replica::db
