#include "U_Kerberos.h"

#include <krb5.h>

#include <arpa/inet.h>

#include <memory>

namespace {

// One library context, with what was taken from it released in reverse order on every path.
class KrbContext {
public:
    KrbContext() {
        if (krb5_init_context(&FContext) != 0)
            FContext = nullptr;
    }
    ~KrbContext() {
        if (FCache)
            krb5_cc_close(FContext, FCache);
        if (FContext)
            krb5_free_context(FContext);
    }
    KrbContext(const KrbContext &) = delete;
    KrbContext &operator=(const KrbContext &) = delete;

    krb5_context Get() const { return FContext; }
    // The default credentials cache; nullptr when the library has none to name.
    krb5_ccache Cache() {
        if (FContext && !FCache && krb5_cc_default(FContext, &FCache) != 0)
            FCache = nullptr;
        return FCache;
    }
    QString Message(krb5_error_code code) const {
        const char *text = krb5_get_error_message(FContext, code);
        QString message = QString::fromUtf8(text);
        krb5_free_error_message(FContext, text);
        return message;
    }

private:
    krb5_context FContext = nullptr;
    krb5_ccache FCache = nullptr;
};

struct PrincipalFree {
    krb5_context context;
    void operator()(krb5_principal p) const { krb5_free_principal(context, p); }
};
using Principal = std::unique_ptr<std::remove_pointer_t<krb5_principal>, PrincipalFree>;

QString DataText(const krb5_data &data) {
    return QString::fromUtf8(data.data, static_cast<qsizetype>(data.length));
}

QString PrincipalText(krb5_context context, krb5_const_principal principal) {
    char *name = nullptr;
    if (krb5_unparse_name(context, principal, &name) != 0)
        return {};
    QString text = QString::fromUtf8(name);
    krb5_free_unparsed_name(context, name);
    return text;
}

// Whether the credential is the ticket-granting ticket of the client's own realm.
bool IsLocalTgt(krb5_const_principal server, krb5_const_principal client) {
    return server->length == 2 && DataText(server->data[0]) == QLatin1String("krbtgt") &&
           DataText(server->data[1]) == DataText(client->realm) &&
           DataText(server->realm) == DataText(client->realm);
}

// Host and port of a server name; port 0 for a named instance without a port.
struct HostPort {
    QString host;
    int port = 1433;
};

HostPort SplitServerName(const QString &server) {
    HostPort hp;
    QString name = server.trimmed();
    const qsizetype comma = name.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        bool ok = false;
        const int port = name.mid(comma + 1).trimmed().toInt(&ok);
        hp.port = ok ? port : 0;
        name = name.left(comma);
    }
    const qsizetype backslash = name.indexOf(QLatin1Char('\\'));
    if (backslash >= 0) {
        if (comma < 0)
            hp.port = 0;
        name = name.left(backslash);
    }
    // "host:port", but not an IPv6 address
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && name.indexOf(QLatin1Char(':')) == colon) {
        bool ok = false;
        const int port = name.mid(colon + 1).toInt(&ok);
        if (ok) {
            hp.port = port;
            name = name.left(colon);
        }
    }
    hp.host = name.trimmed();
    return hp;
}

} // namespace

QString TOrvel_KerberosTicket::Realm() const {
    const qsizetype at = Principal.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? QString() : Principal.mid(at + 1);
}

TOrvel_KerberosTicket ReadKerberosTicket(const QDateTime &now) {
    TOrvel_KerberosTicket ticket;
    KrbContext k;
    krb5_ccache cache = k.Cache();
    if (!cache)
        return ticket;
    krb5_principal rawClient = nullptr;
    if (krb5_cc_get_principal(k.Get(), cache, &rawClient) != 0)
        return ticket; // no cache file, or one without a principal
    const Principal client(rawClient, PrincipalFree{k.Get()});
    ticket.Principal = PrincipalText(k.Get(), client.get());

    krb5_cc_cursor cursor = nullptr;
    if (krb5_cc_start_seq_get(k.Get(), cache, &cursor) != 0)
        return ticket;
    krb5_creds creds;
    krb5_timestamp end = 0;
    bool found = false;
    while (krb5_cc_next_cred(k.Get(), cache, &cursor, &creds) == 0) {
        if (!krb5_is_config_principal(k.Get(), creds.server) &&
            IsLocalTgt(creds.server, client.get())) {
            // A renewed ticket is stored beside the old one: the latest end counts.
            if (!found ||
                static_cast<std::uint32_t>(creds.times.endtime) > static_cast<std::uint32_t>(end))
                end = creds.times.endtime;
            found = true;
        }
        krb5_free_cred_contents(k.Get(), &creds);
    }
    krb5_cc_end_seq_get(k.Get(), cache, &cursor);
    if (!found)
        return ticket;
    // Kerberos times are unsigned seconds since 1970 (valid past 2038).
    ticket.Expires = QDateTime::fromSecsSinceEpoch(static_cast<std::uint32_t>(end));
    ticket.State = ticket.Expires > now ? TOrvel_KerberosTicket::Status::Valid
                                        : TOrvel_KerberosTicket::Status::Expired;
    return ticket;
}

QString KerberosTimeText(const QDateTime &time, const QDateTime &now) {
    const QDateTime local = time.toLocalTime();
    if (local.date() == now.toLocalTime().date())
        return local.toString(QStringLiteral("HH:mm"));
    return local.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

QString KerberosTicketLine(const TOrvel_KerberosTicket &ticket, const QDateTime &now) {
    switch (ticket.State) {
    case TOrvel_KerberosTicket::Status::Valid:
        return QStringLiteral("Bilet Kerberos: %1, ważny do %2")
            .arg(ticket.Principal, KerberosTimeText(ticket.Expires, now));
    case TOrvel_KerberosTicket::Status::Expired:
        // Short enough for the window's one line; the principal is in the failure text.
        return QStringLiteral("Bilet Kerberos wygasł o %1: odnów go poleceniem kinit")
            .arg(KerberosTimeText(ticket.Expires, now));
    case TOrvel_KerberosTicket::Status::NoTicket:
        break;
    }
    return QStringLiteral("Brak biletu Kerberos: zaloguj się poleceniem kinit");
}

bool ServerNameIsAddress(const QString &server) {
    QString host = SplitServerName(server).host;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QByteArray text = host.toLatin1();
    unsigned char address[16];
    return inet_pton(AF_INET, text.constData(), address) == 1 ||
           inet_pton(AF_INET6, text.constData(), address) == 1;
}

QString DriverServicePrincipal(const QString &server, const QString &spn) {
    if (!spn.trimmed().isEmpty())
        return spn.trimmed();
    const HostPort hp = SplitServerName(server);
    if (hp.host.isEmpty() || hp.port <= 0)
        return {};
    return QStringLiteral("MSSQLSvc/%1:%2").arg(hp.host).arg(hp.port);
}

TOrvel_ServiceTicketProbe ProbeServiceTicket(const QString &servicePrincipal) {
    using Result = TOrvel_ServiceTicketProbe::Result;
    TOrvel_ServiceTicketProbe probe;
    probe.Principal = servicePrincipal;
    KrbContext k;
    krb5_ccache cache = k.Cache();
    if (!k.Get() || !cache || servicePrincipal.isEmpty())
        return probe;
    krb5_principal rawClient = nullptr;
    krb5_error_code code = krb5_cc_get_principal(k.Get(), cache, &rawClient);
    if (code != 0) {
        probe.Reason = k.Message(code);
        return probe;
    }
    const Principal client(rawClient, PrincipalFree{k.Get()});
    krb5_principal rawServer = nullptr;
    // A name without a realm takes the default realm of krb5.conf, as the driver's does.
    code = krb5_parse_name(k.Get(), servicePrincipal.toUtf8().constData(), &rawServer);
    if (code != 0) {
        probe.Reason = k.Message(code);
        return probe;
    }
    const Principal server(rawServer, PrincipalFree{k.Get()});
    probe.Principal = PrincipalText(k.Get(), server.get());

    krb5_creds wanted{};
    wanted.client = client.get();
    wanted.server = server.get();
    krb5_creds *obtained = nullptr;
    // Only a question: the answer is not added to the user's cache.
    code = krb5_get_credentials(k.Get(), KRB5_GC_NO_STORE, cache, &wanted, &obtained);
    if (obtained)
        krb5_free_creds(k.Get(), obtained);
    if (code == 0) {
        probe.Outcome = Result::Obtained;
        return probe;
    }
    probe.Reason = k.Message(code);
    if (code == KRB5KDC_ERR_S_PRINCIPAL_UNKNOWN)
        probe.Outcome = DataText(client->realm) == DataText(server->realm) ? Result::UnknownService
                                                                           : Result::NoTrust;
    else if (code == KRB5_KDCREP_MODIFIED || code == KRB5KDC_ERR_WRONG_REALM)
        probe.Outcome = Result::NoTrust;
    else
        probe.Outcome = Result::Failed;
    return probe;
}
