#pragma once
// "Verificar" (the main screen's button): whether this company and the
// companies it replicates with hold the same documents, compared as
// `replica verify` compares them, for the period the operator chooses.
//
// The report is a list, one row per document that differs: the two
// companies, the type, the document, what was found ("falta", "sobra",
// "distinto"), the company where, and the sums that differ. Under it, the
// counts of the comparison and what could not be compared. The list copies
// (Ctrl+C) and exports (every row) as the monitors do; "Encolar de nuevo"
// writes, after the operator's Yes, the events that copy the selected
// documents again at the next run (only what a missing or different
// document needs: nothing else is written).
//
// The comparison and the queueing are the caller's (the window's session).
// The comparison runs on a thread of its own (it must not use a connection
// the window uses meanwhile); the queueing on the window's thread:
//     Tfverificar screen(runner, requeuer, this);
//     screen.exec();

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "engine/verify.h"
#include "screens/dialoghooks.h"
#include "screens/export.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;

namespace replica::screens {

class DataGrid;

struct VerifyOutcome {
    std::vector<PairReport> pairs;
    std::vector<std::string> errors;  // what could not be compared
};
using VerifyRunner = std::function<VerifyOutcome(const Period& period)>;
// Writes the events; returns what could not be written.
using RequeueRunner = std::function<std::vector<std::string>(const std::vector<Requeued>&)>;

class Tfverificar : public QDialog {
    Q_OBJECT

  public:
    Tfverificar(VerifyRunner run, RequeueRunner requeue, QWidget* parent = nullptr);
    ~Tfverificar() override;

    DialogHooks& hooks() { return m_hooks; }

    // "Verificar": compares for the period shown, off the window's thread,
    // and lists the report; ignored while a comparison runs.
    void VerificarClick();
    bool comparing() const { return m_comparing; }
    // Closing during a comparison closes once it has ended.
    void reject() override;
    // "Encolar de nuevo": asks, then queues the selected documents again.
    void EncolarClick();
    // "Guardar": exports the whole list.
    void GuardarClick();
    // Copies the selected rows (Ctrl+C).
    void Copiar();

    // The period of the date fields (open while the check box is off).
    Period period() const;
    // The events "Encolar de nuevo" would write for the selected rows.
    std::vector<Requeued> selectedEvents() const;
    exporting::Table reportTable(bool selectedOnly) const;

    DataGrid* grid() const { return m_grid; }
    QStandardItemModel* model() const { return m_model; }
    QCheckBox* periodCheck() const { return m_useDates; }
    QLineEdit* sinceEdit() const { return m_since; }
    QLineEdit* untilEdit() const { return m_until; }
    QLabel* summaryLabel() const { return m_summary; }
    QPushButton* verifyButton() const { return m_verify; }
    QPushButton* requeueButton() const { return m_requeue; }
    QPushButton* saveButton() const { return m_save; }

  private:
    void buildControls();
    void layOut();
    void showReport(const VerifyOutcome& outcome);
    void updateButtons();

    VerifyRunner m_run;
    RequeueRunner m_queue;
    DialogHooks m_hooks;
    std::vector<PairReport> m_pairs;
    bool m_comparing = false;
    bool m_closeAfter = false;

    QCheckBox* m_useDates = nullptr;
    QLineEdit* m_since = nullptr;
    QLineEdit* m_until = nullptr;
    DataGrid* m_grid = nullptr;
    QStandardItemModel* m_model = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_verify = nullptr;
    QPushButton* m_requeue = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_close = nullptr;
};

}  // namespace replica::screens
