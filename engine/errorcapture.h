#pragma once
// The one routine every failure reaches (the main screen's `ManejarError`).
//
// It records the message on the event being handled (RPEV_ERROR, in the
// database the event was read from), appends it to errorenvio.txt and shows
// a translated text on the operator's "Ultimo error:" label. It keeps no
// state of its own beyond which event is current, which the event loop sets.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "engine/db/connection.h"
#include "engine/db/recordset.h"
#include "engine/event.h"

namespace replica {

class Operator;
class Logs;

class ErrorCapture {
  public:
    ErrorCapture(Operator& op, Logs& logs) : m_op(op), m_logs(logs) {}

    // The event being handled and the database it was read from; set by the
    // event loop for every event, cleared when a phase ends.
    // document names it for the operator (documentName), in the file's
    // line and on the label of each failure.
    void setCurrent(Phase phase, db::Connection* eventDatabase, std::int64_t eventId,
                    std::string document = {});
    void clearCurrent();
    Phase phase() const { return m_phase; }

    // hasSender: the failure comes from an object (a provider writing rows,
    // or anything raising an unhandled error) rather than from a record set
    // refusing a row in memory. rs: the record set involved, if any.
    // Writes errorenvio.txt, RPEV_ERROR (cut to 2048 characters) and the
    // screen. Throws when the UPDATE cannot be written; a file that cannot
    // be written loses its line only (Logs), the event still gets its
    // error.
    void ManejarError(bool hasSender, const db::RecordSet* rs, const std::string& message);
    // Records message on the event and in the file, and shows text as it
    // is (for the agent's own messages, which need no translation).
    void record(const std::string& message, const std::string& text);
    // Sets the "Ultimo error:" label to text as it is, recording nothing (a
    // handler announcing what it is about to undo).
    void showLastError(const std::string& text);
    // A record set refused a row in memory (post, edit, delete).
    void ManejarClientError(const db::RecordSet& rs, const std::string& message) {
        ManejarError(false, &rs, message);
    }
    // An error no one handled reached the application.
    void ENoManejada(const std::string& message) { ManejarError(true, nullptr, message); }

    // The callback for RecordSet::apply: a provider failed to write a row.
    db::RecordSet::ErrorCallback applyCallback(const db::RecordSet& rs);
    // The same for an event that already failed once and goes on writing its
    // other records: the file and the screen get the further refusal, while
    // RPEV_ERROR keeps the first one, the reason the event stays pending.
    db::RecordSet::ErrorCallback furtherApplyCallback(const db::RecordSet& rs);

    // What "Ultimo error: " is followed by on screen for a message: with a
    // sender (or no record set), the message less a final full stop or line
    // break; a record set's refusal in memory, translated.
    static std::string screenText(bool hasSender, const db::RecordSet* rs,
                                  const std::string& message);
    // The database's common refusals (a repeated key, a missing or still
    // referenced record, a CHECK, a required or too long value, a record
    // another transaction holds) in the operator's words, naming the table,
    // column or constraint the message names; "" for any other message,
    // which is shown as the database words it.
    static std::string refusalText(const std::string& message);
    // The message as RPEV_ERROR (VARCHAR(2048)) can hold it: its first 2048
    // characters, never cutting a UTF-8 sequence in half.
    static std::string storedText(const std::string& message);
    // message with the text of a raised exception first (its number and
    // name after it, in brackets); any other message as it is.
    static std::string exceptionFirst(const std::string& message);
    static constexpr std::size_t kMaxStoredChars = 2048;

    std::int64_t currentEventId() const { return m_eventId; }

  private:
    void report(const std::string& message, const std::string& text, bool onEvent);

    Operator& m_op;
    Logs& m_logs;
    Phase m_phase = Phase::None;
    db::Connection* m_eventDatabase = nullptr;
    std::int64_t m_eventId = 0;
    std::string m_document;
};

// How the operator reads which document an event is: its type, prefix and
// number (and code, for a master record).
std::string documentName(const Event& e);

}  // namespace replica
