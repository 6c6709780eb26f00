#include "engine/event.h"

#include "engine/errorcapture.h"

namespace replica {

bool HandlerContext::apply(db::RecordSet& rs) {
    const int failedRows = rs.apply(0, errors.applyCallback(rs));
    if (failedRows > 0) {
        state.failed = true;
    }
    return failedRows == 0;
}

namespace {

template <class F>
void inMemory(ErrorCapture& errors, db::RecordSet& rs, F&& change) {
    try {
        change();
    } catch (const db::PostError& e) {
        errors.ManejarClientError(rs, e.message());
        throw RunStopped{};
    }
}

}  // namespace

void HandlerContext::post(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.post(); });
}

void HandlerContext::edit(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.edit(); });
}

void HandlerContext::remove(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.remove(); });
}

}  // namespace replica
