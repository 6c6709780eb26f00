#include "app/journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace replica::app {

namespace {

// "DEVICE:INODE", both decimal, nothing else.
bool parseStream(const char* text, unsigned long long& device, unsigned long long& inode) {
    const std::string s = text;
    const std::size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == s.size()) {
        return false;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i != colon && (s[i] < '0' || s[i] > '9')) {
            return false;
        }
    }
    try {
        device = std::stoull(s.substr(0, colon));
        inode = std::stoull(s.substr(colon + 1));
    } catch (const std::exception&) {
        return false;  // out of range
    }
    return true;
}

}  // namespace

bool isJournal(int fd, const char* journalStream) {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (!journalStream || !parseStream(journalStream, device, inode)) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    return static_cast<unsigned long long>(st.st_dev) == device &&
           static_cast<unsigned long long>(st.st_ino) == inode;
}

bool standardOutputIsJournal() {
    return isJournal(STDOUT_FILENO, std::getenv("JOURNAL_STREAM"));
}

namespace {

bool standardErrorIsJournal() {
    return isJournal(STDERR_FILENO, std::getenv("JOURNAL_STREAM"));
}

}  // namespace

const char* stderrErrorPrefix() {
    return standardErrorIsJournal() ? "<3>" : "";
}

const char* stderrWarningPrefix() {
    return standardErrorIsJournal() ? "<4>" : "";
}

}  // namespace replica::app
