#pragma once
// The main screen "Envío de información" (`Tfprincipalauto`, unit
// principalauto): the one window of the program, alive for the whole
// process.
//
// It identifies the operator on its first activation (command line or the
// login screen), lists the companies of GENERAL.FDB, connects the chosen
// company's database, and starts replication runs from "Enviar", from its
// repeat timer and, in command-line mode, once at start-up. It is what the
// engine shows things on: operator() is the engine's Operator for this
// window.
//
// The buttons under the fields open the operator screens modally, a new
// instance per press: the error monitor, the pending monitor in upload and
// in download mode, the two settings editors, the log view and the
// comparison with the other companies ("Verificar"). An interactive start
// identifies the operator with the access-control screen, whose error
// handler is the application's until the first upload phase (Session).
//
// Promises: a run never starts while another is in progress, and the window
// never closes in the middle of a run: a close asked for during a run ends
// it after the event in hand, as "Detener" does, and closes when the run
// returns. "Cancelar" and the close box ask first when a run is in progress
// or the repeat timer is armed (a close requested by the program, a stop
// signal, does not ask). "Detener" ends the run in progress after the event
// in hand, without quitting. The buttons that need a company, and the
// company selector during a run, are disabled.
//
// A run works on a thread of its own, one at a time: the window's thread
// goes on repainting and taking clicks during every database wait, and
// shows what the run hands it (operator()). No box waits for a click
// during a run: its messages and errors go to "Ultimo error:", the logs and
// the summary; only a run asked for by hand ("Enviar", interactive start)
// and refused before it began says why in a box, once it has returned.
//
// What it shows besides the fields: the summary of the last run (events
// handled, completed, failed, skipped, its duration), when "Último error:"
// was last written, a countdown to the next automatic run, and a tray icon
// while the window is hidden or minimised, whose tooltip carries the last
// summary and which notifies a run that ended with failures. The progress
// area keeps its place whether shown or not, so nothing moves during a run. Runs and operator
// screens never overlap: the screen buttons are disabled during a run, and a run asked for (timer,
// "Enviar") while a screen is open starts when the screen closes, so a
// screen never writes, nor deletes in a server database, while a run
// writes or moves the server connection. Message boxes, the login and the
// screens go through hooks so that they can be replaced or driven (tests).

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/commandline.h"
#include "app/session.h"
#include "engine/operator.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QSystemTrayIcon;
class QTimer;

namespace replica::app {

class Tfprincipalauto : public QWidget {
    Q_OBJECT

  public:
    // The screens opened by the buttons; each button stays disabled until
    // its screen is installed with setScreen.
    enum class Screen {
        Mensajes,
        PendienteEnvio,
        PendienteDescarga,
        Companias,
        ConfDocumentos,
        Registros,  // the log view
        Verificar,  // the comparison with the companies it replicates with
    };
    using ScreenOpener = std::function<void(Tfprincipalauto&)>;
    // Shows a message and waits for the operator. error: the error dialog
    // with the single button OK.
    using MessageHook = std::function<void(const QString& text, bool error)>;
    // Asks a question offering Yes and No; true only for Yes.
    using ConfirmHook = std::function<bool(const QString& text)>;
    // A tray notification (title, text).
    using NotifyHook = std::function<void(const QString& title, const QString& text)>;
    // The login at the first activation of an interactive start: returns
    // true once GENERAL.FDB is open and the identification is held by the
    // session (Session::identify or setIdentification); false ends the
    // program.
    using LoginHook = std::function<bool(Tfprincipalauto&)>;
    // Sees the login and every operator screen right before it is shown
    // modally (tests replace the screen's boxes and drive it from there).
    using DialogHook = std::function<void(QDialog&)>;

    explicit Tfprincipalauto(CommandLine args, QWidget* parent = nullptr);
    ~Tfprincipalauto() override;

    Session& session() { return *m_session; }
    Operator& screenOperator();

    void setScreen(Screen screen, ScreenOpener opener);
    void setMessageHook(MessageHook hook) { m_messageHook = std::move(hook); }
    void setConfirmHook(ConfirmHook hook) { m_confirmHook = std::move(hook); }
    void setNotifyHook(NotifyHook hook) { m_notifyHook = std::move(hook); }
    void setLoginHook(LoginHook hook) { m_loginHook = std::move(hook); }
    void setDialogHook(DialogHook hook) { m_dialogHook = std::move(hook); }
    // Shows dialog modally (after the dialog hook) and returns its result.
    int execScreen(QDialog& dialog);

    // The first activation: identification, company list and, in
    // command-line mode, the company choice and one run. Later calls do
    // nothing. Called when the window is first shown.
    void FormActivate();
    // "Enviar": one replication run, unless one is in progress. Returns
    // when the run has, the window live meanwhile (as a modal screen's
    // exec does).
    void SpeedButton1Click();
    // The repeat timer's tick.
    void Timer1Timer();
    // "Cancelar": asks when a run is in progress or the timer is armed,
    // then closes (after the run in progress).
    void CancelarClick();
    // "Detener": the run in progress stops after the event in hand.
    void DetenerClick();

    // The last run's summary as the window and the tray show it ("" before
    // the first run).
    QString runSummary() const { return m_summary; }
    // The countdown line's text for the current state.
    QString countdownText() const;
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // What the company selector shows: the chosen code and its name.
    QString companyShown() const;

    bool runInProgress() const { return m_inRun; }
    bool screenOpen() const { return m_screenOpen; }
    bool closePending() const { return m_closePending; }
    const RunReport& lastReport() const { return m_lastReport; }
    QTimer& timer() { return *m_timer; }

    // Shows message in a message box (through the hook when one is set); an
    // error carries the warning icon.
    void showMessage(const QString& message, bool error = false);
    bool confirm(const QString& text);

  signals:
    // The program should end with this exit status (login cancelled, or the
    // first run of a --once start has ended).
    void quitRequested(int status);
    // A run has returned (whatever its outcome).
    void runFinished();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    class ScreenOperator;
    friend class ScreenOperator;

    void buildControls();
    void addCompanyFields(QGridLayout& fields, int& row);
    void addRunFields(QGridLayout& fields, int& row);
    void addStateFields(QGridLayout& fields, int& row);
    QHBoxLayout* buildErrorRow();
    QHBoxLayout* buildRunRow();
    QHBoxLayout* buildScreenRow();
    void buildProgressPanel();
    void loadCompanies();
    void onCompanyTextChanged(const QString& code);
    // Connects the company of the selector; false when it failed (recorded).
    bool chooseCompany(const std::string& code);
    std::string selectedCompany() const;
    bool defaultLogin();
    void installScreens();
    void openScreen(Screen screen);
    void refreshScreenButtons();
    void endOnce(int status);
    // Whether quitting now needs the operator's word, and asks for it.
    bool quitConfirmed();
    // One run on a thread of its own; byHand: asked for by the operator
    // ("Enviar" in an interactive start), who is told in a box why a run
    // was refused.
    void startRun(bool byHand);
    // A message of the engine: a box between runs, "Ultimo error:" during
    // one.
    void runMessage(const QString& message);
    // "Frecuencia:" changed: the timer follows at once between runs.
    void frequencyEdited();
    void buildTray();
    void restoreFromTray();
    void showRunSummary(const RunReport& report, qint64 elapsedMs, bool stopped);
    void setLastErrorText(const QString& text);
    void updateCountdown();
    void updateTray();
    void openDownloadPending();
    void openErrorMessages();
    void openVerify();
    void rememberRunFields();
    CommandLine m_args;
    std::unique_ptr<ScreenOperator> m_operator;
    std::unique_ptr<Session> m_session;
    std::function<std::string()> m_appDir;
    MessageHook m_messageHook;
    ConfirmHook m_confirmHook;
    NotifyHook m_notifyHook;
    LoginHook m_loginHook;
    DialogHook m_dialogHook;
    ScreenOpener m_openers[7];
    QString m_programTitle;
    QString m_summary;

    bool m_firstActivation = true;
    bool m_identified = false;
    bool m_inRun = false;
    bool m_screenOpen = false;
    bool m_runDeferred = false;
    bool m_closePending = false;
    bool m_errorsEnabled = true;
    bool m_companyFailed = false;
    bool m_companyOpen = false;
    bool m_quitAsked = false;
    bool m_closing = false;
    bool m_onceDone = false;
    bool m_stopping = false;  // "Detener" pressed: its caption stays
    QStringList m_runMessages;
    bool m_shownOnce = false;
    RunReport m_lastReport;

    QLineEdit* m_server = nullptr;
    QLabel* m_errorTime = nullptr;
    QLabel* m_summaryLabel = nullptr;
    QLabel* m_countdown = nullptr;
    QPushButton* m_detener = nullptr;
    QTimer* m_countdownTimer = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    QComboBox* m_LCiaOri = nullptr;
    QStandardItemModel* m_companies = nullptr;
    QComboBox* m_agencia = nullptr;
    QLineEdit* m_Pref = nullptr;
    QLineEdit* m_NroOp = nullptr;
    QLineEdit* m_NroOpE = nullptr;
    QLineEdit* m_Minut = nullptr;
    QCheckBox* m_ckreciente = nullptr;
    QCheckBox* m_CkError = nullptr;
    QCheckBox* m_CkCompletos = nullptr;
    QLineEdit* m_EUltenvio = nullptr;
    QLabel* m_Label8 = nullptr;
    QPushButton* m_SpeedButton1 = nullptr;
    QPushButton* m_cancelar = nullptr;
    QLineEdit* m_eventLine = nullptr;
    QPushButton* m_screenButtons[7] = {};
    QFrame* m_progressPanel = nullptr;
    QLabel* m_progressCaption = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QTimer* m_timer = nullptr;
};

}  // namespace replica::app
