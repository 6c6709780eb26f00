#include "engine/event.h"

#include <charconv>

#include "engine/db/error.h"
#include "engine/db/text.h"
#include "engine/errorcapture.h"

namespace replica {

namespace {

// A row refused in memory is the record set's own failure, whichever call
// made it: record it and end the run.
template <class F>
void inMemory(ErrorCapture& errors, db::RecordSet& rs, F&& change) {
    try {
        change();
    } catch (const db::PostError& e) {
        errors.ManejarClientError(rs, e.message());
        throw EventRefused{};
    }
}

}  // namespace

const std::string& RunOptions::setting(std::string_view name) const {
    static const std::string kUnread;
    const auto it = m_settings.find(name);
    return it == m_settings.end() ? kUnread : it->second;
}

std::optional<std::string> wholeNumberText(std::string_view value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!value.empty() && blank(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && blank(value.back())) {
        value.remove_suffix(1);
    }
    std::string_view digits = value;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        digits.remove_prefix(1);
    }
    if (!db::allDigits(digits)) {
        return std::nullopt;
    }
    if (value.front() == '+') {
        value.remove_prefix(1);
    }
    std::int64_t n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size()) {
        return std::nullopt;  // out of range
    }
    return std::to_string(n);
}

bool HandlerContext::apply(db::RecordSet& rs) {
    int failedRows = 0;
    // apply() posts a row still being edited; a refusal there is in memory.
    inMemory(errors, rs, [&] { failedRows = rs.apply(0, errors.applyCallback(rs)); });
    if (failedRows > 0) {
        state.failed = true;
    }
    return failedRows == 0;
}

void HandlerContext::post(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.post(); });
}

bool HandlerContext::postForLater(db::RecordSet& rs) {
    try {
        rs.post();
        return true;
    } catch (const db::PostError&) {
        // The row stays as it was given, still being inserted.
    }
    if (rs.applyWritten(0, errors.applyCallback(rs)) > 0) {
        state.failed = true;
        rs.cancel();
        return false;
    }
    post(rs);  // refused again, and captured as every refusal in memory
    return true;
}

void HandlerContext::edit(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.edit(); });
}

void HandlerContext::remove(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.remove(); });
}

const char* fieldName(EventField field) {
    switch (field) {
        case EventField::Pref:
            return "RPEV_PREF";
        case EventField::Number:
            return "RPEV_NUMERO";
        case EventField::PrefDest:
            return "RPEV_PREFDEST";
        case EventField::IdDoc:
            return "RPEV_IDDOC";
        case EventField::Code:
            return "RPEV_CODIGO";
        case EventField::Data:
            return "RPEV_DATOS";
    }
    return "";
}

const std::string& HandlerContext::text(EventField field) const {
    switch (field) {
        case EventField::Pref:
            return event.prefix;
        case EventField::Number:
            return event.number;
        case EventField::PrefDest:
            return event.prefixDest;
        case EventField::IdDoc:
            return event.iddocText;
        case EventField::Code:
            return event.code;
        case EventField::Data:
            return event.data;
    }
    return event.code;
}

void HandlerContext::requireNumbers(const std::vector<EventField>& fields) const {
    for (EventField f : fields) {
        number(f);
    }
}

std::string HandlerContext::wholeNumber(const char* field, const std::string& value) const {
    if (std::optional<std::string> n = wholeNumberText(value)) {
        return *n;
    }
    const std::string message = std::string(field) + " vacío o no numérico: '" + value + "'";
    errors.record(message, message);
    throw EventRefused{};
}

void HandlerContext::setLastError(const std::string& text) const {
    errors.showLastError(text);
}

bool eventStep(HandlerContext& ctx, const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const EventRefused&) {
        // Already recorded: a value refused before any SQL, or a row
        // refused in memory.
    } catch (const db::Error& e) {
        if (db::classify(e) != db::Failure::Refused) {
            throw;  // the database went away: not this event's doing
        }
        ctx.errors.ManejarError(true, nullptr, e.message());
    } catch (const std::exception& e) {
        // The tables of the two companies do not match (a source row with
        // fewer columns, a mapped column missing): this event's tables.
        ctx.errors.ManejarError(true, nullptr, e.what());
    }
    ctx.state.failed = true;
    return false;
}

void runHandler(const Handler& h, HandlerContext& ctx) {
    eventStep(ctx, [&] { h(ctx); });
}

}  // namespace replica
