#pragma once
// Where the agent's text files live: the application directory.
//
// The directory is the value `Directorio` of the installation's settings
// (the registry key on Windows, the system-wide settings file here),
// read afresh every time a file is needed so that an administrator may move
// it while the agent runs. The environment variable REPLICA_APP_DIR, when
// set and not empty, replaces it (services and tests).
//
// When neither gives a directory the operator is told, once per file
// access, and "" is returned: callers join "/" and the file name to it, so
// the files then live in the root directory "/".

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace replica::app {

// Followed by the settings file that lacks it.
inline constexpr const char* kMissingDirectoryMessage = "No se encontró la Clave Directorio en ";

// The installation's settings: section [General] of this file in the first
// system configuration folder that has it (XDG_CONFIG_DIRS, then /etc/xdg),
// written as the toolkit writes its settings files.
inline constexpr const char* kSettingsFile = "QTX/NorvaleERP2026.conf";
// The file read (the first folder's when none has it).
std::string installationSettingsFile();
// The value of key in it, absent when the file or the key is.
std::optional<std::string> installationSetting(const std::string& key);

inline constexpr const char* kDirectoryEnvironment = "REPLICA_APP_DIR";

// The application directory; notify receives kMissingDirectoryMessage when
// there is none. Never throws.
std::string applicationDirectory(const std::function<void(const std::string&)>& notify);

// The installation setting next to Directorio that gives, in seconds, how
// long a database may leave the agent waiting (--timeout overrides it).
inline constexpr const char* kTimeoutSetting = "EsperaServidor";
inline constexpr std::chrono::seconds kDefaultTimeout{180};

// The time limit of every database connection: commandLine when given,
// else the setting, else kDefaultTimeout. A setting that is not a whole
// number of seconds from 1 to 86400 is named through notify and the
// default is used. Never throws.
std::chrono::seconds databaseTimeout(std::optional<long> commandLine,
                                     const std::function<void(const std::string&)>& notify);

// The installation setting next to EsperaServidor that asks the company
// servers for compressed traffic ("S" or "N"; absent: "N"). A slow link
// between sites gains most of the bytes of a document back.
inline constexpr const char* kCompressionSetting = "CompresionRed";
// Whether the setting asks for it; any other value than S or N is named
// through notify and taken as N. Never throws.
bool wireCompression(const std::function<void(const std::string&)>& notify);

}  // namespace replica::app
