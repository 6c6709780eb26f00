#include "screens/ctrlaccesoauto.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <fstream>
#include <sstream>

#include "engine/db/error.h"
#include "engine/db/query.h"
#include "engine/logs.h"
#include "engine/sql.h"
#include "screens/aputilcrpt.h"

namespace replica::screens {

std::vector<std::string> parseServerList(const std::string& bytes) {
    std::vector<std::string> out;
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            out.push_back(line);
            line.clear();
            // The LF of a CR LF pair ends the same line. A CR alone ends its
            // line too: the byte after it belongs to the next server.
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else if (line.size() < kMaxServerLine) {
            line += c;
        }
    }
    // What follows the last line break is not a complete line.
    return out;
}

std::vector<std::string> readServerList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return parseServerList(bytes.str());
}

namespace {

// The text between the first two double quotes of a message (to its end
// when the second is missing).
std::string firstQuoted(const std::string& message) {
    const std::size_t open = message.find('"');
    if (open == std::string::npos) {
        return {};
    }
    const std::size_t close = message.find('"', open + 1);
    return message.substr(open + 1,
                          close == std::string::npos ? std::string::npos : close - open - 1);
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

std::string accessErrorText(const std::string& message) {
    if (contains(message, "Your user name and password are not defined")) {
        return "El nombre de Usuario o la clave son incorrectas.";
    }
    if (contains(message, "I/O error for file")) {
        return "No se encontró el archivo o la ruta " + firstQuoted(message);
    }
    // Firebird 3 words it 'I/O error during "open" operation for file
    // "..."': its first quotes hold the operation, so the file is the quoted
    // text after "operation for file".
    if (const std::size_t io = message.find("I/O error during \""); io != std::string::npos) {
        if (const std::size_t file = message.find("\" operation for file", io);
            file != std::string::npos) {
            return "No se encontró el archivo o la ruta " + firstQuoted(message.substr(file + 1));
        }
    }
    if (contains(message, "Unable to complete network request")) {
        return "No se encontró el equipo servidor con nombre " + firstQuoted(message);
    }
    return "Se presento el siguiente error: " + message;
}

// What the error handler needs; shared with the handler so that it
// outlives the screen.
struct Tfaccesoauto::Shared {
    DirectoryProvider dir;
    std::string loginUser;  // empty until a login succeeds
    DialogHooks hooks;
};

namespace {

void handleAccessError(Tfaccesoauto::DirectoryProvider dir, const std::string& loginUser,
                       const DialogHooks& hooks, const std::string& message) {
    QString text = QString::fromStdString(accessErrorText(message));
    try {
        Logs logs(std::move(dir));
        logs.append("ERRORES.TXT",
                    sqlDate(today()) + "," + sqlTime(now()) + "," + loginUser + "," + message);
    } catch (const std::exception& e) {
        // The operator still learns the error, and that it was not logged.
        text += QStringLiteral("\n") + QString::fromStdString(e.what());
    }
    hooks.warning(nullptr, text);
}

}  // namespace

Tfaccesoauto::Tfaccesoauto(db::Connection& general, DirectoryProvider appDir, QWidget* parent)
    : QDialog(parent), m_general(general), m_shared(std::make_shared<Shared>()) {
    m_shared->dir = std::move(appDir);
    m_shared->hooks = DialogHooks::standard();

    setWindowTitle(QStringLiteral("Control de acceso"));

    m_server = new QComboBox(this);
    m_server->setEditable(true);
    m_server->setInsertPolicy(QComboBox::NoInsert);
    m_server->setMinimumContentsLength(30);
    m_user = new QLineEdit(this);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    auto* group = new QGroupBox(QStringLiteral("Origen:"), this);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Servidor : "), m_server);
    form->addRow(QStringLiteral("Usuario : "), m_user);
    form->addRow(QStringLiteral("Clave : "), m_password);

    m_enter = new QPushButton(QStringLiteral("F2: &Entrar"), this);
    m_exit = new QPushButton(QStringLiteral("ESC: &Salir"), this);
    // Enter on a focused button presses it; in the three fields it moves on.
    m_enter->setAutoDefault(true);
    m_exit->setAutoDefault(true);
    connect(m_enter, &QPushButton::clicked, this, [this] { Entrar(); });
    connect(m_exit, &QPushButton::clicked, this, [this] { Salir(); });

    m_panel = new QLabel(QStringLiteral("Conectando con el servidor"), this);
    m_panel->setAlignment(Qt::AlignCenter);
    m_panel->setFrameShape(QFrame::Panel);
    m_panel->setFrameShadow(QFrame::Raised);
    m_panel->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_enter);
    buttons->addWidget(m_exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(m_panel);
    layout->addLayout(buttons);

    setTabOrder(m_server, m_user);
    setTabOrder(m_user, m_password);
    setTabOrder(m_password, m_enter);
    setTabOrder(m_enter, m_exit);

    // The screen sees every key before its controls do, the server list's
    // own popup included.
    for (QWidget* w : findChildren<QWidget*>()) {
        w->installEventFilter(this);
    }
    m_server->view()->installEventFilter(this);

    for (const std::string& s : readServerList(m_shared->dir ? m_shared->dir() + "/SERVIDORES.cfg"
                                                             : std::string("/SERVIDORES.cfg"))) {
        m_server->addItem(QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())));
    }
    if (m_server->count() > 0) {
        m_server->setCurrentIndex(0);
    }
}

Tfaccesoauto::~Tfaccesoauto() = default;

DialogHooks& Tfaccesoauto::hooks() {
    return m_shared->hooks;
}

Tfaccesoauto::ErrorHandler Tfaccesoauto::errorHandler() const {
    std::shared_ptr<Shared> shared = m_shared;
    return [shared](const std::string& message) {
        handleAccessError(shared->dir, shared->loginUser, shared->hooks, message);
    };
}

void Tfaccesoauto::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_user->setFocus();
}

void Tfaccesoauto::Entrar() {
    m_panel->setText(QStringLiteral("Conectando con el servidor origen"));
    m_panel->show();
    repaint();

    const std::string server = m_server->currentText().toStdString();
    const QString typedUser = m_user->text();
    const std::string password = m_password->text().toStdString();
    const ErrorHandler onError = errorHandler();
    try {
        m_general.close();
        m_general.setPath(server + "/" + "datos" + "/" + "general.fdb");
        m_general.setUserName(typedUser.toStdString());
        m_general.setPassword(password);
        m_general.open();
    } catch (const db::Error& e) {
        // Nothing is connecting any more: the box says what failed.
        m_panel->hide();
        onError(e.message());
        return;
    }

    m_loginUser = typedUser.toUpper().toStdString();
    m_loginPassword = APUtilCrpt::encode(password);
    m_serverText = server;
    m_shared->loginUser = m_loginUser;

    try {
        // Only proves the query runs; a login with no USUARIO row is let in.
        db::Query user(m_general);
        user.open("select usua_nombre from usuario where usua_cod = " + Q(m_loginUser));
        user.close();
    } catch (const db::Error& e) {
        m_panel->hide();
        onError(e.message());
        return;
    }

    m_panel->hide();
    repaint();
    accept();
}

void Tfaccesoauto::Salir() {
    reject();
}

bool Tfaccesoauto::handleKey(QObject* target, QKeyEvent* key) {
    const Qt::KeyboardModifiers held =
        key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    switch (key->key()) {
        case Qt::Key_F2:
            if (held == Qt::NoModifier) {
                Entrar();
            }
            return true;
        case Qt::Key_Escape:
            // Esc on the open server list closes the list, not the program.
            if (target == m_server->view() || m_server->view()->isVisible()) {
                m_server->hidePopup();
            } else if (held == Qt::NoModifier) {
                Salir();
            }
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            QWidget* next = nullptr;
            if (target == m_server || target == m_server->lineEdit()) {
                next = m_user;
            } else if (target == m_user) {
                next = m_password;
            } else if (target == m_password) {
                next = m_enter;
            }
            if (next) {
                next->setFocus(Qt::TabFocusReason);
                return true;
            }
            return false;
        }
        default:
            return false;
    }
}

bool Tfaccesoauto::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && handleKey(watched, static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Tfaccesoauto::keyPressEvent(QKeyEvent* event) {
    if (handleKey(this, event)) {
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace replica::screens
