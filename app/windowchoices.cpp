#include "app/windowchoices.h"

#include "screens/choices.h"

namespace replica::app {

namespace {
constexpr const char* kAtomicDocumentsKey = "DocumentosCompletos";
}

bool rememberedAtomicDocuments() {
    return screens::rememberedChoice(kAtomicDocumentsKey, false).toBool();
}

void rememberAtomicDocuments(bool on) {
    screens::rememberChoice(kAtomicDocumentsKey, on);
}

}  // namespace replica::app
