#include "app/principalauto.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>
#include <memory>

#include "app/appdir.h"
#include "app/platformtexts.h"
#include "app/verify.h"
#include "app/windowchoices.h"
#include "families/all.h"
#include "screens/choices.h"
#include "screens/ctrlaccesoauto.h"
#include "screens/dialoghooks.h"
#include "screens/logview.h"
#include "screens/mensajesenv.h"
#include "screens/offthread.h"
#include "screens/pendientes.h"
#include "screens/repcompania.h"
#include "screens/repdocs.h"
#include "screens/verificar.h"

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
constexpr const char* kGeometryKey = "Ventana/Geometria";
constexpr int kScreenCount = 7;

// The company selector keys on COMP_COD (its text is the code) and shows,
// once a company is chosen, its code and name, as the list does.
QString companyBoxText(const QComboBox& box) {
    QString text = box.currentText();
    const int row = box.currentIndex();
    if (row >= 0 && box.model()->columnCount() > 1) {
        const QString name = box.model()->index(row, 1).data().toString();
        if (!name.isEmpty()) {
            text += QStringLiteral(" - ") + name;
        }
    }
    return text;
}

class CompanyBox : public QComboBox {
  public:
    using QComboBox::QComboBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        option.currentText = companyBoxText(*this);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

QString duration(qint64 ms) {
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds < 60) {
        return QStringLiteral("%1 s").arg(seconds);
    }
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

}  // namespace

// The engine's view of this window. Kept apart from the widget so that the
// Operator's names (repaint, startTimer) never hide the toolkit's own.
//
// A run works on a thread of its own: a call from there is handed to the
// window's thread (in the order made) and the run goes on without waiting
// for it; only inputs(), which the run needs back, waits for the window,
// which is always turning its event loop during a run.
class Tfprincipalauto::ScreenOperator : public Operator {
  public:
    explicit ScreenOperator(Tfprincipalauto& w) : m_w(w) {}

    RunInputs inputs() override {
        if (onWindowThread()) {
            return read();
        }
        RunInputs in;
        QMetaObject::invokeMethod(
            &m_w, [this, &in] { in = read(); }, Qt::BlockingQueuedConnection);
        return in;
    }
    void setDownloadCount(const std::string& t) override {
        onWindow([this, t] { m_w.m_NroOp->setText(qs(t)); });
    }
    void setUploadCount(const std::string& t) override {
        onWindow([this, t] { m_w.m_NroOpE->setText(qs(t)); });
    }

    void showProgress(const std::string& caption) override {
        onWindow([this, caption] {
            if (!m_w.m_stopping) {
                m_w.m_progressCaption->setText(qs(caption));
            }
            m_w.m_progressPanel->show();
        });
    }
    void hideProgress() override {
        onWindow([this] { m_w.m_progressPanel->hide(); });
    }
    void setProgressMaximum(int maximum) override {
        onWindow([this, maximum] {
            m_w.m_progressBar->setRange(0, maximum);
            m_w.m_progressBar->setValue(0);
        });
    }
    void stepProgress() override {
        onWindow([this] {
            m_w.m_progressPanel->show();
            m_w.m_progressBar->setValue(m_w.m_progressBar->value() + 1);
        });
    }
    void showEventLine(const std::string& t) override {
        onWindow([this, t] {
            m_w.m_eventLine->setText(qs(t));
            m_w.m_eventLine->show();
        });
    }
    void hideEventLine() override {
        onWindow([this] { m_w.m_eventLine->hide(); });
    }

    void setLastError(const std::string& t) override {
        onWindow([this, t] { m_w.setLastErrorText(qs(t)); });
    }
    void setLastSend(const std::string& t) override {
        onWindow([this, t] { m_w.m_EUltenvio->setText(qs(t)); });
    }
    void setErrorsButtonEnabled(bool enabled) override {
        onWindow([this, enabled] {
            m_w.m_errorsEnabled = enabled;
            m_w.refreshScreenButtons();
        });
    }

    // Every message of a run is something the operator must correct; none
    // waits for a click while a run is in progress (runMessage).
    void message(const std::string& t) override { tell(t); }
    void errorMessage(const std::string& t) override { tell(t); }
    void beep() override {
        onWindow([] { QApplication::beep(); });
    }
    // The window's thread turns its own event loop during a run.
    void processEvents() override {
        if (onWindowThread()) {
            QCoreApplication::processEvents();
        }
    }
    void repaint() override {
        onWindow([this] { m_w.update(); });
    }

    void stopTimer() override {
        onWindow([this] { m_w.m_timer->stop(); });
    }
    void startTimer(int intervalMs) override {
        onWindow([this, intervalMs] {
            // A zero interval means no ticks at all, not a run after every
            // pass of the event loop.
            if (intervalMs <= 0) {
                m_w.m_timer->stop();
                return;
            }
            m_w.m_timer->start(intervalMs);
        });
    }

    // A message already logged by whoever sends it, shown as tell() shows.
    void show(const std::string& t) {
        onWindow([this, t] { m_w.runMessage(qs(t)); });
    }

  private:
    bool onWindowThread() const { return QThread::currentThread() == m_w.thread(); }
    template <typename F>
    void onWindow(F call) {
        if (onWindowThread()) {
            call();
        } else {
            QMetaObject::invokeMethod(&m_w, std::move(call), Qt::QueuedConnection);
        }
    }
    RunInputs read() const {
        RunInputs in;
        in.companyCode = m_w.selectedCompany();
        in.prefix = text(m_w.m_Pref);
        in.downloadCount = text(m_w.m_NroOp);
        in.uploadCount = text(m_w.m_NroOpE);
        in.frequency = text(m_w.m_Minut);
        in.newestFirst = m_w.m_ckreciente->isChecked();
        in.skipErrors = m_w.m_CkError->isChecked();
        in.atomicDocuments = m_w.m_CkCompletos->isChecked();
        return in;
    }
    void tell(const std::string& t) {
        if (onWindowThread()) {
            m_w.runMessage(qs(t));
            return;
        }
        // What would have been a box is kept where an unattended PC's
        // administrator looks. The directory lookup may itself tell the
        // operator something: that is not written again.
        static thread_local bool logging = false;
        if (!logging) {
            logging = true;
            m_w.m_session->logs().error(t);
            logging = false;
        }
        QMetaObject::invokeMethod(
            &m_w, [this, t] { m_w.runMessage(qs(t)); }, Qt::QueuedConnection);
    }

    Tfprincipalauto& m_w;
};

Tfprincipalauto::Tfprincipalauto(CommandLine args, QWidget* parent)
    : QWidget(parent), m_args(std::move(args)) {
    setObjectName("fprincipalauto");
    setWindowTitle(u8("Envío de información"));
    // The first screen of the program sets the toolkit's own texts.
    m_programTitle = takeProgramTitle();
    installPlatformTranslations();
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

    m_countdownTimer = new QTimer(this);
    connect(m_countdownTimer, &QTimer::timeout, this, &Tfprincipalauto::updateCountdown);
    m_countdownTimer->start(1000);
    updateCountdown();

    buildTray();
}

// The tray icon has a menu of its own, owned by the window: a right click
// then never leaves the platform to make (and drop) one while the window
// is minimised, and it is not the click that brings the window back.
void Tfprincipalauto::buildTray() {
    m_tray = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_DriveNetIcon), this);
    m_tray->setObjectName("Bandeja");
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName("MenuBandeja");
    connect(m_trayMenu->addAction(u8("Mostrar la ventana")), &QAction::triggered, this,
            &Tfprincipalauto::restoreFromTray);
    connect(m_trayMenu->addAction(u8("Enviar ahora")), &QAction::triggered, this,
            &Tfprincipalauto::SpeedButton1Click);
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    restoreFromTray();
                }
            });
    updateTray();
    restoreGeometry(screens::rememberedChoice(kGeometryKey).toByteArray());
}

void Tfprincipalauto::restoreFromTray() {
    showNormal();
    raise();
    activateWindow();
}

Tfprincipalauto::~Tfprincipalauto() {
    // Only a window that was on screen has a size and place worth keeping.
    if (m_shownOnce) {
        screens::rememberChoice(kGeometryKey, saveGeometry());
    }
}

// The operator's fields of a run come back as typed last time (the run's
// own changes to the counts are not the operator's, and are not kept).
void Tfprincipalauto::rememberRunFields() {
    for (QLineEdit* edit : {m_NroOp, m_NroOpE, m_Minut}) {
        const QString key = QStringLiteral("Ventana/") + edit->objectName();
        const QString kept = screens::rememberedChoice(key).toString();
        if (!kept.isEmpty()) {
            edit->setText(kept);
        }
        connect(edit, &QLineEdit::textEdited, this,
                [key](const QString& t) { screens::rememberChoice(key, t); });
    }
    for (QCheckBox* box : {m_ckreciente, m_CkError}) {
        const QString key = QStringLiteral("Ventana/") + box->objectName();
        box->setChecked(screens::rememberedChoice(key, false).toBool());
        connect(box, &QCheckBox::clicked, this,
                [key](bool on) { screens::rememberChoice(key, on); });
    }
}

QString Tfprincipalauto::companyShown() const {
    return companyBoxText(*m_LCiaOri);
}

Operator& Tfprincipalauto::screenOperator() {
    return *m_operator;
}

// Top to bottom. The controls are made in the order the Tab key follows.
void Tfprincipalauto::buildControls() {
    auto* fields = new QGridLayout;
    int row = 0;
    addCompanyFields(*fields, row);
    addRunFields(*fields, row);
    addStateFields(*fields, row);
    QHBoxLayout* errorRow = buildErrorRow();
    QHBoxLayout* runRow = buildRunRow();
    QHBoxLayout* screenRow = buildScreenRow();
    buildProgressPanel();

    auto* revision = new QLabel(u8("Rev:2026/05/22"), this);
    revision->setObjectName("LRevision");

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(errorRow);
    layout->addLayout(runRow);
    layout->addLayout(screenRow);
    layout->addWidget(m_progressPanel);
    layout->addStretch();
    layout->addWidget(revision);
}

// "Servidor:", "Compañía Local:" and "Agencia:".
void Tfprincipalauto::addCompanyFields(QGridLayout& fields, int& row) {
    m_server = new QLineEdit(this);
    m_server->setObjectName("EServidor");
    m_server->setReadOnly(true);
    fields.addWidget(new QLabel(u8("Servidor:"), this), row, 0);
    fields.addWidget(m_server, row++, 1, 1, 2);

    m_companies = new QStandardItemModel(0, 2, this);
    m_companies->setHorizontalHeaderLabels({u8("Código"), u8("Nombre")});
    m_LCiaOri = new CompanyBox(this);
    m_LCiaOri->setObjectName("LCiaOri");
    m_LCiaOri->setMinimumContentsLength(36);
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
    fields.addWidget(new QLabel(u8("Compañía Local:"), this), row, 0);
    fields.addWidget(m_LCiaOri, row++, 1, 1, 2);

    m_agencia = new QComboBox(this);
    m_agencia->setObjectName("LAgencia");
    fields.addWidget(new QLabel(u8("Agencia:"), this), row, 0);
    fields.addWidget(m_agencia, row++, 1, 1, 2);
}

// The fields a run reads: prefix, the two counts, the frequency and the
// three boxes.
void Tfprincipalauto::addRunFields(QGridLayout& fields, int& row) {
    auto addLine = [&](QLineEdit*& edit, const char* name, const char* caption, const char* initial,
                       const char* unit) {
        edit = new QLineEdit(u8(initial), this);
        edit->setObjectName(name);
        fields.addWidget(new QLabel(u8(caption), this), row, 0);
        fields.addWidget(edit, row, 1);
        if (unit) {
            fields.addWidget(new QLabel(u8(unit), this), row, 2);
        }
        ++row;
    };
    addLine(m_Pref, "Pref", "Prefijo a enviar:", "", nullptr);
    addLine(m_NroOp, "NroOp", "Operaciones a traer:", "100", nullptr);
    addLine(m_NroOpE, "NroOpE", "Operaciones a enviar:", "100", nullptr);
    addLine(m_Minut, "Minut", "Frecuencia:", "1", "minutos");
    connect(m_Minut, &QLineEdit::editingFinished, this, &Tfprincipalauto::frequencyEdited);

    m_ckreciente = new QCheckBox(u8("Enviar lo más reciente primero"), this);
    m_ckreciente->setObjectName("ckreciente");
    fields.addWidget(m_ckreciente, row++, 1, 1, 2);
    m_CkError = new QCheckBox(u8("No reintentar errores"), this);
    m_CkError->setObjectName("CkError");
    fields.addWidget(m_CkError, row++, 1, 1, 2);
    // The operator's choice outlives the window: the next start writes
    // documents the same way.
    m_CkCompletos = new QCheckBox(u8("Documentos completos (todo o nada)"), this);
    m_CkCompletos->setObjectName("CkCompletos");
    m_CkCompletos->setToolTip(
        u8("Cada documento se escribe en el destino en una sola transacción: si una línea es "
           "rechazada, el destino queda como estaba antes del evento."));
    m_CkCompletos->setChecked(rememberedAtomicDocuments());
    connect(m_CkCompletos, &QCheckBox::toggled, this, [](bool on) { rememberAtomicDocuments(on); });
    fields.addWidget(m_CkCompletos, row++, 1, 1, 2);
    rememberRunFields();
}

// What the runs have done and when the next one comes.
void Tfprincipalauto::addStateFields(QGridLayout& fields, int& row) {
    m_EUltenvio = new QLineEdit(this);
    m_EUltenvio->setObjectName("EUltenvio");
    m_EUltenvio->setReadOnly(true);
    fields.addWidget(new QLabel(u8("Ultima actualización:"), this), row, 0);
    fields.addWidget(m_EUltenvio, row++, 1, 1, 2);

    m_summaryLabel = new QLabel(u8("Sin envíos desde que se abrió el programa."), this);
    m_summaryLabel->setObjectName("LResumen");
    fields.addWidget(new QLabel(u8("Último envío:"), this), row, 0);
    fields.addWidget(m_summaryLabel, row++, 1, 1, 2);

    m_countdown = new QLabel(this);
    m_countdown->setObjectName("LProximo");
    fields.addWidget(new QLabel(u8("Próximo envío:"), this), row, 0);
    fields.addWidget(m_countdown, row++, 1, 1, 2);
}

// "Último error:" keeps three lines whatever the message: a long one is cut
// there (the whole text is its tooltip) instead of growing the window; the
// capture puts the document and the database's reason first.
QHBoxLayout* Tfprincipalauto::buildErrorRow() {
    m_Label8 = new QLabel(u8("Último error:"), this);
    m_Label8->setObjectName("Label8");
    m_Label8->setWordWrap(true);
    m_Label8->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_Label8->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_Label8->setFixedHeight(3 * m_Label8->fontMetrics().lineSpacing() + 2);
    m_errorTime = new QLabel(this);
    m_errorTime->setObjectName("LHoraError");
    m_errorTime->setAlignment(Qt::AlignRight | Qt::AlignTop);
    // Its width never changes with its text, so "Último error:" keeps its own.
    m_errorTime->setFixedWidth(
        m_errorTime->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 8);
    auto* errorRow = new QHBoxLayout;
    errorRow->addWidget(m_Label8, 1);
    errorRow->addWidget(m_errorTime);
    return errorRow;
}

// "Enviar", "Detener", the one-line event field and "Cancelar". The event
// field keeps its place while hidden, so no button moves when it comes and
// goes.
QHBoxLayout* Tfprincipalauto::buildRunRow() {
    auto* runRow = new QHBoxLayout;
    m_SpeedButton1 = new QPushButton(u8("Enviar"), this);
    m_SpeedButton1->setObjectName("SpeedButton1");
    connect(m_SpeedButton1, &QPushButton::clicked, this, &Tfprincipalauto::SpeedButton1Click);
    m_detener = new QPushButton(u8("Detener"), this);
    m_detener->setObjectName("BDetener");
    m_detener->setToolTip(u8("Termina el envío en curso después del documento que está copiando"));
    m_detener->setEnabled(false);
    connect(m_detener, &QPushButton::clicked, this, &Tfprincipalauto::DetenerClick);
    m_eventLine = new QLineEdit(this);
    m_eventLine->setObjectName("EEvento");
    m_eventLine->setReadOnly(true);
    QSizePolicy keep = m_eventLine->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_eventLine->setSizePolicy(keep);
    m_eventLine->hide();
    m_cancelar = new QPushButton(u8("Cancelar"), this);
    m_cancelar->setObjectName("BCancelar");
    connect(m_cancelar, &QPushButton::clicked, this, &Tfprincipalauto::CancelarClick);
    runRow->addWidget(m_SpeedButton1);
    runRow->addWidget(m_detener);
    runRow->addWidget(m_eventLine, 1);
    runRow->addWidget(m_cancelar);
    return runRow;
}

// One button per screen, in the order of Screen.
QHBoxLayout* Tfprincipalauto::buildScreenRow() {
    static const struct {
        const char* name;
        const char* caption;
    } kScreenButtons[kScreenCount] = {
        {"BMensajes", "Mensajes error"},
        {"BPendienteEnvio", "Pendiente envio"},
        {"BPendienteDescarga", "Pendiente descarga"},
        {"BCompanias", "Compañías"},
        {"BConfDocumentos", "Conf. Documentos"},
        {"BRegistros", "Registros"},
        {"BVerificar", "Verificar"},
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
    m_screenButtons[static_cast<int>(Screen::Registros)]->setToolTip(
        u8("errorenvio.txt, ENVIO.TXT y ERRORES.TXT, las líneas más recientes primero"));
    m_screenButtons[static_cast<int>(Screen::Verificar)]->setToolTip(
        u8("Compara los documentos de esta compañía con los de las compañías con que replica"));
    refreshScreenButtons();
    return screenRow;
}

// The progress area keeps its place while hidden: the window never grows
// nor leaves a gap when the panel comes and goes.
void Tfprincipalauto::buildProgressPanel() {
    m_progressPanel = new QFrame(this);
    m_progressPanel->setObjectName("PProgreso");
    m_progressPanel->setFrameShape(QFrame::StyledPanel);
    auto* progress = new QVBoxLayout(m_progressPanel);
    m_progressCaption = new QLabel(m_progressPanel);
    m_progressCaption->setObjectName("LProgreso");
    m_progressCaption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_progressBar = new QProgressBar(m_progressPanel);
    m_progressBar->setObjectName("ProgressBar1");
    m_progressBar->setValue(0);
    progress->addWidget(m_progressCaption);
    progress->addWidget(m_progressBar);
    QSizePolicy fixedPanel(QSizePolicy::Preferred, QSizePolicy::Fixed);
    fixedPanel.setRetainSizeWhenHidden(true);
    m_progressPanel->setSizePolicy(fixedPanel);
    m_progressPanel->hide();
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
    setScreen(Screen::Mensajes, [](Tfprincipalauto& w) { w.openErrorMessages(); });
    setScreen(Screen::PendienteEnvio, [sink](Tfprincipalauto& w) {
        screens::Tfpendientes screen(w.session().local(), w.session().driver().server(), true,
                                     w.selectedCompany(), sink, &w);
        w.execScreen(screen);
    });
    setScreen(Screen::PendienteDescarga, [](Tfprincipalauto& w) { w.openDownloadPending(); });
    setScreen(Screen::Companias, [sink](Tfprincipalauto& w) {
        screens::Tfrepcompania screen(w.session().local(), sink, &w);
        w.execScreen(screen);
    });
    setScreen(Screen::ConfDocumentos, [sink](Tfprincipalauto& w) {
        screens::Tfrepdocs screen(w.session().local(), sink, &w);
        w.execScreen(screen);
    });
    setScreen(Screen::Registros, [](Tfprincipalauto& w) {
        screens::LogView view(w.m_appDir, &w);
        w.execScreen(view);
    });
    setScreen(Screen::Verificar, [](Tfprincipalauto& w) { w.openVerify(); });
}

void Tfprincipalauto::openVerify() {
    // The same comparison and queueing as `replica verify`, on the
    // session's connection of the chosen company.
    const std::string company = selectedCompany();
    const std::string override = m_session->driver().serverOverride();
    // The comparison runs off this thread: on connections of its own, so
    // that nothing here shares one with it.
    auto settings = std::make_shared<db::Connection>();
    settings->configureLike(m_session->local());
    screens::Tfverificar screen(
        [settings, company, override](const Period& period) {
            db::Connection local;
            local.configureLike(*settings);
            local.open();
            VerifyOptions options;
            options.period = period;
            VerifyReport report = verifyCompany(local, company, override, options, {});
            return screens::VerifyOutcome{std::move(report.pairs), std::move(report.errors)};
        },
        [this, company, override](const std::vector<Requeued>& events) {
            return requeueInPeers(m_session->local(), company, override, events);
        },
        this);
    screen.setWindowTitle(screen.windowTitle() + qs(" - " + company));
    execScreen(screen);
}

void Tfprincipalauto::openDownloadPending() {
    // The events waiting for this company's download phase are on its
    // download source, whatever server a run last connected to (often an
    // upload destination, where none of them is).
    const std::string problem = m_session->openDownloadSource();
    if (!problem.empty()) {
        showMessage(qs(problem), true);
        return;
    }
    db::Connection& source = m_session->downloadSource();
    const screens::ErrorSink sink = [this](const std::string& message) {
        m_session->unhandled(message);
    };
    screens::Tfpendientes screen(m_session->local(), source, false, selectedCompany(), sink, this);
    screen.setWindowTitle(screen.windowTitle() + qs(" (" + source.path() + ")"));
    execScreen(screen);
    source.close();
}

void Tfprincipalauto::openErrorMessages() {
    const screens::ErrorSink sink = [this](const std::string& message) {
        m_session->unhandled(message);
    };
    screens::Tfmensajesenv screen(m_session->local(), sink, this);
    // A download failure is recorded on the source's row: this company's
    // failed downloads are listed from there too. A company without a
    // download source has only its own; one that cannot be reached is
    // said under the list, which still shows the local ones.
    const std::string problem = m_session->openDownloadSource();
    if (problem.empty()) {
        screen.addDownloadSource(m_session->downloadSource(), selectedCompany());
    } else if (problem != kNoDownloadSourceMessage) {
        screen.setNote(qs(problem).replace(QLatin1Char('\n'), QStringLiteral(": ")));
    }
    execScreen(screen);
    m_session->downloadSource().close();
}

int Tfprincipalauto::execScreen(QDialog& dialog) {
    if (m_dialogHook) {
        m_dialogHook(dialog);
    }
    return dialog.exec();
}

void Tfprincipalauto::refreshScreenButtons() {
    for (int i = 0; i < kScreenCount; ++i) {
        const auto screen = static_cast<Screen>(i);
        bool enabled = static_cast<bool>(m_openers[i]) && !m_inRun;
        if (screen == Screen::Mensajes) {
            enabled = enabled && m_errorsEnabled;
        }
        // Every screen but the log view works on the company's database.
        if (screen != Screen::Registros) {
            enabled = enabled && m_companyOpen;
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
    QMessageBox box(error ? QMessageBox::Warning : QMessageBox::Information, windowTitle(), message,
                    QMessageBox::Ok, this);
    screens::fitTitle(box);
    box.exec();
}

void Tfprincipalauto::runMessage(const QString& message) {
    if (!m_inRun) {
        showMessage(message, true);
        return;
    }
    // A box would hold the run, and an unattended PC for as long as no
    // one comes: it is said where the window says what failed.
    m_runMessages << message;
    setLastErrorText(u8("Ultimo error: ") + message);
}

void Tfprincipalauto::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTray();  // the window on screen needs no icon beside it
    m_shownOnce = true;
    if (m_firstActivation) {
        // After the window is on screen, so that the login appears over it.
        QTimer::singleShot(0, this, &Tfprincipalauto::FormActivate);
    }
}

bool Tfprincipalauto::confirm(const QString& text) {
    if (m_confirmHook) {
        return m_confirmHook(text);
    }
    QMessageBox box(QMessageBox::Question, windowTitle(), text, QMessageBox::Yes | QMessageBox::No,
                    this);
    screens::fitTitle(box);
    return box.exec() == QMessageBox::Yes;
}

bool Tfprincipalauto::quitConfirmed() {
    if (m_inRun) {
        return confirm(u8("Hay un envío en curso. ¿Desea cerrar el programa cuando termine?"));
    }
    if (m_timer->isActive()) {
        return confirm(
            u8("Al cerrar el programa se detienen los envíos automáticos. ¿Desea cerrarlo?"));
    }
    return true;
}

void Tfprincipalauto::CancelarClick() {
    if (!quitConfirmed()) {
        return;
    }
    m_quitAsked = true;
    close();
    m_quitAsked = false;
}

void Tfprincipalauto::DetenerClick() {
    if (!m_inRun) {
        return;
    }
    m_session->driver().requestStop();
    m_detener->setEnabled(false);
    m_stopping = true;
    m_progressCaption->setText(u8("Deteniendo el envío después del documento en curso..."));
}

void Tfprincipalauto::closeEvent(QCloseEvent* event) {
    // The close box asks as "Cancelar" does; a close the program asks for
    // (a stop signal) does not wait for anyone.
    if (event->spontaneous() && !m_quitAsked && !m_closePending && !quitConfirmed()) {
        event->ignore();
        return;
    }
    if (m_inRun) {
        // Closing now would cut the event being copied in half: the run
        // ends after it, and the close happens when the run returns.
        m_closePending = true;
        DetenerClick();
        event->ignore();
        return;
    }
    m_closing = true;
    m_tray->hide();
    QWidget::closeEvent(event);
}

void Tfprincipalauto::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    updateTray();
}

void Tfprincipalauto::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        updateTray();
    }
}

void Tfprincipalauto::updateTray() {
    if (!m_tray) {
        return;
    }
    const QString title = m_programTitle.isEmpty() ? windowTitle() : m_programTitle;
    m_tray->setToolTip(m_summary.isEmpty() ? title : title + QStringLiteral("\n") + m_summary);
    m_tray->setVisible(!m_closing && (isHidden() || isMinimized()));
}

void Tfprincipalauto::setLastErrorText(const QString& text) {
    // The engine words the label as the console prints it (scripts read
    // those lines); the window spells it as its other labels ("Último envío:").
    QString shown = text;
    if (shown.startsWith(QStringLiteral("Ultimo error:"))) {
        shown.replace(0, 1, QChar(0x00DA));
    }
    m_Label8->setText(shown);
    m_Label8->setToolTip(shown);
    m_errorTime->setText(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QString Tfprincipalauto::countdownText() const {
    if (m_inRun) {
        return u8("envío en curso");
    }
    if (!m_timer->isActive()) {
        return u8("sin envíos automáticos");
    }
    const int seconds = m_timer->remainingTime() / 1000;
    return u8("en %1:%2 (a las %3)")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(QDateTime::currentDateTime().addSecs(seconds).toString(QStringLiteral("HH:mm")));
}

void Tfprincipalauto::updateCountdown() {
    m_countdown->setText(countdownText());
}

void Tfprincipalauto::showRunSummary(const RunReport& report, qint64 elapsedMs, bool stopped) {
    if (!report.started) {
        return;
    }
    QString text = u8("%1: %2 eventos, %3 replicados, %4 con error")
                       .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")))
                       .arg(report.handled)
                       .arg(report.completed)
                       .arg(report.failed);
    // The same failed events handed again run after run would otherwise
    // look like a quiet queue.
    if (report.retried > 0) {
        text += u8(" (%1 reintentados)").arg(report.retried);
    }
    text += u8(", %1 omitidos").arg(report.skipped);
    if (report.failedWaiting > 0) {
        text += u8(", %1 con error esperan turno").arg(report.failedWaiting);
    }
    text += u8("; duró %1").arg(duration(elapsedMs));
    if (stopped) {
        text += u8(" (detenido)");
    } else if (!report.finished) {
        text += u8(" (terminó por un error)");
    }
    m_summary = text;
    m_summaryLabel->setText(text);
    m_summaryLabel->setToolTip(text);
    updateTray();
    if (report.failed > 0 && m_tray->isVisible()) {
        const QString title = u8("Envío con errores");
        if (m_notifyHook) {
            m_notifyHook(title, text);
        } else {
            m_tray->showMessage(title, text, QSystemTrayIcon::Warning);
        }
    }
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
    // From now on its errors may come from a run's thread: during a run
    // they reach the operator as the engine's messages do, never as a box.
    const auto boxed = login.hooks().warning;
    login.hooks().warning = [this, boxed](QWidget* parent, const QString& text) {
        if (QThread::currentThread() == thread() && !m_inRun) {
            boxed(parent, text);
            return;
        }
        m_operator->show(text.toStdString());
    };
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
        m_companyOpen = true;
        refreshScreenButtons();
        return true;
    } catch (const std::exception& e) {
        m_companyFailed = true;
        m_companyOpen = false;
        refreshScreenButtons();
        m_session->unhandled(e.what());
        return false;
    }
}

void Tfprincipalauto::SpeedButton1Click() {
    startRun(!m_args.commandLineMode());
}

void Tfprincipalauto::startRun(bool byHand) {
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
    m_stopping = false;
    m_runMessages.clear();
    refreshScreenButtons();
    m_detener->setEnabled(true);
    // The run works on the company's connection: it is not changed under it.
    m_LCiaOri->setEnabled(false);
    updateCountdown();
    QElapsedTimer elapsed;
    elapsed.start();
    // The engine's calls wait for databases: this one goes on repainting
    // and taking clicks meanwhile.
    screens::runOffThread([this] { m_lastReport = m_session->run(); });
    const qint64 ms = elapsed.elapsed();
    m_inRun = false;
    m_stopping = false;
    m_detener->setEnabled(false);
    m_LCiaOri->setEnabled(true);
    refreshScreenButtons();
    updateCountdown();
    if (m_lastReport.failed > 0) {
        // Events wait with their error even when none was ever sent.
        m_errorsEnabled = true;
        refreshScreenButtons();
    }
    showRunSummary(m_lastReport, ms, m_session->driver().stopRequested());
    if (byHand && !m_lastReport.started && !m_runMessages.isEmpty()) {
        // A run asked for by hand and refused before it began: the operator
        // is there, and must correct something first.
        showMessage(m_runMessages.join(QStringLiteral("\n")), true);
    }
    emit runFinished();
    if (m_args.once) {
        endOnce(exitStatus(m_lastReport));
    }
    if (m_closePending) {
        m_closePending = false;
        close();
    }
}

void Tfprincipalauto::frequencyEdited() {
    if (m_inRun) {
        return;  // the run re-arms the timer from the field as it ends
    }
    if (!m_session->driver().rearmTimer()) {
        showMessage(u8(kFrequencyMessage), true);
    }
    updateCountdown();
}

void Tfprincipalauto::Timer1Timer() {
    startRun(false);
}

void Tfprincipalauto::endOnce(int status) {
    if (!m_args.once || m_onceDone) {
        return;
    }
    m_onceDone = true;
    emit quitRequested(status);
}

}  // namespace replica::app
