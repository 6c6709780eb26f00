#pragma once
// The agent's text files in the application directory: errorenvio.txt and
// ENVIO.TXT (and ERRORES.TXT for the login screen). Lines are appended and
// written through at once; the files are never truncated or rotated.
//
// The run's own lines (error() and audit()) never stop replication: the
// database keeps the truth of every event (RPEV_FECREP, RPEV_ERROR), so a
// file that cannot be written (a missing directory, a full disk) only loses
// its line. The first such failure is kept until takeFailure(), for the run
// to report once.
//
// The application directory is asked for afresh every time a file is
// needed, through the provider the program installs (the registry value on
// the desktop, REPLICA_APP_DIR for services and tests).
//
// One Logs belongs to one thread; several (upload phases served side by
// side) may append to the same files at once, a whole line at a time.

#include <cstdint>
#include <functional>
#include <string>

namespace replica {

class Logs {
  public:
    // Returns the application directory ("" when it cannot be found: the
    // provider has already told the operator).
    using DirectoryProvider = std::function<std::string()>;
    explicit Logs(DirectoryProvider dir) : m_dir(std::move(dir)) {}

    std::string directory() const { return m_dir ? m_dir() : std::string(); }
    // Full path of a file of the application directory ("/" joins them).
    std::string file(const std::string& name) const;

    // Appends one line, date + "," + time + "," + text, to errorenvio.txt.
    // Never throws (see above).
    void error(const std::string& text);
    // The same line with the date and time the caller already shows
    // elsewhere (so the screen and the file agree to the second).
    void error(const std::string& date, const std::string& time, const std::string& text);
    // The ENVIO.TXT line of an event reached by the event loop. Never
    // throws.
    void audit(std::int64_t eventId, int type, const std::string& key);
    // The upload phase's last event query, the last field of ENVIO.TXT.
    void setLastUploadQuery(std::string sql) { m_lastUploadQuery = std::move(sql); }
    const std::string& lastUploadQuery() const { return m_lastUploadQuery; }
    // Appends text and a line break to the named file of the directory.
    // Throws std::runtime_error, naming the file and the system's reason,
    // when it cannot be written (for callers that report it themselves).
    void append(const std::string& name, const std::string& line);

    // Why the first line lost since the last call could not be written;
    // empty when none was lost. Clears it.
    std::string takeFailure();
    // Keeps failure as the first line lost, unless one is kept already (the
    // lost lines of another Logs of the same run).
    void keepFailure(std::string failure);

  private:
    // append() for the run's own lines: a failure is kept, not thrown.
    void appendKept(const std::string& name, const std::string& line) noexcept;

    DirectoryProvider m_dir;
    std::string m_failure;
    std::string m_lastUploadQuery =
        "select * from replica_eventos where rpev_fecrep is null order by rpev_fecreg, "
        "rpev_horareg";
};

}  // namespace replica
