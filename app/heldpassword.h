#pragma once
// The password the main screen keeps while the program runs.
//
// The password typed at the login or given on the command line is needed
// again every time a company database is opened, so it is held for the life
// of the process in its reversible encoded form (APUtilCrpt), and decoded
// at the moment a connection is set up. That form only keeps it out of
// plain sight: each db::Connection set up with it keeps the clear text it
// attaches with (to attach again, and for the second attachments of a
// destination), and so does the Firebird client for its attachments. A
// memory image of the process therefore holds it in clear: the service
// unit allows no core dump (LimitCORE=0), and the environment variable it
// came from is wiped once read.

#include <string>

namespace replica::app {

class HeldPassword {
  public:
    HeldPassword() = default;

    // Holds plain in encoded form.
    void set(const std::string& plain);
    // Holds a text that is already encoded (the login screen hands it so).
    void setEncoded(std::string encoded) { m_encoded = std::move(encoded); }
    const std::string& encoded() const { return m_encoded; }
    // The password in clear, for opening a connection.
    std::string decoded() const;

  private:
    std::string m_encoded;
};

}  // namespace replica::app
