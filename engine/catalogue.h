#pragma once
// The event catalogue: which handler takes each event type code in each
// phase, and the document reference lookup (type, prefix, number -> id).
//
// The catalogue is data: one `CatalogueEntry` per code the ERP's event table
// lists. A family fills in its handlers; a listed code whose handler is not
// built yet leaves its events pending with "Tipo de evento sin manejador",
// never marking them replicated. Codes outside the table (and 236) take the
// default completion: marked replicated, nothing copied.

#include <optional>
#include <string>
#include <vector>

#include "engine/db/connection.h"
#include "engine/event.h"

namespace replica {

struct CatalogueEntry {
    int code;
    const char* record;         // what the code replicates, for logs and screens
    Handler download;           // empty: not built yet
    Handler upload;             // empty: not built yet (unless downloadOnly)
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

    // Gives code its handlers (replacing any earlier ones).
    void set(int code, Handler download, Handler upload);
    Dispatch handlerFor(Phase phase, int code) const;
    const CatalogueEntry* entry(int code) const;
    const std::vector<CatalogueEntry>& entries() const { return m_entries; }

  private:
    std::vector<CatalogueEntry> m_entries;
};

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
