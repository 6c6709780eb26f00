#include "engine/headerdetail.h"

#include <algorithm>
#include <stdexcept>

#include "engine/sql.h"

namespace replica {

void copyColumns(db::RecordSet& to, const db::RowSet& from, int firstColumn, ColumnCopy mode,
                 const std::vector<int>& skip) {
    const int count = to.columnCount();
    if (from.columnCount() < count) {
        throw std::out_of_range("source row of " + std::to_string(from.columnCount()) +
                                " columns copied into " + to.tableName() + " of " +
                                std::to_string(count) + " columns");
    }
    for (int i = firstColumn; i < count; ++i) {
        if (std::find(skip.begin(), skip.end(), i) != skip.end()) {
            continue;
        }
        const db::Value& v = from.value(i);
        if (mode == ColumnCopy::Rule && !v.isNull() && from.column(i).isFixedPoint()) {
            to.set(i, db::Value(v.asCurrency()));
        } else {
            to.set(i, v);
        }
    }
}

LookupText byPrefixAndNumber(std::string head, std::string numberPart) {
    return [head = std::move(head), numberPart = std::move(numberPart)](const HandlerContext& ctx,
                                                                        const db::Query*) {
        return head + Q(ctx.event.prefix) + numberPart + Q(ctx.event.number);
    };
}

void HeaderDetailCopy::run(HandlerContext& ctx) const {
    const DocumentFamily& f = *m_family;
    const std::string& op = ctx.event.operation;
    if (!f.deleteLetter.empty() && op == f.deleteLetter) {
        if (f.deleteDocument) {
            f.deleteDocument(ctx);
        } else {
            removeDocument(ctx);
        }
    } else if (!f.annulColumn.empty() && op == f.annulLetter) {
        annulDocument(ctx);
    } else {
        copyDocument(ctx);
    }
}

void HeaderDetailCopy::removeDocument(HandlerContext& ctx) const {
    db::RecordSet found(ctx.destination);
    found.open(m_family->lookup(ctx, nullptr));
    if (found.isEmpty()) {
        return;
    }
    // Only the header: its detail rows are left to the database.
    ctx.remove(found);
    ctx.apply(found);
}

void HeaderDetailCopy::annulDocument(HandlerContext& ctx) const {
    db::RecordSet found(ctx.destination);
    found.open(m_family->lookup(ctx, nullptr));
    if (found.isEmpty()) {
        return;
    }
    ctx.edit(found);
    found.set(m_family->annulColumn, db::Value("S"));
    ctx.post(found);
    ctx.apply(found);
}

void HeaderDetailCopy::copyDocument(HandlerContext& ctx) const {
    const DocumentFamily& f = *m_family;
    EventState& state = ctx.state;
    state.documentId = 0;

    db::Query source(ctx.source);
    source.open(f.sourceSql + ctx.event.iddocText);
    if (source.isEmpty()) {
        return;  // the document is gone from the source: nothing to copy
    }
    if (f.holdBack && f.holdBack(ctx, source)) {
        return;
    }
    if (f.beforeLookup) {
        f.beforeLookup(ctx, source);
    }

    db::RecordSet header(ctx.destination);
    header.open(f.lookup(ctx, &source));
    if (header.isEmpty()) {
        header.append();
        HeaderStep step{ctx, header, source, true, false};
        if (f.fillHeader) {
            f.fillHeader(step);
        } else {
            copyColumns(header, source, 0, f.headerCopy);
        }
        if (f.afterCopy) {
            f.afterCopy(step);
        }
        if (!f.generatorSql.empty()) {
            db::Query generator(ctx.destination);
            generator.open(f.generatorSql);
            if (!generator.isEmpty()) {
                header.set(0, db::Value(generator.asInt(0)));
                step.generated = true;
            }
        }
        if (f.numok != NumOk::Never) {
            header.set("NUMOK", db::Value("N"));
        }
        if (f.beforePost) {
            f.beforePost(step);
        }
        ctx.post(header);
        if (ctx.apply(header)) {
            // The id as stored: the generator's, or the source's when the
            // view gave none, so the lines always point at their header.
            state.documentId = static_cast<std::int32_t>(header.asInt(0));
            state.headerWritten = true;
        }
    } else {
        if (f.leaveExisting && f.leaveExisting(ctx, header)) {
            return;
        }
        const std::string foundId = header.asText(0);
        for (const DetailTable& t : f.details) {
            if (!t.clearSql.empty()) {
                ctx.destination.execute(t.clearSql + foundId);
            }
        }
        state.documentId = static_cast<std::int32_t>(header.asInt(0));
        ctx.edit(header);
        HeaderStep step{ctx, header, source, false, false};
        if (f.fillHeader) {
            f.fillHeader(step);
        } else {
            // NUMOK is the destination's own mark on the document: a replace
            // keeps it; only a new header gets "N".
            std::vector<int> keep = f.keepOnReplace;
            if (f.numok == NumOk::NewHeader && header.indexOf("NUMOK") >= 0) {
                keep.push_back(header.indexOf("NUMOK"));
            }
            copyColumns(header, source, 1, f.headerCopy, keep);
        }
        if (f.afterCopy) {
            f.afterCopy(step);
        }
        if (f.numok == NumOk::Always) {
            header.set("NUMOK", db::Value("N"));
        }
        if (f.beforePost) {
            f.beforePost(step);
        }
        ctx.post(header);
        if (ctx.apply(header)) {
            state.headerWritten = true;
        }
    }
    header.close();
    if (!state.headerWritten) {
        return;  // after a refused replace the old lines are already gone
    }

    if (f.afterHeader) {
        f.afterHeader(ctx, source);
    }
    for (const DetailTable& t : f.details) {
        if (t.when && !t.when(ctx)) {
            continue;
        }
        if (state.failed) {
            break;
        }
        copyDetail(ctx, t, source);
    }
    if (f.afterDetails) {
        f.afterDetails(ctx, source);
    }

    if (state.failed) {
        // No transaction spans a document: the family's own statements take
        // back what was written (lines already applied stay unless it says).
        if (f.beforeUndo) {
            f.beforeUndo(ctx);
        }
        const std::string id = sqlInt(state.documentId);
        for (const std::string& sql : f.undoSql) {
            ctx.destination.execute(sql + id);
        }
    } else if (f.afterSuccess) {
        f.afterSuccess(ctx, source);
    }
}

void HeaderDetailCopy::copyDetail(HandlerContext& ctx, const DetailTable& t,
                                  const db::Query& header) const {
    EventState& state = ctx.state;
    db::Query source(ctx.source);
    source.open(t.sourceSql + ctx.event.iddocText);
    db::RecordSet lines(ctx.destination);
    lines.open(t.destinationSql + sqlInt(state.documentId));
    for (source.first(); !source.eof() && !state.failed; source.next()) {
        lines.append();
        LineStep step{ctx, lines, source, header};
        if (t.fill) {
            t.fill(step);
        } else {
            copyColumns(lines, source, 0);
            lines.set(0, db::Value(static_cast<std::int64_t>(state.documentId)));
        }
        if (t.beforePost) {
            t.beforePost(step);
        }
        ctx.post(lines);
        if (ctx.apply(lines) && t.afterApply) {
            t.afterApply(step);
        }
    }
}

}  // namespace replica
