#include "app/principalauto.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

#include "app/appdir.h"
#include "families/all.h"
#include "screens/ctrlaccesoauto.h"
#include "screens/mensajesenv.h"
#include "screens/pendientes.h"
#include "screens/repcompania.h"
#include "screens/repdocs.h"

namespace replica::app {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
QString u8(const char* s) {
    return QString::fromUtf8(s);
}
std::string text(const QLineEdit* e) {
    return e->text().toStdString();
}

constexpr int kInitialTimerMs = 1800000;
constexpr int kScreenCount = 5;

}  // namespace

// The engine's view of this window. Kept apart from the widget so that the
// Operator's names (repaint, startTimer) never hide the toolkit's own.
class Tfprincipalauto::ScreenOperator : public Operator {
  public:
    explicit ScreenOperator(Tfprincipalauto& w) : m_w(w) {}

    RunInputs inputs() override {
        RunInputs in;
        in.companyCode = m_w.selectedCompany();
        in.prefix = text(m_w.m_Pref);
        in.downloadCount = text(m_w.m_NroOp);
        in.uploadCount = text(m_w.m_NroOpE);
        in.frequency = text(m_w.m_Minut);
        in.newestFirst = m_w.m_ckreciente->isChecked();
        in.skipErrors = m_w.m_CkError->isChecked();
        return in;
    }
    void setDownloadCount(const std::string& t) override { m_w.m_NroOp->setText(qs(t)); }
    void setUploadCount(const std::string& t) override { m_w.m_NroOpE->setText(qs(t)); }

    void showProgress(const std::string& caption) override {
        m_w.m_progressCaption->setText(qs(caption));
        m_w.m_progressPanel->show();
    }
    void hideProgress() override { m_w.m_progressPanel->hide(); }
    void setProgressMaximum(int maximum) override {
        m_w.m_progressBar->setRange(0, maximum);
        m_w.m_progressBar->setValue(0);
    }
    void stepProgress() override { m_w.m_progressBar->setValue(m_w.m_progressBar->value() + 1); }
    void showEventLine(const std::string& t) override {
        m_w.m_eventLine->setText(qs(t));
        m_w.m_eventLine->show();
    }
    void hideEventLine() override { m_w.m_eventLine->hide(); }

    void setLastError(const std::string& t) override { m_w.m_Label8->setText(qs(t)); }
    void setLastSend(const std::string& t) override { m_w.m_EUltenvio->setText(qs(t)); }
    void setErrorsButtonEnabled(bool enabled) override {
        m_w.m_errorsEnabled = enabled;
        m_w.refreshScreenButtons();
    }

    void message(const std::string& t) override { m_w.showMessage(qs(t), false); }
    void errorMessage(const std::string& t) override { m_w.showMessage(qs(t), true); }
    void beep() override { QApplication::beep(); }
    void processEvents() override { QCoreApplication::processEvents(); }
    void repaint() override { m_w.repaint(); }

    void stopTimer() override { m_w.m_timer->stop(); }
    void startTimer(int intervalMs) override {
        // A zero interval means no ticks at all, not a run after every pass
        // of the event loop.
        if (intervalMs <= 0) {
            m_w.m_timer->stop();
            return;
        }
        m_w.m_timer->start(intervalMs);
    }

  private:
    Tfprincipalauto& m_w;
};

Tfprincipalauto::Tfprincipalauto(CommandLine args, QWidget* parent)
    : QWidget(parent), m_args(std::move(args)) {
    setObjectName("fprincipalauto");
    setWindowTitle(u8("Envío de información"));
    buildControls();
    m_operator = std::make_unique<ScreenOperator>(*this);
    // The directory is asked for every time a file is written; when it
    // cannot be found the operator is told each time, as the log is then
    // written in the root directory.
    m_appDir = [this] {
        return applicationDirectory(
            [this](const std::string& message) { m_operator->message(message); });
    };
    m_session = std::make_unique<Session>(*m_operator, m_appDir, families::catalogue());
    installScreens();

    m_timer = new QTimer(this);
    m_timer->setObjectName("Timer1");
    connect(m_timer, &QTimer::timeout, this, &Tfprincipalauto::Timer1Timer);
    m_timer->start(kInitialTimerMs);
}

Tfprincipalauto::~Tfprincipalauto() = default;

Operator& Tfprincipalauto::screenOperator() {
    return *m_operator;
}

void Tfprincipalauto::buildControls() {
    auto* fields = new QGridLayout;
    int row = 0;

    m_server = new QLineEdit(this);
    m_server->setObjectName("EServidor");
    m_server->setReadOnly(true);
    fields->addWidget(m_server, row++, 1, 1, 2);

    m_companies = new QStandardItemModel(0, 2, this);
    m_companies->setHorizontalHeaderLabels({u8("Código"), u8("Nombre")});
    m_LCiaOri = new QComboBox(this);
    m_LCiaOri->setObjectName("LCiaOri");
    auto* companyView = new QTableView(m_LCiaOri);
    companyView->verticalHeader()->hide();
    companyView->setSelectionBehavior(QAbstractItemView::SelectRows);
    companyView->horizontalHeader()->setStretchLastSection(true);
    m_LCiaOri->setModel(m_companies);
    m_LCiaOri->setView(companyView);
    m_LCiaOri->setModelColumn(0);
    m_LCiaOri->setCurrentIndex(-1);
    connect(m_LCiaOri, &QComboBox::currentTextChanged, this,
            &Tfprincipalauto::onCompanyTextChanged);
    fields->addWidget(new QLabel(u8("Compañía Local:"), this), row, 0);
    fields->addWidget(m_LCiaOri, row++, 1, 1, 2);

    m_agencia = new QComboBox(this);
    m_agencia->setObjectName("LAgencia");
    fields->addWidget(new QLabel(u8("Agencia:"), this), row, 0);
    fields->addWidget(m_agencia, row++, 1, 1, 2);

    auto addLine = [&](QLineEdit*& edit, const char* name, const char* caption, const char* initial,
                       const char* unit) {
        edit = new QLineEdit(u8(initial), this);
        edit->setObjectName(name);
        fields->addWidget(new QLabel(u8(caption), this), row, 0);
        fields->addWidget(edit, row, 1);
        if (unit) {
            fields->addWidget(new QLabel(u8(unit), this), row, 2);
        }
        ++row;
    };
    addLine(m_Pref, "Pref", "Prefijo a enviar:", "", nullptr);
    addLine(m_NroOp, "NroOp", "Operaciones a traer:", "100", nullptr);
    addLine(m_NroOpE, "NroOpE", "Operaciones a enviar:", "100", nullptr);
    addLine(m_Minut, "Minut", "Frecuencia:", "1", "minutos");

    m_ckreciente = new QCheckBox(u8("Enviar lo más reciente primero"), this);
    m_ckreciente->setObjectName("ckreciente");
    fields->addWidget(m_ckreciente, row++, 1, 1, 2);
    m_CkError = new QCheckBox(u8("No reintentar errores"), this);
    m_CkError->setObjectName("CkError");
    fields->addWidget(m_CkError, row++, 1, 1, 2);

    m_EUltenvio = new QLineEdit(this);
    m_EUltenvio->setObjectName("EUltenvio");
    m_EUltenvio->setReadOnly(true);
    fields->addWidget(new QLabel(u8("Ultima actualización:"), this), row, 0);
    fields->addWidget(m_EUltenvio, row++, 1, 1, 2);

    m_Label8 = new QLabel(u8("Ultimo error:"), this);
    m_Label8->setObjectName("Label8");
    m_Label8->setWordWrap(true);
    fields->addWidget(m_Label8, row++, 0, 1, 3);

    // "Enviar", the one-line event field (hidden until a run shows an
    // event) and "Cancelar".
    auto* runRow = new QHBoxLayout;
    m_SpeedButton1 = new QPushButton(u8("Enviar"), this);
    m_SpeedButton1->setObjectName("SpeedButton1");
    connect(m_SpeedButton1, &QPushButton::clicked, this, &Tfprincipalauto::SpeedButton1Click);
    m_eventLine = new QLineEdit(this);
    m_eventLine->setObjectName("EEvento");
    m_eventLine->setReadOnly(true);
    m_eventLine->hide();
    m_cancelar = new QPushButton(u8("Cancelar"), this);
    m_cancelar->setObjectName("BCancelar");
    connect(m_cancelar, &QPushButton::clicked, this, &QWidget::close);
    runRow->addWidget(m_SpeedButton1);
    runRow->addWidget(m_eventLine, 1);
    runRow->addWidget(m_cancelar);

    static const struct {
        const char* name;
        const char* caption;
    } kScreenButtons[kScreenCount] = {
        {"BMensajes", "Mensajes error"},
        {"BPendienteEnvio", "Pendiente envio"},
        {"BPendienteDescarga", "Pendiente descarga"},
        {"BCompanias", "Compañías"},
        {"BConfDocumentos", "Conf. Documentos"},
    };
    auto* screenRow = new QHBoxLayout;
    for (int i = 0; i < kScreenCount; ++i) {
        auto* button = new QPushButton(u8(kScreenButtons[i].caption), this);
        button->setObjectName(kScreenButtons[i].name);
        const auto screen = static_cast<Screen>(i);
        connect(button, &QPushButton::clicked, this, [this, screen] { openScreen(screen); });
        screenRow->addWidget(button);
        m_screenButtons[i] = button;
    }
    refreshScreenButtons();

    m_progressPanel = new QFrame(this);
    m_progressPanel->setObjectName("PProgreso");
    m_progressPanel->setFrameShape(QFrame::StyledPanel);
    auto* progress = new QVBoxLayout(m_progressPanel);
    m_progressCaption = new QLabel(m_progressPanel);
    m_progressCaption->setObjectName("LProgreso");
    m_progressBar = new QProgressBar(m_progressPanel);
    m_progressBar->setObjectName("ProgressBar1");
    m_progressBar->setValue(0);
    progress->addWidget(m_progressCaption);
    progress->addWidget(m_progressBar);
    m_progressPanel->hide();

    auto* revision = new QLabel(u8("Rev:2026/05/22"), this);
    revision->setObjectName("LRevision");

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(runRow);
    layout->addLayout(screenRow);
    layout->addWidget(m_progressPanel);
    layout->addStretch();
    layout->addWidget(revision);
}

void Tfprincipalauto::setScreen(Screen screen, ScreenOpener opener) {
    m_openers[static_cast<int>(screen)] = std::move(opener);
    refreshScreenButtons();
}

void Tfprincipalauto::installScreens() {
    // Database errors of a screen go where every unhandled error goes.
    const screens::ErrorSink sink = [this](const std::string& message) {
        m_session->unhandled(message);
    };
    setScreen(Screen::Mensajes, [sink](Tfprincipalauto& w) {
        screens::Tfmensajesenv screen(w.session().local(), sink, &w);
        w.execScreen(screen);
    });
    // Download mode reads and deletes in the server database the run's
    // connection is set to when the screen opens (the last server a run
    // connected to); no run can move it while the screen is open.
    for (const bool upload : {true, false}) {
        setScreen(upload ? Screen::PendienteEnvio : Screen::PendienteDescarga,
                  [sink, upload](Tfprincipalauto& w) {
                      screens::Tfpendientes screen(w.session().local(),
                                                   w.session().driver().server(), upload, sink, &w);
                      w.execScreen(screen);
                  });
    }
    setScreen(Screen::Companias, [sink](Tfprincipalauto& w) {
        screens::Tfrepcompania screen(w.session().local(), sink, &w);
        w.execScreen(screen);
    });
    setScreen(Screen::ConfDocumentos, [sink](Tfprincipalauto& w) {
        screens::Tfrepdocs screen(w.session().local(), sink, &w);
        w.execScreen(screen);
    });
}

int Tfprincipalauto::execScreen(QDialog& dialog) {
    if (m_dialogHook) {
        m_dialogHook(dialog);
    }
    return dialog.exec();
}

void Tfprincipalauto::refreshScreenButtons() {
    for (int i = 0; i < kScreenCount; ++i) {
        bool enabled = static_cast<bool>(m_openers[i]) && !m_inRun;
        if (static_cast<Screen>(i) == Screen::Mensajes) {
            enabled = enabled && m_errorsEnabled;
        }
        m_screenButtons[i]->setEnabled(enabled);
    }
}

void Tfprincipalauto::openScreen(Screen screen) {
    // A copy: the opener may be replaced while its screen is open.
    const ScreenOpener opener = m_openers[static_cast<int>(screen)];
    if (!opener || m_inRun || m_screenOpen) {
        return;
    }
    m_screenOpen = true;
    try {
        opener(*this);
    } catch (const std::exception& e) {
        m_session->unhandled(e.what());
    }
    m_screenOpen = false;
    if (m_runDeferred) {
        m_runDeferred = false;
        SpeedButton1Click();
    }
}

void Tfprincipalauto::showMessage(const QString& message, bool error) {
    if (m_messageHook) {
        m_messageHook(message, error);
        return;
    }
    if (error) {
        QMessageBox::critical(this, windowTitle(), message, QMessageBox::Ok);
    } else {
        QMessageBox::information(this, windowTitle(), message, QMessageBox::Ok);
    }
}

void Tfprincipalauto::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_firstActivation) {
        // After the window is on screen, so that the login appears over it.
        QTimer::singleShot(0, this, &Tfprincipalauto::FormActivate);
    }
}

void Tfprincipalauto::closeEvent(QCloseEvent* event) {
    if (m_inRun) {
        // Closing now would cut the event being copied in half: the close
        // happens when the run returns.
        m_closePending = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool Tfprincipalauto::defaultLogin() {
    screens::Tfaccesoauto login(m_session->general(), m_appDir, this);
    // Its handler outlives the screen: it stays the application's until
    // the first upload phase.
    m_session->installHandler(login.errorHandler());
    if (execScreen(login) != QDialog::Accepted) {
        return false;
    }
    m_session->setIdentification(login.serverText(), login.loginUser(), login.loginPassword());
    return true;
}

void Tfprincipalauto::FormActivate() {
    if (!m_firstActivation) {
        return;
    }
    m_firstActivation = false;

    if (m_args.commandLineMode()) {
        try {
            m_session->identify(m_args.server, m_args.user, m_args.password);
            m_identified = true;
        } catch (const std::exception& e) {
            m_session->unhandled(e.what());
            endOnce(kExitNotStarted);
            return;
        }
    } else {
        const bool accepted = m_loginHook ? m_loginHook(*this) : defaultLogin();
        if (!accepted) {
            emit quitRequested(m_args.once ? kExitNotStarted : kExitCompleted);
            return;
        }
        m_identified = true;
    }

    if (!m_identified) {
        return;
    }
    m_identified = false;
    m_server->setText(qs(m_session->serverText()));
    try {
        loadCompanies();
    } catch (const std::exception& e) {
        m_session->unhandled(e.what());
        endOnce(kExitNotStarted);
        return;
    }

    if (!m_args.commandLineMode()) {
        return;
    }
    m_companyFailed = false;
    const int row = m_LCiaOri->findText(qs(m_args.company));
    m_LCiaOri->setCurrentIndex(row);  // connects the company's database
    if (m_companyFailed) {
        endOnce(kExitNotStarted);
        return;
    }
    if (m_args.skipErrors == "1") {
        m_CkError->setChecked(true);
    }
    m_session->driver().setServerOverride(m_args.serverOverride);
    SpeedButton1Click();
}

void Tfprincipalauto::loadCompanies() {
    const std::vector<Company> list = m_session->companies();
    const QSignalBlocker block(m_LCiaOri);
    m_companies->removeRows(0, m_companies->rowCount());
    for (const Company& c : list) {
        m_companies->appendRow({new QStandardItem(qs(c.code)), new QStandardItem(qs(c.name))});
    }
    m_LCiaOri->setCurrentIndex(-1);
}

std::string Tfprincipalauto::selectedCompany() const {
    const int row = m_LCiaOri->currentIndex();
    if (row < 0 || m_LCiaOri->currentText().isEmpty()) {
        return {};
    }
    return m_companies->item(row, 0)->text().toStdString();
}

void Tfprincipalauto::onCompanyTextChanged(const QString& code) {
    if (code.isEmpty()) {
        return;
    }
    chooseCompany(code.toStdString());
}

bool Tfprincipalauto::chooseCompany(const std::string& code) {
    m_agencia->clear();
    try {
        const std::vector<std::string> branches = m_session->connectCompany(code);
        m_agencia->addItem(u8("Todas"));
        for (const std::string& name : branches) {
            m_agencia->addItem(qs(name));
        }
        m_agencia->setCurrentIndex(0);
        m_companyFailed = false;
        return true;
    } catch (const std::exception& e) {
        m_companyFailed = true;
        m_session->unhandled(e.what());
        return false;
    }
}

void Tfprincipalauto::SpeedButton1Click() {
    if (m_inRun) {
        return;
    }
    if (m_screenOpen) {
        // The screen may write (or delete in the server database the run
        // would move): the run waits for it to close.
        m_runDeferred = true;
        return;
    }
    m_inRun = true;
    refreshScreenButtons();
    m_lastReport = m_session->run();
    m_inRun = false;
    refreshScreenButtons();
    emit runFinished();
    if (m_args.once) {
        endOnce(exitStatus(m_lastReport));
    }
    if (m_closePending) {
        m_closePending = false;
        close();
    }
}

void Tfprincipalauto::Timer1Timer() {
    SpeedButton1Click();
}

void Tfprincipalauto::endOnce(int status) {
    if (!m_args.once || m_onceDone) {
        return;
    }
    m_onceDone = true;
    emit quitRequested(status);
}

}  // namespace replica::app
