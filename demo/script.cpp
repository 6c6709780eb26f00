#include "demo/script.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "engine/db/error.h"

namespace replica::demo {

namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return s.substr(b, e - b);
}

bool startsWithWord(const std::string& s, const char* word) {
    const std::size_t n = std::char_traits<char>::length(word);
    return s.size() >= n && strncasecmp(s.c_str(), word, n) == 0 &&
           (s.size() == n || !std::isalnum(static_cast<unsigned char>(s[n])));
}

}  // namespace

std::vector<std::string> splitScript(const std::string& script) {
    std::vector<std::string> out;
    std::string term = ";";
    std::string cur;
    const std::size_t n = script.size();
    std::size_t i = 0;
    auto flush = [&]() {
        std::string stmt = trim(cur);
        cur.clear();
        if (stmt.empty()) {
            return;
        }
        if (startsWithWord(stmt, "SET TERM")) {
            std::string rest = trim(stmt.substr(8));
            term = rest;
            return;
        }
        if (startsWithWord(stmt, "COMMIT") || startsWithWord(stmt, "SET ")) {
            return;
        }
        out.push_back(stmt);
    };
    while (i < n) {
        const char c = script[i];
        if (c == '\'' || c == '"') {
            const std::size_t end = script.find(c, i + 1);
            const std::size_t stop = end == std::string::npos ? n : end + 1;
            cur.append(script, i, stop - i);
            i = stop;
            continue;
        }
        if (c == '-' && i + 1 < n && script[i + 1] == '-') {
            const std::size_t end = script.find('\n', i);
            i = end == std::string::npos ? n : end;
            continue;
        }
        if (c == '/' && i + 1 < n && script[i + 1] == '*') {
            const std::size_t end = script.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
            continue;
        }
        // "SET TERM x ;" ends with the current terminator, like any statement.
        if (script.compare(i, term.size(), term) == 0) {
            i += term.size();
            flush();
            continue;
        }
        cur += c;
        ++i;
    }
    flush();
    return out;
}

void runScript(db::Connection& conn, const std::string& script) {
    for (const std::string& stmt : splitScript(script)) {
        try {
            conn.execute(stmt);
        } catch (const db::Error& e) {
            throw db::Error(e.message() + "\nin statement:\n" + stmt, e.kind(), e.sqlCode(),
                            e.gdsCode(), stmt);
        }
    }
}

void loadSchema(db::Connection& conn, const std::string& sqlDir, const std::string& name) {
    const std::string dir = sqlDir + "/" + name;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".sql") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        throw std::runtime_error("no schema files in " + dir);
    }
    for (const auto& f : files) {
        try {
            runScript(conn, readFile(f.string()));
        } catch (const db::Error& e) {
            throw db::Error(f.filename().string() + ": " + e.message(), e.kind(), e.sqlCode(),
                            e.gdsCode(), e.sql());
        }
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace replica::demo
