#pragma once
// The event catalogue: which handler takes each event type code in each
// phase, and the document reference lookup (type, prefix, number -> id).
//
// The catalogue is data: one `CatalogueEntry` per event type code of the
// ERP's document table (erp/documents.h). A family adds its forms (a
// handler and the condition under which it applies); a listed code with no
// form that applies leaves its events pending with "Tipo de evento sin
// manejador", never marking them replicated. Codes outside the table (and
// 236) take the default completion: marked replicated, nothing copied.

#include <optional>
#include <string>
#include <vector>

#include "engine/db/connection.h"
#include "engine/event.h"
#include "engine/settings.h"

namespace replica {

// Decides, from the phase and the run options, whether a form of a family
// handles an event (a transfer as a transfer or as an entry, a purchase
// invoice as itself or as an entry, ...). Null: always.
using Condition = bool (*)(Phase, const RunOptions&);

// One way of handling a code: its handler and when it applies.
struct Form {
    Condition when = nullptr;
    Handler handler;
};

struct CatalogueEntry {
    int code;
    const char* record;         // what the code replicates, for logs and screens
    std::vector<Form> forms;    // the first that applies handles the event
    bool downloadOnly = false;  // in the upload phase: default completion
};

class Catalogue {
  public:
    enum class Route { Default, Unbuilt, Handle };
    struct Dispatch {
        Route route = Route::Default;
        const Handler* handler = nullptr;
    };

    // Every code the ERP lists, none with a handler.
    static Catalogue listed();

    // Adds a form to a listed code. Throws std::logic_error when the code is
    // not listed (a mistyped code must not leave the real one unbuilt) or
    // when the code already has a form with the same condition (a second
    // registration of one code).
    void add(int code, Form form);
    // One handler per phase, as two forms (tests and simple families).
    void set(int code, Handler download, Handler upload);

    // The handler of code for an event of phase under options: Default for
    // codes outside the table (and download-only codes in the upload phase),
    // Unbuilt when no form of the code applies.
    Dispatch handlerFor(Phase phase, int code, const RunOptions& options = {}) const;
    const CatalogueEntry* entry(int code) const;
    const std::vector<CatalogueEntry>& entries() const { return m_entries; }

    // A setting the families read once per phase; the run reads the
    // declared ones in this order. Throws std::logic_error for a second
    // setting of the same name.
    void declare(RunSetting setting);
    const std::vector<RunSetting>& settings() const { return m_settings; }

  private:
    std::vector<CatalogueEntry> m_entries;
    std::vector<RunSetting> m_settings;
};

// Conditions on the phase alone.
bool inDownload(Phase phase, const RunOptions&);
bool inUpload(Phase phase, const RunOptions&);

// The message left on an event whose code has no handler yet.
inline constexpr const char* kNoHandlerMessage = "Tipo de evento sin manejador";

// Document reference lookup: the destination id of the document that a
// source names by type, prefix and number; nullopt when the code is not in
// the table (no query is run) or no row matches.
std::optional<std::int64_t> referenceId(db::Connection& destination, int code,
                                        const std::string& prefix, const std::string& number);
// The SELECT text of the lookup for code, or "" when the code is not in the
// table.
std::string referenceSql(int code, const std::string& prefix, const std::string& number);

}  // namespace replica
