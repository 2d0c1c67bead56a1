#pragma once
// The server's side of an NTLM login, as FreeTDS makes one for a user written DOMAIN\user: the
// client's negotiate message comes in the login packet, the server answers with a challenge,
// and the client's authenticate message is checked as an NTLMv2 response against the one
// account the test server knows.
#include <QByteArray>
#include <QString>

class TdsNtlmAcceptor {
public:
    TdsNtlmAcceptor(const QString &domain, const QString &user, const QString &password);

    static bool IsNtlm(const QByteArray &token); // starts with the NTLMSSP signature
    // The challenge message for the client's negotiate message; empty when it is none.
    QByteArray Challenge(const QByteArray &negotiate);
    // Checks the client's authenticate message; `login` receives "DOMAIN\user" as the client
    // wrote it (also when the check fails).
    bool Verify(const QByteArray &authenticate, QString *login) const;

private:
    QString FDomain;
    QString FUser;
    QString FPassword;
    QByteArray FServerChallenge;
};
