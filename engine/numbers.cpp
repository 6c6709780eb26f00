#include "engine/numbers.h"

#include "engine/db/text.h"

namespace replica {

std::optional<long long> digitsIn(const std::string& text, long long min, long long max) {
    // More digits than 18 would overflow, and exceed every limit here.
    if (!db::allDigits(text) || text.size() > 18) {
        return std::nullopt;
    }
    long long value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
    }
    if (value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> countProblem(CountField field, const std::string& text) {
    if (digitsIn(text, 0, kMaxCount)) {
        return std::nullopt;
    }
    const std::string caption =
        field == CountField::Download ? "\"Operaciones a traer:\"" : "\"Operaciones a enviar:\"";
    if (db::allDigits(text)) {
        return "El valor de " + caption + " no puede pasar de " + std::to_string(kMaxCount) + ".";
    }
    return "El valor de " + caption + " debe ser un número entero.";
}

}  // namespace replica
