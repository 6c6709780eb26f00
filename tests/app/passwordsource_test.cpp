#include "app/passwordsource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/tempdir.h"

namespace replica::app {
namespace {

void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(PasswordFile, FirstLineWithoutItsLineBreak) {
    test::TempDir dir;
    const struct {
        const char* bytes;
        const char* password;
    } cases[] = {
        {"secreto\n", "secreto"},
        {"secreto\r\nsegunda línea\n", "secreto"},
        {"sin salto", "sin salto"},
        {" con blancos \n", " con blancos "},  // blanks belong to the password
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        write(dir.file("clave"), c.bytes);
        const PasswordSource s = readPasswordFile(dir.file("clave"));
        EXPECT_EQ(s.error, "");
        EXPECT_EQ(s.password, c.password);
    }
}

TEST(PasswordFile, MissingEmptyOrUnreadableIsAnErrorNamingTheFile) {
    test::TempDir dir;
    write(dir.file("vacio"), "");
    write(dir.file("linea-vacia"), "\nsecreto\n");
    std::filesystem::create_directory(dir.file("carpeta"));
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {dir.file("no-existe"), "No se pudo abrir el archivo de clave " + dir.file("no-existe") +
                                    ": No such file or directory"},
        {dir.file("vacio"),
         "El archivo de clave " + dir.file("vacio") + " está vacío (la clave es su primera línea)"},
        {dir.file("linea-vacia"), "El archivo de clave " + dir.file("linea-vacia") +
                                      " está vacío (la clave es su primera línea)"},
        {dir.file("carpeta"),
         "No se pudo leer el archivo de clave " + dir.file("carpeta") + ": Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const PasswordSource s = readPasswordFile(c.path);
        EXPECT_EQ(s.error, c.message);
        EXPECT_EQ(s.password, "");
    }
}

TEST(PasswordSource, FileThenArgumentThenEnvironment) {
    test::TempDir dir;
    write(dir.file("clave"), "del-archivo\n");
    CommandLine cl;
    cl.passwordFile = dir.file("clave");
    EXPECT_EQ(resolvePassword(cl, "del-entorno").password, "del-archivo");
    cl.passwordFile.clear();
    cl.password = "del-argumento";
    EXPECT_EQ(resolvePassword(cl, "del-entorno").password, "del-argumento");
    cl.password.clear();
    EXPECT_EQ(resolvePassword(cl, "del-entorno").password, "del-entorno");
    const PasswordSource none = resolvePassword(cl, nullptr);
    EXPECT_EQ(none.password, "");
    EXPECT_EQ(none.error, "");
}

}  // namespace
}  // namespace replica::app
