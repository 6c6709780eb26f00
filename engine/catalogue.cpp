#include "engine/catalogue.h"

#include <stdexcept>

#include "engine/db/query.h"
#include "engine/sql.h"
#include "erp/documents.h"

namespace replica {

Catalogue Catalogue::listed() {
    Catalogue c;
    for (const erp::Document& d : erp::documents()) {
        if (d.events != erp::Events::None) {
            c.m_entries.push_back(
                CatalogueEntry{d.code, d.record, {}, d.events == erp::Events::DownloadOnly});
        }
    }
    return c;
}

void Catalogue::add(int code, Form form) {
    for (CatalogueEntry& e : m_entries) {
        if (e.code != code) {
            continue;
        }
        for (const Form& f : e.forms) {
            if (f.when == form.when) {
                throw std::logic_error("event type " + std::to_string(code) +
                                       " registered twice under one condition");
            }
        }
        e.forms.push_back(std::move(form));
        return;
    }
    throw std::logic_error("event type " + std::to_string(code) + " is not in the catalogue");
}

void Catalogue::set(int code, Handler download, Handler upload) {
    add(code, Form{inDownload, std::move(download)});
    add(code, Form{inUpload, std::move(upload)});
}

void Catalogue::declare(RunSetting setting) {
    for (const RunSetting& s : m_settings) {
        if (std::string(s.name) == setting.name) {
            throw std::logic_error(std::string("setting ") + setting.name + " declared twice");
        }
    }
    m_settings.push_back(std::move(setting));
}

const CatalogueEntry* Catalogue::entry(int code) const {
    for (const CatalogueEntry& e : m_entries) {
        if (e.code == code) {
            return &e;
        }
    }
    return nullptr;
}

Catalogue::Dispatch Catalogue::handlerFor(Phase phase, int code, const RunOptions& options) const {
    const CatalogueEntry* e = entry(code);
    if (!e || phase == Phase::None) {
        return {Route::Default, nullptr};
    }
    if (phase == Phase::Upload && e->downloadOnly) {
        return {Route::Default, nullptr};
    }
    for (const Form& f : e->forms) {
        if (f.handler && (!f.when || f.when(phase, options))) {
            return {Route::Handle, &f.handler};
        }
    }
    return {Route::Unbuilt, nullptr};
}

bool inDownload(Phase phase, const RunOptions&) {
    return phase == Phase::Download;
}

bool inUpload(Phase phase, const RunOptions&) {
    return phase == Phase::Upload;
}

std::string referenceSql(int code, const std::string& prefix, const std::string& number) {
    const erp::Document* d = erp::document(code);
    if (!d || !d->referenced) {
        return {};
    }
    return std::string("select ") + d->idColumn + " from " + d->table + " where " +
           d->prefixColumn + " = " + Q(prefix) + " and " + d->numberColumn + " = " + Q(number);
}

std::optional<std::int64_t> referenceId(db::Connection& destination, int code,
                                        const std::string& prefix, const std::string& number) {
    const std::string sql = referenceSql(code, prefix, number);
    if (sql.empty()) {
        return std::nullopt;
    }
    db::Query q(destination);
    q.open(sql);
    if (q.isEmpty() || q.isNull(0)) {
        return std::nullopt;
    }
    return q.asInt(0);
}

}  // namespace replica
