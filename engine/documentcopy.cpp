#include "engine/documentcopy.h"

#include "engine/sql.h"

namespace replica {

void DocumentCopy::run(HandlerContext& ctx) const {
    const DocumentFamily& f = *m_family;
    const std::string& op = ctx.event.operation;
    ctx.requireNumbers(f.numbers);
    if (among(f.deleteLetters, op)) {
        if (f.deleteDocument) {
            f.deleteDocument(ctx);
        } else {
            removeDocument(ctx);
        }
    } else if (!f.annulColumn.empty() && op == kAnnulLetter) {
        annulDocument(ctx);
    } else {
        copyDocument(ctx);
    }
}

std::string DocumentCopy::removalLookup(const HandlerContext& ctx) const {
    const LookupText& removal = m_family->removalLookup.in(ctx.phase);
    return removal ? removal(ctx, nullptr) : m_family->lookup.in(ctx.phase)(ctx, nullptr);
}

void DocumentCopy::removeDocument(HandlerContext& ctx) const {
    db::RecordSet found(ctx.destination);
    found.open(removalLookup(ctx));
    if (found.isEmpty()) {
        return;
    }
    // Only the header: its detail rows are left to the database.
    ctx.remove(found);
    ctx.apply(found);
}

void DocumentCopy::annulDocument(HandlerContext& ctx) const {
    db::RecordSet found(ctx.destination);
    found.open(removalLookup(ctx));
    if (found.isEmpty()) {
        return;
    }
    ctx.edit(found);
    found.set(m_family->annulColumn, db::Value("S"));
    writeRow(ctx, found);
}

void DocumentCopy::copyDocument(HandlerContext& ctx) const {
    const DocumentFamily& f = *m_family;
    ctx.state.destinationId = 0;
    const std::string iddoc = ctx.iddoc();

    db::Query source(ctx.source);
    source.open(f.source + iddoc);
    if (source.isEmpty()) {
        return;  // the document is gone from the source: nothing to copy
    }
    db::RecordSet header(ctx.destination);
    HeaderStep step{ctx, source, header};
    if (f.holdBack && f.holdBack(step)) {
        return;
    }
    if (f.beforeLookup) {
        f.beforeLookup(step);
    }
    header.open(f.lookup.in(ctx.phase)(ctx, &source));
    if (!header.isEmpty() && f.leaveExisting && f.leaveExisting(step)) {
        return;
    }
    const bool written = header.isEmpty() ? insertHeader(step) : replaceHeader(step);
    if (!written) {
        return;  // after a refused replace the old lines are already gone
    }
    // The header is in the destination now: whatever makes this event fail
    // from here on, its lines and header are taken back.
    eventStep(ctx, [&] {
        if (f.afterHeader) {
            f.afterHeader(step);
        }
        copyDetails(step);
        if (f.afterDetails) {
            f.afterDetails(step);
        }
    });
    if (ctx.state.failed) {
        undo(step);
    } else if (f.afterSuccess) {
        f.afterSuccess(step);
    }
}

bool DocumentCopy::insertHeader(HeaderStep& step) const {
    const DocumentFamily& f = *m_family;
    db::RecordSet& header = step.header;
    step.isNew = true;
    header.append();
    f.header.fill(header, MapStep{step.ctx, step.source, nullptr, true}, false);
    if (f.afterCopy) {
        f.afterCopy(step);
    }
    if (!f.generator.empty()) {
        db::Query generator(step.ctx.destination);
        generator.open(f.generator);
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
    if (!writeRow(step.ctx, header)) {
        return false;
    }
    // The id as stored: the generator's, or the source's when the view gave
    // none, so the lines always point at their header.
    step.ctx.state.destinationId = static_cast<std::int32_t>(header.asInt(0));
    return true;
}

bool DocumentCopy::replaceHeader(HeaderStep& step) const {
    const DocumentFamily& f = *m_family;
    HandlerContext& ctx = step.ctx;
    db::RecordSet& header = step.header;
    const std::string foundId = header.asText(0);
    for (const DetailTable& t : f.details) {
        if (t.copied.in(ctx.phase) && !t.clear.empty()) {
            ctx.destination.execute(t.clear + foundId);
        }
    }
    ctx.state.destinationId = static_cast<std::int32_t>(header.asInt(0));
    ctx.edit(header);
    // NUMOK is the destination's own mark on the document: a replace keeps
    // it; only a new header gets "N".
    std::vector<int> keep;
    if (f.numok == NumOk::NewHeader && header.indexOf("NUMOK") >= 0) {
        keep.push_back(header.indexOf("NUMOK"));
    }
    f.header.fill(header, MapStep{ctx, step.source, nullptr, false}, true, keep);
    if (f.afterCopy) {
        f.afterCopy(step);
    }
    if (f.numok == NumOk::Always) {
        header.set("NUMOK", db::Value("N"));
    }
    if (f.beforePost) {
        f.beforePost(step);
    }
    return writeRow(ctx, header);
}

void DocumentCopy::copyDetails(HeaderStep& step) const {
    for (const DetailTable& t : m_family->details) {
        if (!t.copied.in(step.ctx.phase) || (t.copyWhen && !t.copyWhen(step))) {
            continue;
        }
        if (step.ctx.state.failed) {
            break;
        }
        copyDetail(step, t);
    }
}

void DocumentCopy::copyDetail(HeaderStep& step, const DetailTable& t) const {
    HandlerContext& ctx = step.ctx;
    db::Query source(ctx.source);
    source.open(t.source + ctx.iddoc());
    db::RecordSet lines(ctx.destination);
    lines.setReadBack(false);  // a line written is never read again
    const std::string destination = t.destination + sqlInt(ctx.state.destinationId);
    if (step.generated) {
        lines.openEmpty(destination);  // a header with a fresh id has no lines yet
    } else {
        lines.open(destination);
    }
    // A whole document commits or goes back as one, so its lines need not
    // reach the destination one exchange each: they are written together
    // once the table's last is filled (or when a step after a line needs
    // them there).
    const bool together = ctx.options.atomicDocuments;
    lines.setWriteTogether(together);
    const MapStep map{ctx, step.source, &source, step.isNew};
    for (source.first(); !source.eof() && !ctx.state.failed; source.next()) {
        lines.append();
        LineStep line{ctx, lines, source, step.source};
        t.fill.fill(lines, map, false);
        lines.set(0, db::Value(static_cast<std::int64_t>(ctx.state.destinationId)));
        if (t.beforePost) {
            t.beforePost(line);
        }
        bool posted = true;
        if (together) {
            posted = ctx.postForLater(lines);
        } else {
            ctx.post(lines);
        }
        if (posted && t.afterWrite) {
            t.afterWrite(line);
        }
        // Row by row, each line is written before the next is filled, with
        // what its step had run after it.
        if (!together && lines.changeCount() > 0) {
            ctx.apply(lines);
        }
    }
    if (together && !ctx.state.failed) {
        ctx.apply(lines);
    }
}

void LineStep::thenRun(const std::string& sql) {
    if (!line.runAfterRow(sql)) {
        ctx.destination.execute(sql);
    }
}

void DocumentCopy::undo(HeaderStep& step) const {
    const DocumentFamily& f = *m_family;
    HandlerContext& ctx = step.ctx;
    if (f.beforeUndo) {
        f.beforeUndo(step);
    }
    // No transaction spans a document: the lines written under the document
    // go first, so no line is left without its header, then the family's
    // own statements take back the header.
    const std::string id = sqlInt(ctx.state.destinationId);
    for (const DetailTable& t : f.details) {
        const std::string& lines = t.undo.empty() ? t.clear : t.undo;
        if (t.copied.in(ctx.phase) && !lines.empty()) {
            ctx.destination.execute(lines + id);
        }
    }
    for (const std::string& sql : f.undo) {
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

}  // namespace replica
