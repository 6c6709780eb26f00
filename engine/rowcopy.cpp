#include "engine/rowcopy.h"

#include <algorithm>
#include <stdexcept>

#include "engine/catalogue.h"
#include "engine/sql.h"

namespace replica {

namespace {

db::Value copied(const db::Value& v, const db::Column& column, ColumnMode mode) {
    switch (mode) {
        case ColumnMode::Variant:
            break;
        case ColumnMode::FourDecimals:
            if (!v.isNull() && column.isFixedPoint()) {
                return db::Value(v.asCurrency());
            }
            break;
        case ColumnMode::Currency:
            return db::Value(v.asCurrency());  // null reads as 0
        case ColumnMode::Text:
            return db::Value(v.asText());  // null reads as ""
    }
    return v;
}

}  // namespace

void copyColumns(db::RecordSet& to, const db::RowSet& from, int firstColumn, ColumnMode mode,
                 const std::vector<int>& skip) {
    const int count = to.columnCount();
    if (from.columnCount() < count) {
        throw std::out_of_range("source row of " + std::to_string(from.columnCount()) +
                                " columns copied into " + to.tableName() + " of " +
                                std::to_string(count) + " columns");
    }
    for (int i = firstColumn; i < count; ++i) {
        if (std::find(skip.begin(), skip.end(), i) == skip.end()) {
            to.set(i, copied(from.value(i), from.column(i), mode));
        }
    }
}

void copyNamedColumns(db::RecordSet& to, const db::RowSet& from,
                      const std::vector<NamedColumn>& columns, const std::vector<int>& keep) {
    for (const NamedColumn& c : columns) {
        const int at = to.requireIndex(c.name);
        if (std::find(keep.begin(), keep.end(), at) == keep.end()) {
            const int i = from.requireIndex(c.name);
            to.set(at, copied(from.value(i), from.column(i), c.mode));
        }
    }
}

db::Value From::value(const MapStep& step) const {
    switch (m_kind) {
        case Kind::Column:
            return step.row().value(m_name);
        case Kind::Text:
            return db::Value(step.row().asText(m_name));
        case Kind::HeaderText:
            return db::Value(step.header.asText(m_name));
        case Kind::Event:
            if (m_field == EventField::IdDoc) {
                return db::Value(static_cast<std::int64_t>(std::stoll(step.ctx.iddoc())));
            }
            return db::Value(step.ctx.text(m_field));
        case Kind::Literal:
            return m_literal;
        case Kind::Join: {
            std::string joined;
            for (const From& part : m_parts) {
                joined += part.value(step).asText();
            }
            return db::Value(std::move(joined));
        }
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

From newOrExisting(From whenNew, From whenExisting) {
    From f(From::Kind::ByHeader);
    f.m_parts = {std::move(whenNew), std::move(whenExisting)};
    return f;
}

RowFill RowFill::byPosition(ColumnMode mode, std::vector<int> keepOnReplace) {
    RowFill f;
    f.m_mode = mode;
    f.m_keepOnReplace = std::move(keepOnReplace);
    return f;
}

RowFill RowFill::mapped(std::vector<MapEntry> map) {
    RowFill f;
    f.m_mapped = true;
    f.m_map = std::move(map);
    return f;
}

void RowFill::fill(db::RecordSet& to, const MapStep& step, bool replace,
                   const std::vector<int>& keep) const {
    if (m_mapped) {
        for (const MapEntry& e : m_map) {
            to.set(e.column, e.from.in(step.ctx.phase).value(step));
        }
        return;
    }
    if (!replace) {
        copyColumns(to, step.row(), 0, m_mode);
        return;
    }
    std::vector<int> skip = m_keepOnReplace;
    skip.insert(skip.end(), keep.begin(), keep.end());
    copyColumns(to, step.row(), 1, m_mode, skip);
}

bool writeRow(HandlerContext& ctx, db::RecordSet& rs) {
    ctx.post(rs);
    return ctx.apply(rs);
}

LookupText byPrefixAndNumber(std::string head, std::string numberPart) {
    return [head = std::move(head), numberPart = std::move(numberPart)](const HandlerContext& ctx,
                                                                        const db::RowSet*) {
        return head + Q(ctx.event.prefix) + numberPart + Q(ctx.event.number);
    };
}

bool translateReference(HandlerContext& ctx, db::RecordSet& row, const ReferenceColumns& ref) {
    using Otherwise = ReferenceColumns::Otherwise;
    const int idColumn = ref.id.index(row);
    const auto otherwise = [&](Otherwise rule) {
        if (rule == Otherwise::Zero) {
            row.set(idColumn, db::Value(0));
        }
        return false;
    };
    const db::Value& type = row.editValue(ref.type.index(row));
    if (type.isNull()) {
        return otherwise(ref.otherCode);
    }
    const std::int64_t code = type.asInt();
    if (!ref.codes.empty() &&
        std::find(ref.codes.begin(), ref.codes.end(), code) == ref.codes.end()) {
        return otherwise(ref.otherCode);
    }
    const std::string sql =
        referenceSql(static_cast<int>(code), row.editValue(ref.prefix.index(row)).asText(),
                     row.editValue(ref.number.index(row)).asText());
    if (sql.empty()) {
        return otherwise(ref.otherCode);
    }
    db::Query found(ctx.destination);
    found.open(sql);
    if (found.isEmpty() || found.asText(0).empty()) {
        return otherwise(ref.notFound);
    }
    row.set(idColumn, found.value(0));
    return true;
}

}  // namespace replica
