// Builds one demo database: runs a SQL file in a fresh SQLite file and moves it into place, so an
// interrupted build never leaves a half-filled database behind.
#include "U_SqliteCollation.h"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SCRIPT.sql OUTPUT.sqlite\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const std::string target = argv[2];
    const std::string temporary = target + ".tmp";
    std::remove(temporary.c_str());

    sqlite3 *db = nullptr;
    if (sqlite3_open(temporary.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", temporary.c_str(),
                     db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return 1;
    }
    if (!sqlitecoll::Register(db)) {
        std::fprintf(stderr, "%s: %s\n", temporary.c_str(), sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    char *error = nullptr;
    const int rc = sqlite3_exec(db, text.str().c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        sqlite3_close(db);
        std::remove(temporary.c_str());
        return 1;
    }
    if (sqlite3_close(db) != SQLITE_OK || std::rename(temporary.c_str(), target.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], target.c_str());
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
