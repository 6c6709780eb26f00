#pragma once
// The one interface through which the engine talks to a person.
//
// The main window implements it on screen; a console implementation serves
// unattended servers and tests. The engine never waits on anything else of
// the user interface: everything a run shows, asks or reads from the screen
// passes here. All calls happen on the thread that started the run (lanes
// of destinations served side by side relay theirs: operatorrelay.h); the
// window starts its runs on a thread of their own and hands the calls to
// its own thread.

#include <string>

namespace replica {

// What the run reads from the main screen's fields, read afresh where the
// run needs them (the operator may change them between runs).
struct RunInputs {
    std::string companyCode;    // LCiaOri key; empty when no company is chosen
    std::string prefix;         // Pref, "Prefijo a enviar:"
    std::string downloadCount;  // NroOp, "Operaciones a traer:"
    std::string uploadCount;    // NroOpE, "Operaciones a enviar:"
    std::string frequency;      // Minut, "Frecuencia:" in minutes
    bool newestFirst = false;   // ckreciente, "Enviar lo más reciente primero"
    bool skipErrors = false;    // CkError, "No reintentar errores"
    // CkCompletos, "Documentos completos (todo o nada)": each document
    // written in one transaction of the destination.
    bool atomicDocuments = false;
};

class Operator {
  public:
    virtual ~Operator() = default;

    virtual RunInputs inputs() = 0;
    // The run writes "80" back into an empty count field.
    virtual void setDownloadCount(const std::string& text) = 0;
    virtual void setUploadCount(const std::string& text) = 0;

    // Progress panel: a caption line and a bar, hidden between runs.
    virtual void showProgress(const std::string& caption) = 0;
    virtual void hideProgress() = 0;
    virtual void setProgressMaximum(int maximum) = 0;  // also resets position to 0
    virtual void stepProgress() = 0;
    // The one-line event field between "Enviar" and "Cancelar".
    virtual void showEventLine(const std::string& text) = 0;
    virtual void hideEventLine() = 0;

    // "Ultimo error:" label (Label8): the whole text to show.
    virtual void setLastError(const std::string& text) = 0;
    // "Ultima actualización:" field (EUltenvio) and, when errorsButton is
    // set, the "Mensajes error" button's enabled state.
    virtual void setLastSend(const std::string& text) = 0;
    virtual void setErrorsButtonEnabled(bool enabled) = 0;

    // A message for the operator ("Debe indicar la compañía de origen.").
    // On screen it waits for OK; headless it is logged and the run goes on.
    virtual void message(const std::string& text) = 0;
    // An error dialog with the single button OK (settings not found).
    virtual void errorMessage(const std::string& text) = 0;
    virtual void beep() = 0;
    // Let the window process pending messages (repaint, clicks).
    virtual void processEvents() = 0;
    virtual void repaint() = 0;

    // The repeat timer of the main screen.
    virtual void stopTimer() = 0;
    virtual void startTimer(int intervalMs) = 0;
};

}  // namespace replica
