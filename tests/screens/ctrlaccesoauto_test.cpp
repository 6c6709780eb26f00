#include "screens/ctrlaccesoauto.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/db/query.h"
#include "screens/aputilcrpt.h"
#include "tests/support/erp.h"
#include "tests/support/tempdir.h"

using namespace replica;
using screens::Tfaccesoauto;

namespace {

// ---------------------------------------------------------------------------
// SERVIDORES.cfg

struct ListCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> servers;
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.what;
}

class ServerList : public ::testing::TestWithParam<ListCase> {};

TEST_P(ServerList, ListsCompleteLinesInFileOrder) {
    EXPECT_EQ(screens::parseServerList(GetParam().bytes), GetParam().servers) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ServerList,
    ::testing::Values(
        ListCase{"CR LF, no break after the last", "srv1:/erp\r\nsrv2:/erp", {"srv1:/erp"}},
        ListCase{"CR LF throughout", "a\r\nb\r\n", {"a", "b"}},
        ListCase{"LF only", "a\nb\nc\n", {"a", "b", "c"}},
        ListCase{"blank lines are empty entries", "a\n\nb\r\n\r\n", {"a", "", "b", ""}},
        // a lone CR ends its line; the next byte starts the next server
        ListCase{"CR only", "a\rb\r", {"a", "b"}}, ListCase{"nothing", "", {}},
        ListCase{"no line break at all", "solo", {}},
        ListCase{"over-long line cut at 255",
                 std::string(300, 'x') + "\nb\n",
                 {std::string(255, 'x'), "b"}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(ServerListFile, AnAbsentFileListsNothing) {
    test::TempDir dir;
    EXPECT_TRUE(screens::readServerList(dir.file("SERVIDORES.cfg")).empty());
}

// ---------------------------------------------------------------------------
// translated error texts

TEST(AccessErrorText, TranslatesTheFourCasesInOrderAndCaseSensitively) {
    EXPECT_EQ(screens::accessErrorText("Your user name and password are not defined. Ask your "
                                       "database administrator to set up a Firebird login."),
              "El nombre de Usuario o la clave son incorrectas.");
    EXPECT_EQ(screens::accessErrorText("I/O error for file \"/srv/datos/general.fdb\"\nError "
                                       "while trying to open file"),
              "No se encontró el archivo o la ruta /srv/datos/general.fdb");
    EXPECT_EQ(screens::accessErrorText(
                  "Unable to complete network request to host \"servidor1\".\nFailed to "
                  "establish a connection."),
              "No se encontró el equipo servidor con nombre servidor1");
    // The first test wins when a message matches two.
    EXPECT_EQ(screens::accessErrorText("Unable to complete network request \"x\"; Your user name "
                                       "and password are not defined"),
              "El nombre de Usuario o la clave son incorrectas.");
    EXPECT_EQ(screens::accessErrorText("unable to complete network request to host \"h\""),
              "Se presento el siguiente error: unable to complete network request to host \"h\"");
    // Firebird 3's wording names the operation in quotes before the file.
    EXPECT_EQ(screens::accessErrorText(
                  "I/O error during \"open\" operation for file \"/srv/datos/general.fdb\"\n"
                  "Error while trying to open file\nNo such file or directory"),
              "No se encontró el archivo o la ruta /srv/datos/general.fdb");
    EXPECT_EQ(
        screens::accessErrorText("I/O error during \"lseek\" operation for file \"/srv/x.fdb\""),
        "No se encontró el archivo o la ruta /srv/x.fdb");
    EXPECT_EQ(screens::accessErrorText("I/O error for file without quotes"),
              "No se encontró el archivo o la ruta ");
}

// ---------------------------------------------------------------------------
// the screen on a real GENERAL.FDB

class AccessScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(server + "/datos");
        auto g = test::createGeneral(server + "/datos/general.fdb");
        g->execute("INSERT INTO USUARIO (USUA_COD, USUA_NOMBRE) VALUES ('OPERADOR', 'Operador')");
        // The embedded engine lets any user name in; the ERP grants its users
        // the reading of USUARIO.
        g->execute("GRANT SELECT ON USUARIO TO PUBLIC");
        g->close();
        db::Connection::setTraceHook(
            [this](const db::Connection&, const std::string& sql) { sent.push_back(sql); });
    }
    void TearDown() override { db::Connection::setTraceHook({}); }

    void writeServers(const std::string& bytes) {
        std::ofstream(dir.file("SERVIDORES.cfg"), std::ios::binary) << bytes;
    }

    std::unique_ptr<Tfaccesoauto> makeScreen() {
        auto s = std::make_unique<Tfaccesoauto>(general, [this] { return dir.path(); });
        s->hooks().warning = s->hooks().message = [this](QWidget*, const QString& text) {
            messages.push_back(text.toStdString());
        };
        return s;
    }

    void fill(Tfaccesoauto& s, const std::string& srv, const QString& user) {
        s.serverBox()->setEditText(QString::fromStdString(srv));
        s.userBox()->setText(user);
        s.passwordBox()->setText(QStringLiteral("masterkey"));
    }

    test::TempDir dir;
    std::string server = dir.path() + "/srv";
    db::Connection general;
    std::vector<std::string> sent;
    std::vector<std::string> messages;
};

TEST_F(AccessScreen, ShowsItsCaptionsAndTheServersOfTheFileWithTheFirstPreselected) {
    writeServers(server + "\r\notro:/erp\r\n");
    auto s = makeScreen();
    EXPECT_EQ(s->windowTitle(), "Control de acceso");
    EXPECT_EQ(s->enterButton()->text(), "F2: &Entrar");
    EXPECT_EQ(s->exitButton()->text(), "ESC: &Salir");
    ASSERT_EQ(s->serverBox()->count(), 2);
    EXPECT_EQ(s->serverBox()->currentText().toStdString(), server);
    EXPECT_EQ(s->serverBox()->itemText(1), "otro:/erp");
    EXPECT_TRUE(s->serverBox()->isEditable());
    EXPECT_EQ(s->passwordBox()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(s->findChild<QGroupBox*>()->title(), "Origen:");
    QStringList labels;
    for (QLabel* l : s->findChildren<QLabel*>()) {
        labels << l->text();
    }
    EXPECT_TRUE(labels.contains("Servidor : "));
    EXPECT_TRUE(labels.contains("Usuario : "));
    EXPECT_TRUE(labels.contains("Clave : "));
    EXPECT_FALSE(s->connectingPanel()->isVisibleTo(s.get()));
}

TEST_F(AccessScreen, WithoutTheFileTheServerBoxStartsEmptyAndAcceptsATypedServer) {
    auto s = makeScreen();
    EXPECT_EQ(s->serverBox()->count(), 0);
    fill(*s, server, QStringLiteral("operador"));
    s->Entrar();
    EXPECT_EQ(s->result(), QDialog::Accepted);
    EXPECT_TRUE(messages.empty());
}

TEST_F(AccessScreen, LoginOpensGeneralAsTypedAndHandsBackUpperCaseUserAndEncodedPassword) {
    auto s = makeScreen();
    fill(*s, server, QStringLiteral("operador"));
    s->Entrar();
    ASSERT_EQ(s->result(), QDialog::Accepted) << (messages.empty() ? "" : messages.front());
    EXPECT_TRUE(general.isOpen());
    EXPECT_EQ(general.path(), server + "/datos/general.fdb");
    EXPECT_EQ(general.userName(), "operador");
    EXPECT_EQ(s->serverText(), server);
    EXPECT_EQ(s->loginUser(), "OPERADOR");
    EXPECT_NE(s->loginPassword(), "masterkey");
    EXPECT_EQ(APUtilCrpt::decode(s->loginPassword()), "masterkey");
    EXPECT_NE(std::find(sent.begin(), sent.end(),
                        "select usua_nombre from usuario where usua_cod = 'OPERADOR'"),
              sent.end());
    EXPECT_FALSE(s->connectingPanel()->isVisibleTo(s.get()));
}

TEST_F(AccessScreen, AUserNameWithAQuoteIsLookedUpNotRefused) {
    auto s = makeScreen();
    fill(*s, server, QStringLiteral("o'brien"));
    s->Entrar();
    EXPECT_EQ(s->result(), QDialog::Accepted);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_NE(std::find(sent.begin(), sent.end(),
                        "select usua_nombre from usuario where usua_cod = 'O''BRIEN'"),
              sent.end());
    EXPECT_EQ(s->loginUser(), "O'BRIEN");
}

TEST_F(AccessScreen, AFailedLoginIsLoggedAndShownAndTheScreenStaysForAnotherTry) {
    auto s = makeScreen();
    s->show();
    fill(*s, dir.path() + "/nowhere", QStringLiteral("operador"));
    s->Entrar();
    EXPECT_NE(s->result(), QDialog::Accepted);
    EXPECT_TRUE(s->isVisible());
    // Nothing is connecting any more: the panel does not say otherwise.
    EXPECT_FALSE(s->connectingPanel()->isVisible());
    EXPECT_FALSE(general.isOpen());
    ASSERT_EQ(messages.size(), 1u);
    const std::string log = test::slurp(dir.file("ERRORES.TXT"));
    // date,time,(no user yet),message
    ASSERT_GE(log.size(), 22u);
    EXPECT_EQ(log[4], '-');
    EXPECT_EQ(log.substr(10, 1), ",");
    EXPECT_EQ(log.substr(19, 2), ",,");
    EXPECT_NE(log.find("nowhere"), std::string::npos);
    EXPECT_EQ(log.back(), '\n');
    // The client's own wording for an absent file is translated, and the
    // operator reads the path it tried.
    EXPECT_EQ(messages.front(),
              "No se encontró el archivo o la ruta " + dir.path() + "/nowhere/datos/general.fdb");
    // One line per error, even for a message of several lines.
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    fill(*s, server, QStringLiteral("operador"));
    s->Entrar();
    EXPECT_EQ(s->result(), QDialog::Accepted);
}

TEST_F(AccessScreen, TheHandlerOutlivesTheScreenAndNamesTheLoggedInUser) {
    Tfaccesoauto::ErrorHandler handler;
    {
        auto s = makeScreen();
        handler = s->errorHandler();
        fill(*s, server, QStringLiteral("operador"));
        s->Entrar();
        ASSERT_EQ(s->result(), QDialog::Accepted);
    }
    handler("Something went wrong.");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.front(), "Se presento el siguiente error: Something went wrong.");
    const std::string log = test::slurp(dir.file("ERRORES.TXT"));
    EXPECT_EQ(log.substr(19), ",OPERADOR,Something went wrong.\n");
}

TEST_F(AccessScreen, KeysF2EscAndEnterWorkOnlyWithoutModifiers) {
    writeServers(server + "\n");
    auto s = makeScreen();
    s->show();
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    EXPECT_TRUE(s->userBox()->hasFocus());

    // Enter moves on through the fields without typing anything.
    s->serverBox()->setFocus();
    QTest::keyClick(s->serverBox(), Qt::Key_Return);
    EXPECT_TRUE(s->userBox()->hasFocus());
    QTest::keyClicks(s->userBox(), "operador");
    QTest::keyClick(s->userBox(), Qt::Key_Enter);
    EXPECT_TRUE(s->passwordBox()->hasFocus());
    QTest::keyClicks(s->passwordBox(), "masterkey");
    QTest::keyClick(s->passwordBox(), Qt::Key_Return);
    EXPECT_TRUE(s->enterButton()->hasFocus());
    EXPECT_EQ(s->userBox()->text(), "operador");
    EXPECT_EQ(s->result(), 0);

    // Modified keys do nothing.
    QTest::keyClick(s->userBox(), Qt::Key_F2, Qt::ShiftModifier);
    QTest::keyClick(s->userBox(), Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_TRUE(s->isVisible());
    EXPECT_FALSE(general.isOpen());

    QTest::keyClick(s->userBox(), Qt::Key_F2);
    EXPECT_EQ(s->result(), QDialog::Accepted);
    EXPECT_TRUE(general.isOpen());

    // Esc on the open server list closes the list and leaves the screen.
    auto again = makeScreen();
    again->show();
    again->serverBox()->showPopup();
    QTest::keyClick(again->serverBox()->view(), Qt::Key_Escape);
    EXPECT_TRUE(again->isVisible());
    QTest::keyClick(again->passwordBox(), Qt::Key_Escape);
    EXPECT_FALSE(again->isVisible());
    EXPECT_EQ(again->result(), QDialog::Rejected);
}

TEST_F(AccessScreen, EnterOnTheFocusedEntrarButtonLogsIn) {
    auto s = makeScreen();
    fill(*s, server, QStringLiteral("operador"));
    s->show();
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s.get()));
    QTest::keyClick(s->passwordBox(), Qt::Key_Return);
    ASSERT_TRUE(s->enterButton()->hasFocus());
    QTest::keyClick(s->enterButton(), Qt::Key_Return);
    EXPECT_EQ(s->result(), QDialog::Accepted);
}

TEST_F(AccessScreen, SalirEndsWithRejected) {
    auto s = makeScreen();
    s->show();
    QTest::mouseClick(s->exitButton(), Qt::LeftButton);
    EXPECT_EQ(s->result(), QDialog::Rejected);
    EXPECT_FALSE(s->isVisible());
}

}  // namespace
