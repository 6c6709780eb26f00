#include "engine/db/params.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace replica::db::fb {

namespace {

// The message type a parameter is sent as.
struct ParamType {
    unsigned type;
    int scale;
    unsigned length;
    unsigned charSet;
    int subType;
};

// The longest text a VARCHAR parameter can carry. Longer texts are refused
// as the database refuses a text longer than its column, never cut.
constexpr std::size_t kMaxTextBytes = 32765;

// A BLOB is written in segments of this size.
constexpr std::size_t kBlobSegment = 32768;

void checkLength(std::size_t bytes, const Column& c) {
    if (bytes > kMaxTextBytes) {
        throw Error(
            "arithmetic exception, numeric overflow, or string truncation\n-string right "
            "truncation\n-column " +
                c.name + ": " + std::to_string(bytes) + " bytes do not fit",
            ErrorKind::Constraint);
    }
}

// A VARCHAR wide enough for the column and for the value, at least `least`
// bytes, at most what a parameter can carry.
unsigned varyingLength(const Column& c, std::size_t bytes, unsigned least) {
    checkLength(bytes, c);
    const unsigned columnBytes = static_cast<unsigned>(std::max(c.length, 1)) * 4;
    return std::min<unsigned>(std::max({columnBytes, static_cast<unsigned>(bytes), least}),
                              kMaxTextBytes);
}

// The type a NULL is sent as: the one a value of the column would usually
// travel as, so that a row with a null keeps the layout of its neighbours
// (any type carries a NULL).
ParamType nullType(const Column& c) {
    switch (c.type) {
        case ColumnType::SmallInt:
        case ColumnType::Integer:
        case ColumnType::BigInt:
            return {SQL_INT64, c.scale, 8, 0, 0};
        case ColumnType::Float:
        case ColumnType::Double:
            return {SQL_DOUBLE, 0, 8, 0, 0};
        case ColumnType::Date:
            return {SQL_TYPE_DATE, 0, 4, 0, 0};
        case ColumnType::Time:
            return {SQL_TYPE_TIME, 0, 4, 0, 0};
        case ColumnType::Timestamp:
            return {SQL_TIMESTAMP, 0, 8, 0, 0};
        case ColumnType::Char:
        case ColumnType::VarChar:
            return {SQL_VARYING, 0, varyingLength(c, 0, 64), 4, 0};
        default:
            return {SQL_VARYING, 0, 4, 4, 0};
    }
}

ParamType paramType(const Param& p) {
    const Column& c = *p.column;
    if (c.isBlob()) {
        return {SQL_BLOB, 0, 8, c.subType == 1 ? 4u : 0u, c.subType};
    }
    switch (p.value->kind()) {
        case Value::Kind::Null:
            return nullType(c);
        case Value::Kind::Int:
            return {SQL_INT64, 0, 8, 0, 0};
        case Value::Kind::Decimal:
            return {SQL_INT64, p.value->decimal()->scale, 8, 0, 0};
        case Value::Kind::Currency:
            return {SQL_INT64, -4, 8, 0, 0};
        case Value::Kind::Double:
            return {SQL_DOUBLE, 0, 8, 0, 0};
        case Value::Kind::Date:
            return {SQL_TYPE_DATE, 0, 4, 0, 0};
        case Value::Kind::Time:
            return {SQL_TYPE_TIME, 0, 4, 0, 0};
        case Value::Kind::Timestamp:
            return {SQL_TIMESTAMP, 0, 8, 0, 0};
        case Value::Kind::Text:
            return {SQL_VARYING, 0, varyingLength(c, p.value->text()->size(), 64), 4, 0};
        case Value::Kind::Bytes:
            return {SQL_VARYING, 0, varyingLength(c, p.value->bytes()->data.size(), 1), 1, 0};
    }
    return {SQL_VARYING, 0, 4, 4, 0};
}

// Message layouts are cached by their types: building one costs a dozen
// client calls per parameter, and a copy sends the same layout row after row.
// The key is the types' bytes (five 4-byte fields each, no padding).
static_assert(sizeof(ParamType) == 5 * sizeof(unsigned));
std::string signatureOf(const std::vector<ParamType>& types) {
    return std::string(reinterpret_cast<const char*>(types.data()),
                       types.size() * sizeof(ParamType));
}

MessageLayout buildLayout(const std::vector<ParamType>& types) {
    Status st;
    Ref<Firebird::IMetadataBuilder> builder(
        master()->getMetadataBuilder(&st, static_cast<unsigned>(types.size())));
    for (unsigned i = 0; i < types.size(); ++i) {
        const ParamType& t = types[i];
        builder->setType(&st, i, t.type | 1);  // nullable
        builder->setSubType(&st, i, t.subType);
        builder->setLength(&st, i, t.length);
        builder->setScale(&st, i, t.scale);
        builder->setCharSet(&st, i, t.charSet);
    }
    Ref<IMessageMetadata> built(builder->getMetadata(&st));
    return layoutOf(built.get());
}

const MessageLayout& layoutFor(Connection& conn, const std::vector<ParamType>& types) {
    auto& cache = conn.impl().messages;
    const std::string signature = signatureOf(types);
    auto found = cache.find(signature);
    if (found != cache.end()) {
        return found->second;
    }
    if (cache.size() >= 512) {
        cache.clear();
    }
    return cache.emplace(signature, buildLayout(types)).first->second;
}

template <class T>
void put(unsigned char* at, const T& x) {
    std::memcpy(at, &x, sizeof x);
}

// Writes data into a new BLOB of tra and returns its id.
ISC_QUAD writeBlob(Connection& conn, ITransaction* tra, const std::string& data) {
    Status st;
    ISC_QUAD id;
    Ref<Firebird::IBlob> blob(conn.impl().att->createBlob(&st, tra, &id, 0, nullptr));
    for (std::size_t off = 0; off < data.size(); off += kBlobSegment) {
        const unsigned len =
            static_cast<unsigned>(std::min<std::size_t>(kBlobSegment, data.size() - off));
        blob->putSegment(&st, len, data.data() + off);
    }
    blob->close(&st);
    blob.dismiss();
    return id;
}

// The scaled integer of an integer, decimal or currency value.
std::int64_t scaledInteger(const Value& v) {
    if (v.kind() == Value::Kind::Int) {
        return v.asInt();
    }
    if (v.kind() == Value::Kind::Decimal) {
        return v.decimal()->mantissa;
    }
    return v.asCurrency().raw();
}

ISC_DATE encodeDate(const Date& d) {
    return util()->encodeDate(static_cast<unsigned>(d.year), static_cast<unsigned>(d.month),
                              static_cast<unsigned>(d.day));
}

ISC_TIME encodeTime(const Time& t) {
    return util()->encodeTime(static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
                              static_cast<unsigned>(t.second), static_cast<unsigned>(t.fraction));
}

// A VARCHAR: its length in two bytes, then its bytes (paramType made sure
// they fit).
void putVarying(unsigned char* at, const std::string& data) {
    const std::uint16_t len = static_cast<std::uint16_t>(data.size());
    put(at, len);
    // A VARCHAR's bytes follow its length: never a terminated C string.
    std::memcpy(at + sizeof len, data.data(), len);  // NOLINT(bugprone-not-null-terminated-result)
}

// Writes a value that is not null at its place in the message.
void putValue(Connection& conn, ITransaction* tra, const Value& v, unsigned type,
              unsigned char* at) {
    switch (type) {
        case SQL_BLOB:
            put(at, writeBlob(conn, tra, v.asText()));
            break;
        case SQL_INT64:
            put(at, scaledInteger(v));
            break;
        case SQL_DOUBLE:
            put(at, v.asDouble());
            break;
        case SQL_TYPE_DATE:
            put(at, encodeDate(*v.date()));
            break;
        case SQL_TYPE_TIME:
            put(at, encodeTime(*v.time()));
            break;
        case SQL_TIMESTAMP: {
            const Timestamp& ts = *v.timestamp();
            ISC_TIMESTAMP x;
            x.timestamp_date = encodeDate(ts.date);
            x.timestamp_time = encodeTime(ts.time);
            put(at, x);
            break;
        }
        case SQL_VARYING:
            putVarying(at, v.asText());
            break;
        default:
            break;
    }
}

}  // namespace

InputMessage encodeParams(Connection& conn, ITransaction* tra, const std::vector<Param>& params) {
    std::vector<ParamType> types;
    types.reserve(params.size());
    for (const Param& p : params) {
        types.push_back(paramType(p));
    }
    const MessageLayout& layout = layoutFor(conn, types);
    InputMessage message{layout.meta.get(), std::vector<unsigned char>(layout.length)};
    for (std::size_t i = 0; i < params.size(); ++i) {
        const MessageLayout::Field& f = layout.fields[i];
        const std::int16_t isNull = params[i].value->isNull() ? -1 : 0;
        put(message.buffer.data() + f.nullOffset, isNull);
        if (!isNull) {
            putValue(conn, tra, *params[i].value, types[i].type, message.buffer.data() + f.offset);
        }
    }
    return message;
}

}  // namespace replica::db::fb
