#include "engine/settings.h"

#include "engine/db/query.h"
#include "engine/operator.h"
#include "engine/sql.h"

namespace replica {

namespace settings {

std::string firstValue(db::Connection& conn, const std::string& sql) {
    db::Query q(conn);
    q.open(sql);
    if (q.isEmpty()) {
        return {};
    }
    return q.asText(0);
}

std::string lookupSql(const std::string& module, const std::string& category,
                      const std::string& property) {
    // The callers' texts are fixed and hold no quote; doubling any quote
    // anyway keeps a future caller from ending the literal early.
    return "select conf_valor from configuracion where conf_modulo = '" + quoteInner(module) +
           "' and conf_categoria = '" + quoteInner(category) + "' and conf_propiedad = '" +
           quoteInner(property) + "'";
}

}  // namespace settings

std::string settingSql(const RunSetting& s) {
    return s.spelled ? s.spelled : settings::lookupSql(s.module, s.category, s.property);
}

std::string configuracion(db::Connection& conn, Operator& op, const std::string& module,
                          const std::string& category, const std::string& property) {
    db::Query q(conn);
    q.open(settings::lookupSql(module, category, property));
    if (q.isEmpty()) {
        op.errorMessage("No se encontró la configuración " + property);
        return {};
    }
    return q.asText(0);
}

}  // namespace replica
