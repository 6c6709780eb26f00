#include "screens/verificar.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <exception>

#include "screens/gridtools.h"
#include "screens/offthread.h"

namespace replica::screens {

namespace {

constexpr int kPairRole = Qt::UserRole + 2;
constexpr int kFindingRole = Qt::UserRole + 3;
constexpr int kMaxColumnWidth = 260;
constexpr int kDateEditExtra = 24;

bool validDate(const QString& text) {
    return QDate::fromString(text, Qt::ISODate).isValid();
}

const char* const kTitles[] = {"Compañías", "Tipo", "Documento", "Resultado", "En", "Diferencias"};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString typeName(int type) {
    const erp::Document* d = erp::document(type);
    return d && d->record ? QStringLiteral("%1 %2").arg(type).arg(QString::fromUtf8(d->record))
                          : QString::number(type);
}

QString documentText(const Discrepancy& d) {
    if (!d.key.empty()) {
        return qs(d.key);
    }
    return qs(d.prefix + "-" + d.number + (d.code.empty() ? "" : " (" + d.code + ")"));
}

QString countsText(const std::vector<PairReport>& pairs) {
    std::int64_t equal = 0;
    std::int64_t missing = 0;
    std::int64_t extra = 0;
    std::int64_t different = 0;
    for (const PairReport& p : pairs) {
        for (const FamilyTally& t : p.families) {
            equal += t.equal;
            missing += t.missing;
            extra += t.extra;
            different += t.different;
        }
    }
    return QStringLiteral("%1 iguales, %2 faltan, %3 sobran, %4 distintos")
        .arg(equal)
        .arg(missing)
        .arg(extra)
        .arg(different);
}

}  // namespace

Tfverificar::Tfverificar(VerifyRunner run, RequeueRunner requeue, QWidget* parent)
    : QDialog(parent),
      m_run(std::move(run)),
      m_queue(std::move(requeue)),
      m_hooks(DialogHooks::standard()) {
    setWindowTitle(QStringLiteral("Verificar compañías"));
    resize(960, 460);
    buildControls();
    layOut();
    updateButtons();
}

Tfverificar::~Tfverificar() = default;

void Tfverificar::buildControls() {
    m_useDates = new QCheckBox(QStringLiteral("Solo los documentos del"), this);
    m_useDates->setObjectName(QStringLiteral("CkPeriodo"));
    const QDate today = QDate::currentDate();
    m_since = new QLineEdit(QDate(today.year(), today.month(), 1).toString(Qt::ISODate), this);
    m_since->setObjectName(QStringLiteral("EDesde"));
    m_until = new QLineEdit(today.toString(Qt::ISODate), this);
    m_until->setObjectName(QStringLiteral("EHasta"));
    for (QLineEdit* edit : {m_since, m_until}) {
        edit->setInputMask(QStringLiteral("9999-99-99"));
        edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00")) +
                              kDateEditExtra);
        edit->setEnabled(false);
        connect(m_useDates, &QCheckBox::toggled, edit, &QWidget::setEnabled);
    }
    m_verify = new QPushButton(QStringLiteral("Verificar"), this);
    m_verify->setAutoDefault(false);
    connect(m_verify, &QPushButton::clicked, this, [this] { VerificarClick(); });

    m_model = new QStandardItemModel(this);
    QStringList titles;
    for (const char* t : kTitles) {
        titles << QString::fromUtf8(t);
    }
    m_model->setHorizontalHeaderLabels(titles);
    m_grid = new DataGrid(this);
    m_grid->setObjectName(QStringLiteral("grid"));
    m_grid->setSourceModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setCopyHandler([this] { Copiar(); });
    connect(m_grid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { updateButtons(); });

    m_summary = new QLabel(QStringLiteral("Elija el periodo y pulse Verificar."), this);
    m_summary->setObjectName(QStringLiteral("LResumen"));
    m_summary->setWordWrap(true);
    m_requeue = new QPushButton(QStringLiteral("Encolar de nuevo"), this);
    m_requeue->setAutoDefault(false);
    m_requeue->setToolTip(
        QStringLiteral("Escribe los eventos que copian otra vez en el próximo envío los "
                       "documentos seleccionados que faltan o son distintos"));
    connect(m_requeue, &QPushButton::clicked, this, [this] { EncolarClick(); });
    m_save = new QPushButton(QStringLiteral("Guardar"), this);
    m_save->setAutoDefault(false);
    connect(m_save, &QPushButton::clicked, this, [this] { GuardarClick(); });
    m_close = new QPushButton(QStringLiteral("Cerrar"), this);
    m_close->setAutoDefault(false);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

void Tfverificar::layOut() {
    auto* top = new QHBoxLayout;
    top->addWidget(m_useDates);
    top->addWidget(m_since);
    top->addWidget(new QLabel(QStringLiteral("al"), this));
    top->addWidget(m_until);
    top->addStretch();
    top->addWidget(m_verify);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_requeue);
    bottom->addWidget(m_save);
    bottom->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_summary);
    layout->addLayout(bottom);
}

Period Tfverificar::period() const {
    if (!m_useDates->isChecked()) {
        return {};
    }
    return {.since = m_since->text().toStdString(), .until = m_until->text().toStdString()};
}

void Tfverificar::VerificarClick() {
    if (!m_run || m_comparing) {
        return;
    }
    if (m_useDates->isChecked() && (!validDate(m_since->text()) || !validDate(m_until->text()))) {
        m_hooks.warning(this, QStringLiteral("Las fechas del periodo van como AAAA-MM-DD."));
        return;
    }
    m_comparing = true;
    updateButtons();
    m_summary->setText(QStringLiteral("Comparando..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The comparison waits for databases: the screen repaints meanwhile, a
    // second press is ignored and a close waits for it to end.
    VerifyOutcome outcome;
    const Period chosen = period();
    try {
        runOffThread([&] { outcome = m_run(chosen); });
    } catch (const std::exception& e) {
        outcome.errors.emplace_back(e.what());
    }
    QApplication::restoreOverrideCursor();
    m_comparing = false;
    if (m_closeAfter) {
        m_closeAfter = false;
        QDialog::reject();
        return;
    }
    showReport(outcome);
}

void Tfverificar::reject() {
    if (m_comparing) {
        m_closeAfter = true;
        m_summary->setText(QStringLiteral("Comparando... la pantalla se cierra al terminar."));
        return;
    }
    QDialog::reject();
}

void Tfverificar::showReport(const VerifyOutcome& outcome) {
    m_pairs = outcome.pairs;
    m_model->removeRows(0, m_model->rowCount());
    for (std::size_t p = 0; p < m_pairs.size(); ++p) {
        const PairReport& pair = m_pairs[p];
        for (std::size_t i = 0; i < pair.discrepancies.size(); ++i) {
            const Discrepancy& d = pair.discrepancies[i];
            const std::string& at = d.at == Side::Source ? pair.source : pair.destination;
            QList<QStandardItem*> row{
                new QStandardItem(qs(pair.source + " / " + pair.destination)),
                new QStandardItem(typeName(d.type)),
                new QStandardItem(documentText(d)),
                new QStandardItem(QString::fromUtf8(findingText(d.finding))),
                new QStandardItem(qs(at)),
                new QStandardItem(qs(d.what)),
            };
            row.back()->setToolTip(qs(d.what));
            row.front()->setData(QVariant::fromValue<qulonglong>(p), kPairRole);
            row.front()->setData(QVariant::fromValue<qulonglong>(i), kFindingRole);
            m_model->appendRow(row);
        }
    }
    m_grid->proxy()->invalidate();
    m_grid->fitColumnsToContents(kMaxColumnWidth);
    QString text = countsText(m_pairs);
    if (outcome.errors.empty()) {
        text = (m_model->rowCount() == 0 ? QStringLiteral("Todo coincide: ")
                                         : QStringLiteral("Hay diferencias: ")) +
               text + QLatin1Char('.');
    } else {
        text = QStringLiteral("No se pudo verificar todo: ") + text + QLatin1Char('.');
        for (const std::string& e : outcome.errors) {
            text += QLatin1Char('\n') + qs(e);
        }
    }
    m_summary->setText(text);
    m_grid->goToRow(0);
    updateButtons();
}

std::vector<Requeued> Tfverificar::selectedEvents() const {
    // Each pair with only the chosen documents: what verify queues for them.
    std::vector<PairReport> chosen(m_pairs.size());
    for (std::size_t p = 0; p < m_pairs.size(); ++p) {
        chosen[p].source = m_pairs[p].source;
        chosen[p].destination = m_pairs[p].destination;
        chosen[p].destinationSendsBack = m_pairs[p].destinationSendsBack;
    }
    for (int r : m_grid->selectedSourceRows()) {
        const QStandardItem* item = m_model->item(r, 0);
        const auto p = static_cast<std::size_t>(item->data(kPairRole).toULongLong());
        const auto i = static_cast<std::size_t>(item->data(kFindingRole).toULongLong());
        if (p < m_pairs.size() && i < m_pairs[p].discrepancies.size()) {
            chosen[p].discrepancies.push_back(m_pairs[p].discrepancies[i]);
        }
    }
    std::vector<Requeued> events;
    for (const PairReport& pair : chosen) {
        for (const Requeued& e : requeueEvents(pair)) {
            events.push_back(e);
        }
    }
    return events;
}

void Tfverificar::EncolarClick() {
    if (m_comparing) {
        return;
    }
    const std::vector<Requeued> events = selectedEvents();
    if (events.empty()) {
        m_hooks.message(this, QStringLiteral("Nada que encolar: los documentos seleccionados "
                                             "sobran en una compañía que no los envía."));
        return;
    }
    if (!m_queue ||
        !m_hooks.confirm(this, QStringLiteral("¿Encolar de nuevo %1 documentos? El próximo envío "
                                              "los copiará otra vez.")
                                   .arg(events.size()))) {
        return;
    }
    const std::vector<std::string> errors = m_queue(events);
    if (errors.empty()) {
        m_hooks.message(this, QStringLiteral("Se encolaron %1 eventos.").arg(events.size()));
        return;
    }
    QString text = QStringLiteral("No se pudo encolar todo:");
    for (const std::string& e : errors) {
        text += QLatin1Char('\n') + qs(e);
    }
    m_hooks.warning(this, text);
}

exporting::Table Tfverificar::reportTable(bool selectedOnly) const {
    exporting::Table t;
    t.title = windowTitle().toStdString();
    for (const char* title : kTitles) {
        t.headers.emplace_back(title);
    }
    std::vector<int> rows;
    if (selectedOnly) {
        rows = m_grid->selectedSourceRows();
    } else {
        for (int r = 0; r < m_grid->proxy()->rowCount(); ++r) {
            rows.push_back(m_grid->proxy()->mapToSource(m_grid->proxy()->index(r, 0)).row());
        }
    }
    for (int r : rows) {
        std::vector<std::string> cells;
        for (int c = 0; c < m_model->columnCount(); ++c) {
            cells.push_back(m_model->item(r, c)->text().toStdString());
        }
        t.rows.push_back(std::move(cells));
    }
    return t;
}

void Tfverificar::GuardarClick() {
    try {
        saveExport(this, m_hooks, QStringLiteral("Verificacion"), reportTable(false));
    } catch (const std::exception& e) {
        m_hooks.warning(this, qs(e.what()));
    }
}

void Tfverificar::Copiar() {
    QApplication::clipboard()->setText(qs(exporting::toClipboardText(reportTable(true).rows)));
}

void Tfverificar::updateButtons() {
    const bool any = m_model->rowCount() > 0;
    m_verify->setEnabled(!m_comparing);
    m_save->setEnabled(any && !m_comparing);
    m_requeue->setEnabled(any && !m_comparing && !m_grid->selectedSourceRows().empty());
}

}  // namespace replica::screens
