#include "engine/keyedcopy.h"

#include <algorithm>
#include <stdexcept>

#include "engine/db/query.h"
#include "engine/errorcapture.h"
#include "engine/sql.h"

namespace replica {

namespace {

// The one place a key becomes SQL: a text through Q, a number only as the
// checked whole number the context's accessors give (RPEV_IDDOC as
// ctx.iddoc(), RPEV_CODIGO as ctx.codeNumber() and so on).
std::string keyText(const Key& k, const KeyValues& v) {
    switch (k.from) {
        case Key::From::Event:
            return k.as == Key::As::Quoted ? Q(v.ctx.text(k.field)) : v.ctx.number(k.field);
        case Key::From::CodePart: {
            if (k.part < 1 || k.part > static_cast<int>(v.codeParts.size())) {
                throw std::logic_error("joined code part " + std::to_string(k.part) +
                                       " asked of a code of " + std::to_string(v.codeParts.size()) +
                                       " parts");
            }
            const std::string& text = v.codeParts[static_cast<std::size_t>(k.part - 1)];
            return k.as == Key::As::Quoted ? Q(text)
                                           : v.ctx.wholeNumber(fieldName(EventField::Code), text);
        }
        case Key::From::Column: {
            if (!v.row) {
                throw std::logic_error("a column key in a text built without a row");
            }
            const int index = k.column.index(*v.row);
            const std::string text = v.row->asText(index);  // a date in its ISO form
            return k.as == Key::As::Quoted
                       ? Q(text)
                       : v.ctx.wholeNumber(v.row->column(index).name.c_str(), text);
        }
    }
    return {};
}

// Positions of the destination row that an update of this phase leaves.
std::vector<int> keptPositions(const KeyedTable& t, Phase phase, const db::RecordSet& to) {
    std::vector<int> keep;
    for (const Col& c : t.keepOnUpdate.in(phase)) {
        keep.push_back(c.index(to));
    }
    return keep;
}

// Applies the row being written. The event's first refusal is the reason
// it stays pending: a later one is logged and shown, and leaves that first
// message on the event.
bool applyRow(HandlerContext& ctx, db::RecordSet& rs) {
    if (!ctx.state.failed) {
        return ctx.apply(rs);
    }
    // Every change was posted before (post and remove), so apply writes
    // rows only and cannot be refused in memory.
    return rs.apply(0, ctx.errors.furtherApplyCallback(rs)) == 0;
}

}  // namespace

std::string KeyedText::build(const KeyValues& values) const {
    std::string sql;
    for (const Piece& p : m_pieces) {
        sql += p.key ? keyText(*p.key, values) : p.text;
    }
    return sql;
}

std::string KeyedText::spelled() const {
    std::string sql;
    for (const Piece& p : m_pieces) {
        sql += p.key ? "?" : p.text;
    }
    return sql;
}

void KeyedText::checkEventKeys(const KeyValues& values) const {
    for (const Piece& p : m_pieces) {
        if (p.key && p.key->from != Key::From::Column) {
            keyText(*p.key, values);
        }
    }
}

std::optional<std::vector<std::string>> splitJoinedCode(const std::string& code, int parts) {
    const std::size_t p1 = code.find('|');
    if (p1 == std::string::npos) {
        return std::nullopt;
    }
    if (parts == 2) {
        return std::vector<std::string>{code.substr(0, p1), code.substr(p1 + 1)};
    }
    const std::size_t p2 = code.find('|', p1 + 1);
    if (p2 == std::string::npos) {
        return std::nullopt;
    }
    return std::vector<std::string>{code.substr(0, p1), code.substr(p1 + 1, p2 - p1 - 1),
                                    code.substr(p2 + 1)};
}

std::string malformedCodeMessage(const std::string& code, int parts) {
    return "RPEV_CODIGO no tiene " + std::to_string(parts) + " códigos separados por '|': '" +
           code + "'";
}

std::string goneKeyMessage(const std::string& keySource) {
    return "Registro a borrar no encontrado en el origen: " + keySource;
}

void KeyedCopy::run(HandlerContext& ctx) const {
    const KeyedFamily& f = *m_family;
    // A malformed joined code is refused before the letter is looked at, so
    // that its "D" deletes nothing either.
    std::vector<std::string> parts;
    if (f.joinedCode > 0) {
        std::optional<std::vector<std::string>> split =
            splitJoinedCode(ctx.event.code, f.joinedCode);
        if (!split) {
            const std::string message = malformedCodeMessage(ctx.event.code, f.joinedCode);
            ctx.errors.record(message, message);
            throw EventRefused{};
        }
        parts = std::move(*split);
    }

    const KeyedDelete& d = f.deleteForm;
    const bool deletes = d.kind != DeleteKind::None && among(d.deleteLetters, ctx.event.operation);
    const KeyValues eventOnly{ctx, parts};
    if (deletes) {
        d.keySource.in(ctx.phase).checkEventKeys(eventOnly);
        d.text.in(ctx.phase).checkEventKeys(eventOnly);
    }
    if (!deletes || d.thenCopy) {
        for (const KeyedTable& t : f.tables) {
            t.source.in(ctx.phase).checkEventKeys(eventOnly);
            t.lookup.in(ctx.phase).checkEventKeys(eventOnly);
        }
    }

    if (deletes && (!remove(ctx, parts) || !d.thenCopy)) {
        return;
    }
    copy(ctx, parts);
}

bool KeyedCopy::remove(HandlerContext& ctx, const std::vector<std::string>& parts) const {
    const KeyedDelete& d = m_family->deleteForm;
    db::Query keyRow(ctx.source);
    const KeyedText& keySource = d.keySource.in(ctx.phase);
    if (!keySource.empty()) {
        const std::string sql = keySource.build({ctx, parts});
        keyRow.open(sql);
        if (keyRow.isEmpty()) {
            // Empty key values would find no record, or the wrong one.
            const std::string message = goneKeyMessage(sql);
            ctx.errors.record(message, message);
            ctx.state.failed = true;
            return false;
        }
    }
    const std::string text =
        d.text.in(ctx.phase).build({ctx, parts, keySource.empty() ? nullptr : &keyRow});

    if (d.kind == DeleteKind::Statement) {
        try {
            ctx.destination.execute(text);
        } catch (const db::Error& e) {
            // A lost connection is no answer about this record.
            if (db::classify(e) != db::Failure::Refused) {
                throw;
            }
            // The database refused this record (still referenced, a trigger
            // said no): the event waits with the reason, the run goes on.
            ctx.errors.ManejarError(true, nullptr, e.message());
            ctx.state.failed = true;
            return false;
        }
        return true;
    }

    db::RecordSet found(ctx.destination);
    found.open(text);
    if (found.isEmpty()) {
        return true;
    }
    ctx.remove(found);
    while (d.kind == DeleteKind::EveryRow && !found.isEmpty()) {
        ctx.remove(found);  // the next row became current
    }
    return applyRow(ctx, found);
}

void KeyedCopy::copy(HandlerContext& ctx, const std::vector<std::string>& parts) const {
    for (const KeyedTable& t : m_family->tables) {
        db::Query source(ctx.source);
        source.open(t.source.in(ctx.phase).build({ctx, parts}));
        if (source.isEmpty()) {
            if (t.endsWhenGone) {
                return;
            }
            continue;  // nothing of this table to copy
        }
        for (source.first(); !source.eof(); source.next()) {
            copyRow(ctx, parts, t, source);
            if (!t.rowSet) {
                break;
            }
        }
    }
}

void KeyedCopy::copyRow(HandlerContext& ctx, const std::vector<std::string>& parts,
                        const KeyedTable& t, const db::RowSet& source) const {
    db::RecordSet found(ctx.destination);
    found.setReadBack(false);  // a master record written is never read again
    found.open(t.lookup.in(ctx.phase).build({ctx, parts, &source}));
    std::vector<int> keep;
    if (found.isEmpty()) {
        found.append();
    } else {
        KeyedStep step{ctx, source, found};
        if (t.leaveExisting && t.leaveExisting(step)) {
            return;
        }
        ctx.edit(found);
        keep = keptPositions(t, ctx.phase, found);
    }
    if (t.columns.empty()) {
        copyColumns(found, source, 0, ColumnMode::FourDecimals, keep);
    } else {
        copyNamedColumns(found, source, t.columns, keep);
    }
    ctx.post(found);
    applyRow(ctx, found);
}

}  // namespace replica
