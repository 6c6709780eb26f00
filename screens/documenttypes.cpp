#include "screens/documenttypes.h"

#include "engine/db/query.h"

namespace replica::screens {

std::vector<DocumentType> loadDocumentTypes(db::Connection& local) {
    db::Query q(local);
    q.open(kTipoDocumentoSql);
    std::vector<DocumentType> out;
    for (q.first(); !q.eof(); q.next()) {
        out.push_back({q.asInt(0), q.asText(1)});
    }
    return out;
}

std::string documentTypeName(const std::vector<DocumentType>& types, std::int64_t code) {
    for (const DocumentType& t : types) {
        if (t.code == code) {
            return t.name;
        }
    }
    return {};
}

}  // namespace replica::screens
