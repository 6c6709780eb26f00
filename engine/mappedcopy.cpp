#include "engine/mappedcopy.h"

#include "engine/db/query.h"
#include "engine/db/recordset.h"
#include "engine/sql.h"

namespace replica {

namespace {

void fill(db::RecordSet& to, const std::vector<MapEntry>& map, const MapStep& step) {
    for (const MapEntry& e : map) {
        to.set(e.column, e.from.value(step));
    }
}

}  // namespace

db::Value From::value(const MapStep& step) const {
    switch (m_kind) {
        case Kind::Column:
            return step.row().value(m_name);
        case Kind::Text:
            return db::Value(step.row().asText(m_name));
        case Kind::HeaderText:
            return db::Value(step.header.asText(m_name));
        case Kind::Event:
            switch (m_field) {
                case EventField::Pref:
                    return db::Value(step.ctx.event.prefix);
                case EventField::Number:
                    return db::Value(step.ctx.event.number);
                case EventField::PrefDest:
                    return db::Value(step.ctx.event.prefixDest);
                case EventField::IdDoc:
                    return db::Value(static_cast<std::int64_t>(std::stoll(step.ctx.iddoc())));
            }
            break;
        case Kind::Literal:
            return m_literal;
        case Kind::Join: {
            std::string joined;
            for (const From& part : m_parts) {
                joined += part.value(step).asText();
            }
            return db::Value(std::move(joined));
        }
        case Kind::ByPhase:
            return m_parts[step.ctx.phase == Phase::Upload ? 1 : 0].value(step);
        case Kind::ByHeader:
            return m_parts[step.isNew ? 0 : 1].value(step);
    }
    return db::Value();
}

From col(std::string name) {
    From f(From::Kind::Column);
    f.m_name = std::move(name);
    return f;
}

From text(std::string name) {
    From f(From::Kind::Text);
    f.m_name = std::move(name);
    return f;
}

From headerText(std::string name) {
    From f(From::Kind::HeaderText);
    f.m_name = std::move(name);
    return f;
}

From ev(EventField field) {
    From f(From::Kind::Event);
    f.m_field = field;
    return f;
}

From lit(db::Value value) {
    From f(From::Kind::Literal);
    f.m_literal = std::move(value);
    return f;
}

From join(std::vector<From> parts) {
    From f(From::Kind::Join);
    f.m_parts = std::move(parts);
    return f;
}

From perPhase(From download, From upload) {
    From f(From::Kind::ByPhase);
    f.m_parts = {std::move(download), std::move(upload)};
    return f;
}

From newOrExisting(From whenNew, From whenExisting) {
    From f(From::Kind::ByHeader);
    f.m_parts = {std::move(whenNew), std::move(whenExisting)};
    return f;
}

void MappedCopy::run(HandlerContext& ctx) const {
    const std::string& op = ctx.event.operation;
    if (op == "D") {
        removeDocument(ctx);
    } else if (op == "A" && !m_family->annulColumn.empty()) {
        annulDocument(ctx);
    } else {
        copyDocument(ctx);
    }
}

std::string MappedCopy::deleteAnnulLookup(const HandlerContext& ctx) const {
    const MappedFamily& f = *m_family;
    return f.lookupDeleteAnnul ? f.lookupDeleteAnnul(ctx, nullptr) : f.lookup(ctx, nullptr);
}

void MappedCopy::removeDocument(HandlerContext& ctx) const {
    db::RecordSet found(ctx.destination);
    found.open(deleteAnnulLookup(ctx));
    if (found.isEmpty()) {
        return;
    }
    // Only the header: its lines are left to the database.
    ctx.remove(found);
    ctx.apply(found);
}

void MappedCopy::annulDocument(HandlerContext& ctx) const {
    db::RecordSet found(ctx.destination);
    found.open(deleteAnnulLookup(ctx));
    if (found.isEmpty()) {
        return;
    }
    ctx.edit(found);
    found.set(m_family->annulColumn, db::Value("S"));
    writeRow(ctx, found);
}

void MappedCopy::copyDocument(HandlerContext& ctx) const {
    const MappedFamily& f = *m_family;
    ctx.state.destinationId = 0;
    const std::string iddoc = ctx.iddoc();

    db::Query source(ctx.source);
    source.open(f.source + iddoc);
    if (source.isEmpty()) {
        return;  // the document is gone from the source: nothing to copy
    }
    db::RecordSet header(ctx.destination);
    header.open(f.lookup(ctx, &source));
    const bool isNew = header.isEmpty();
    const MapStep step{ctx, source, nullptr, isNew};
    if (isNew) {
        header.append();
        fill(header, f.header, step);
        if (!f.generator.empty()) {
            db::Query generator(ctx.destination);
            generator.open(f.generator);
            if (!generator.isEmpty()) {
                header.set(0, db::Value(generator.asInt(0)));
            }
        }
    } else {
        if (!f.lines.clear.empty()) {
            ctx.destination.execute(f.lines.clear + header.asText(0));
        }
        ctx.state.destinationId = static_cast<std::int32_t>(header.asInt(0));
        ctx.edit(header);
        fill(header, f.header, step);
    }
    if (!writeRow(ctx, header)) {
        return;  // after a refused replace the old lines are already gone
    }
    // The id as stored, so the lines always point at their header.
    ctx.state.destinationId = static_cast<std::int32_t>(header.asInt(0));
    // Whatever makes this event fail from here on, the lines and the header
    // are taken back.
    eventStep(ctx, [&] { copyLines(ctx, source, isNew); });
    if (ctx.state.failed) {
        undo(ctx);
    }
}

void MappedCopy::copyLines(HandlerContext& ctx, const db::RowSet& header, bool isNew) const {
    const MappedLines& l = m_family->lines;
    db::Query source(ctx.source);
    source.open(l.source + ctx.iddoc());
    db::RecordSet lines(ctx.destination);
    lines.setReadBack(false);  // a line written is never read again
    lines.open(l.destination + sqlInt(ctx.state.destinationId));
    const MapStep step{ctx, header, &source, isNew};
    for (source.first(); !source.eof() && !ctx.state.failed; source.next()) {
        lines.append();
        lines.set(0, db::Value(static_cast<std::int64_t>(ctx.state.destinationId)));
        fill(lines, l.map, step);
        writeRow(ctx, lines);
    }
}

void MappedCopy::undo(HandlerContext& ctx) const {
    // No transaction spans a document: the lines written under the document
    // go first, so no line is left without its header, then the family's
    // own statements take back the header.
    const std::string id = sqlInt(ctx.state.destinationId);
    if (!m_family->lines.clear.empty()) {
        ctx.destination.execute(m_family->lines.clear + id);
    }
    for (const std::string& sql : m_family->undo) {
        ctx.destination.execute(sql + id);
    }
}

LookupText byOrigin(std::string head, std::string prefixPart) {
    return [head = std::move(head), prefixPart = std::move(prefixPart)](const HandlerContext& ctx,
                                                                        const db::RowSet*) {
        return head + ctx.iddoc() + prefixPart + Q(ctx.event.prefixDest);
    };
}

LookupText byReferText(std::string head) {
    return [head = std::move(head)](const HandlerContext& ctx, const db::RowSet*) {
        return head + Q(ctx.event.prefix + ctx.event.number);
    };
}

LookupText perPhase(LookupText download, LookupText upload) {
    return [download = std::move(download), upload = std::move(upload)](const HandlerContext& ctx,
                                                                        const db::RowSet* source) {
        return ctx.phase == Phase::Upload ? upload(ctx, source) : download(ctx, source);
    };
}

}  // namespace replica
