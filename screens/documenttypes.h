#pragma once
// The document types of the local company database (TIPO_DOCUMENTO), as the
// screens show them: the short name of a type code.
//
// The event monitors name each event's type with it and the document
// settings editor offers it as the "Tipo documento" list. The table is read
// whole, once per screen activation; a code with no row has an empty name.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/db/connection.h"

namespace replica::screens {

inline constexpr const char* kTipoDocumentoSql =
    "select tido_cod, tido_nomcorto from tipo_documento order by tido_cod";

struct DocumentType {
    std::int64_t code = 0;  // TIDO_COD
    std::string name;       // TIDO_NOMCORTO
};

// Throws db::Error when the database refuses the query.
std::vector<DocumentType> loadDocumentTypes(db::Connection& local);
// The short name of code, "" when the list has none.
std::string documentTypeName(const std::vector<DocumentType>& types, std::int64_t code);

}  // namespace replica::screens
