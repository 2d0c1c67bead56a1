#pragma once
// Windows authentication on Linux is Kerberos: the driver logs in with the ticket in the user's
// credentials cache. The driver tells a failed Kerberos step only as "cannot connect", so the
// login reads the cache's state itself, and asks the realm for the server's service ticket, to
// say what is wrong and what to do.
#include <QDateTime>
#include <QString>

// The state of the user's default credentials cache.
struct TOrvel_KerberosTicket {
    enum class Status {
        NoTicket, // no cache, an empty one, or no ticket-granting ticket in it
        Valid,
        Expired,
    };
    Status State = Status::NoTicket;
    QString Principal; // the cache's principal, e.g. "jan@FIRMA.PL"; "" without a cache
    QDateTime Expires; // end of the ticket-granting ticket; invalid without one
    QString Realm() const;
};

// Reads the default credentials cache (KRB5CCNAME, else the library's default). `now` decides
// whether the ticket has expired.
TOrvel_KerberosTicket ReadKerberosTicket(const QDateTime &now = QDateTime::currentDateTime());

// The line the login window shows under the authentication choice.
QString KerberosTicketLine(const TOrvel_KerberosTicket &ticket,
                           const QDateTime &now = QDateTime::currentDateTime());
// A time as the ticket line shows it: "18:30" today, "11.12.2026 08:00" on another day.
QString KerberosTimeText(const QDateTime &time, const QDateTime &now);

// The service principal the driver asks a ticket for when it logs in to `server` ("host",
// "host,port", "host:port" or "host\INSTANCE"): `spn` when one is given, else
// "MSSQLSvc/<host as given>:<port>" (1433 unless a port is given). "" for a named instance
// without a port, whose port only the server's browser service knows.
QString DriverServicePrincipal(const QString &server, const QString &spn);
// Whether the host part of the server name is an IPv4 or IPv6 address.
bool ServerNameIsAddress(const QString &server);

// The outcome of asking the realm for a service ticket with the user's ticket.
struct TOrvel_ServiceTicketProbe {
    enum class Result {
        Obtained,
        UnknownService, // the realm has no such service principal
        NoTrust,        // the user's realm cannot reach the service's realm
        Failed,         // another reason, in Reason
    };
    Result Outcome = Result::Failed;
    QString Principal; // the service principal asked for, with its realm
    QString Reason;    // the Kerberos library's message
};
TOrvel_ServiceTicketProbe ProbeServiceTicket(const QString &servicePrincipal);
