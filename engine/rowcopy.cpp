#include "engine/rowcopy.h"

#include <algorithm>
#include <stdexcept>

#include "engine/catalogue.h"
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
        if (mode == ColumnCopy::FourDecimals && !v.isNull() && from.column(i).isFixedPoint()) {
            to.set(i, db::Value(v.asCurrency()));
        } else {
            to.set(i, v);
        }
    }
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
