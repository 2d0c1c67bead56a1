#pragma once
// The server's side of integrated (Kerberos) authentication, through the real GSS-API library:
// the service's keys come from a keytab, the client's tokens from its login and SSPI messages.
#include <QByteArray>
#include <QString>

#include <gssapi/gssapi.h>

class TdsGssAcceptor {
public:
    enum class Step {
        Complete, // the client is known: Principal() names it
        Continue, // the client must answer Output() with another token
        Failed,   // Error() tells why
    };

    explicit TdsGssAcceptor(const QString &keytab);
    ~TdsGssAcceptor();
    TdsGssAcceptor(const TdsGssAcceptor &) = delete;
    TdsGssAcceptor &operator=(const TdsGssAcceptor &) = delete;

    Step Accept(const QByteArray &token);
    QByteArray Output() const { return FOutput; } // to be sent to the client (may be empty)
    QString Principal() const { return FPrincipal; }
    QString Error() const { return FError; }

private:
    gss_cred_id_t FCred = GSS_C_NO_CREDENTIAL;
    gss_ctx_id_t FContext = GSS_C_NO_CONTEXT;
    QByteArray FOutput;
    QString FPrincipal;
    QString FError;
};
