#include "engine/event.h"

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
        throw RunStopped{};
    }
}

}  // namespace

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

void HandlerContext::edit(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.edit(); });
}

void HandlerContext::remove(db::RecordSet& rs) {
    inMemory(errors, rs, [&] { rs.remove(); });
}

}  // namespace replica
