#pragma once
// The operator's own choices of the main window, kept per user (not in the
// installation's settings, which the agent only reads).

namespace replica::app {

// Whether documents are written whole ("Documentos completos (todo o
// nada)"). Unset: false. Never throws; a setting that cannot be stored is
// simply not remembered.
bool rememberedAtomicDocuments();
void rememberAtomicDocuments(bool on);

}  // namespace replica::app
