#pragma once
// Whether a stream of the program is the systemd journal.
//
// systemd sets JOURNAL_STREAM to "DEVICE:INODE" of the stream it connects
// to the journal; a descriptor is the journal only when its own device and
// inode are those (the variable is inherited by children whose output goes
// elsewhere, and a redirection in a unit's shell line replaces the stream).

namespace replica::app {

// journalStream: the value of JOURNAL_STREAM (nullptr when it is not set).
bool isJournal(int fd, const char* journalStream);

// Standard output, by the environment's JOURNAL_STREAM.
bool standardOutputIsJournal();

// The prefix of an error or a warning line on standard error when it too
// is the journal ("<3>", "<4>"), otherwise "".
const char* stderrErrorPrefix();
const char* stderrWarningPrefix();

}  // namespace replica::app
