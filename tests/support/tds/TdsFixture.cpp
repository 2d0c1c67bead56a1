#include "TdsFixture.h"

#include "U_Login.h"

std::unique_ptr<TdsTestServer> StartTdsServer(const QString &folder, const QString &user,
                                              const QString &password,
                                              TdsTestServer::Encryption mode) {
    auto server = std::make_unique<TdsTestServer>(folder, user, password);
    server->SetEncryption(mode);
    if (!server->Start())
        return nullptr;
    return server;
}

TOrvel_ConnectionSettings TdsSettings(const TdsTestServer &server, const QString &user,
                                      const QString &password) {
    TOrvel_ConnectionSettings settings =
        LoginConnectionSettings(server.ServerName(), true, user, password);
    settings.LoginTimeout = 10;
    return settings;
}

bool ConnectTds(DbConnection &connection, const TdsTestServer &server, const QString &user,
                const QString &password, QString *failure) {
    QString text;
    const bool ok = OpenConnection(connection, TdsSettings(server, user, password), &text);
    if (failure)
        *failure = text;
    return ok;
}

std::shared_ptr<DbResult> NumberedTextRows(int count) {
    DbColumnInfo number;
    number.Name = "n";
    number.Type = TFieldType::ftInteger;
    DbColumnInfo text;
    text.Name = "t";
    text.Type = TFieldType::ftWideString;
    auto rows = std::make_shared<DbResult>(std::vector<DbColumnInfo>{number, text});
    for (int i = 0; i < count; ++i) {
        rows->Column(0).AppendInt(i);
        rows->Column(1).AppendText(QStringLiteral("wiersz numer %1").arg(i));
    }
    return rows;
}
