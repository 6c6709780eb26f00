#include "app/appdir.h"

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "app/commandline.h"

namespace replica::app {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A value as the toolkit's settings files write it: blanks around it
// dropped, double quotes keep what they enclose, backslash escapes, and a
// leading "@@" for a literal "@".
std::string iniValue(const std::string& raw) {
    const std::string text = trimmed(raw);
    std::string value;
    bool quoted = false;
    bool anyQuote = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            anyQuote = true;
        } else if (c == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            value += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        } else if (!quoted && c == ';') {
            break;
        } else {
            value += c;
        }
    }
    if (value.rfind("@@", 0) == 0) {
        value.erase(0, 1);
    }
    return anyQuote ? value : trimmed(value);
}

}  // namespace

std::string installationSettingsFile() {
    // The system-wide configuration folders, first found first (the
    // freedesktop rule), then the one the toolkit uses when none is set.
    std::string dirs;
    if (const char* env = std::getenv("XDG_CONFIG_DIRS"); env && *env) {
        dirs = std::string(env) + ":";
    }
    dirs += "/etc/xdg";
    std::size_t from = 0;
    std::string first;
    while (from <= dirs.size()) {
        const std::size_t colon = std::min(dirs.find(':', from), dirs.size());
        const std::string dir = dirs.substr(from, colon - from);
        from = colon + 1;
        if (dir.empty()) {
            continue;
        }
        std::string file = dir + "/" + kSettingsFile;
        if (first.empty()) {
            first = file;
        }
        if (std::ifstream(file).good()) {
            return file;
        }
    }
    return first;
}

std::optional<std::string> installationSetting(const std::string& key) {
    std::ifstream in(installationSettingsFile());
    std::string line;
    bool general = true;  // keys before any section belong to [General]
    std::optional<std::string> found;
    while (std::getline(in, line)) {
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') {
            continue;
        }
        if (text.front() == '[' && text.back() == ']') {
            general = text == "[General]";
            continue;
        }
        const auto equals = text.find('=');
        if (general && equals != std::string::npos && trimmed(text.substr(0, equals)) == key) {
            found = iniValue(text.substr(equals + 1));
        }
    }
    return found;
}

std::string applicationDirectory(const std::function<void(const std::string&)>& notify) {
    if (const char* overridden = std::getenv(kDirectoryEnvironment); overridden && *overridden) {
        return overridden;
    }
    // Read only: the agent never writes the installation's settings.
    if (const auto dir = installationSetting("Directorio")) {
        return *dir;
    }
    if (notify) {
        notify(kMissingDirectoryMessage + installationSettingsFile());
    }
    return {};
}

std::chrono::seconds databaseTimeout(std::optional<long> commandLine,
                                     const std::function<void(const std::string&)>& notify) {
    if (commandLine) {
        return std::chrono::seconds(*commandLine);
    }
    const auto setting = installationSetting(kTimeoutSetting);
    if (!setting) {
        return kDefaultTimeout;
    }
    const std::string& text = *setting;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text.c_str(), &end, 10);
    const bool whole = !text.empty() && errno == 0 && end && *end == '\0';
    if (whole && seconds >= 1 && seconds <= kMaxTimeoutSeconds) {
        return std::chrono::seconds(seconds);
    }
    if (notify) {
        notify(std::string(kTimeoutSetting) + " '" + text + "': " + kTimeoutValueMessage +
               " Se usan " + std::to_string(kDefaultTimeout.count()) + ".");
    }
    return kDefaultTimeout;
}

bool wireCompression(const std::function<void(const std::string&)>& notify) {
    std::string text = installationSetting(kCompressionSetting).value_or("");
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (text == "S") {
        return true;
    }
    if (!text.empty() && text != "N" && notify) {
        notify(std::string(kCompressionSetting) + " '" + text + "': debe ser S o N. Se usa N.");
    }
    return false;
}

}  // namespace replica::app
