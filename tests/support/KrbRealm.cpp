#include "KrbRealm.h"

#include <QFile>
#include <QThread>

#include <krb5.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QString kMasterPassword = QStringLiteral("klucz-glowny");

// A port free for both TCP and UDP on 127.0.0.1 at the moment of asking.
int FreePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (tcp < 0)
            return 0;
        if (::bind(tcp, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::getsockname(tcp, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            ::close(tcp);
            continue;
        }
        const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
        const bool udpFree =
            udp >= 0 && ::bind(udp, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        const int port = ntohs(address.sin_port);
        ::close(tcp);
        if (udp >= 0)
            ::close(udp);
        if (udpFree)
            return port;
    }
    return 0;
}

bool WriteText(const QString &path, const QString &text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) == text.toUtf8().size();
}

// Whether something accepts TCP connections on 127.0.0.1:port.
bool Listening(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}
} // namespace

KrbRealm::KrbRealm(const QString &realm, const QString &foreignRealm)
    : FRealm(realm), FForeign(foreignRealm) {}

KrbRealm::~KrbRealm() {
    if (FKdc && FKdc->state() != QProcess::NotRunning) {
        FKdc->terminate();
        if (!FKdc->waitForFinished(5000)) {
            FKdc->kill();
            FKdc->waitForFinished(5000);
        }
    }
    if (FPort) {
        FHadConfig ? qputenv("KRB5_CONFIG", FOldConfig) : qunsetenv("KRB5_CONFIG");
        FHadProfile ? qputenv("KRB5_KDC_PROFILE", FOldProfile) : qunsetenv("KRB5_KDC_PROFILE");
    }
}

QString KrbRealm::RealmOf(const QString &principal) const {
    const qsizetype at = principal.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? FRealm : principal.mid(at + 1);
}

QProcessEnvironment KrbRealm::Environment(const QString &cache) const {
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    env.insert(QStringLiteral("KRB5_CONFIG"), Path(QStringLiteral("krb5.conf")));
    env.insert(QStringLiteral("KRB5_KDC_PROFILE"), Path(QStringLiteral("kdc.conf")));
    env.insert(QStringLiteral("KRB5CCNAME"),
               QStringLiteral("FILE:") +
                   (cache.isEmpty() ? Path(QStringLiteral("no-such-cache")) : cache));
    // No replay cache outside the folder.
    env.insert(QStringLiteral("KRB5RCACHENAME"), QStringLiteral("none:"));
    return env;
}

bool KrbRealm::Run(const QString &program, const QStringList &args, const QByteArray &input) {
    QProcess process;
    process.setProcessEnvironment(Environment(QString()));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        FError = program + QStringLiteral(": cannot start");
        return false;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(5000);
        FError = program + u' ' + args.join(u' ') + QStringLiteral(": ") +
                 QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}

bool KrbRealm::Start() {
    if (!FDir.isValid()) {
        FError = QStringLiteral("no temporary folder");
        return false;
    }
    FPort = FreePort();
    if (!FPort) {
        FError = QStringLiteral("no free port");
        return false;
    }
    FHadConfig = qEnvironmentVariableIsSet("KRB5_CONFIG");
    FOldConfig = qgetenv("KRB5_CONFIG");
    FHadProfile = qEnvironmentVariableIsSet("KRB5_KDC_PROFILE");
    FOldProfile = qgetenv("KRB5_KDC_PROFILE");
    const QString kdc = QStringLiteral("127.0.0.1:%1").arg(FPort);
    // TCP only: the tests' one port, and no retries over UDP.
    const QString conf = QStringLiteral("[libdefaults]\n"
                                        "  default_realm = %1\n"
                                        "  dns_lookup_realm = false\n"
                                        "  dns_lookup_kdc = false\n"
                                        "  dns_canonicalize_hostname = false\n"
                                        "  rdns = false\n"
                                        "  udp_preference_limit = 1\n"
                                        "[realms]\n"
                                        "  %1 = {\n    kdc = %3\n  }\n"
                                        "  %2 = {\n    kdc = %3\n  }\n")
                             .arg(FRealm, FForeign, kdc);
    auto realmSection = [this](const QString &realm, const QString &suffix) {
        return QStringLiteral("  %1 = {\n"
                              "    database_name = %2\n"
                              "    key_stash_file = %3\n"
                              "    acl_file = %4\n"
                              "    max_life = 10h\n"
                              "  }\n")
            .arg(realm, Path(QStringLiteral("principal") + suffix),
                 Path(QStringLiteral("stash") + suffix), Path(QStringLiteral("kadm5.acl")));
    };
    const QString kdcConf =
        QStringLiteral("[kdcdefaults]\n"
                       "  kdc_listen = %1\n"
                       "  kdc_tcp_listen = %1\n"
                       "[realms]\n")
            .arg(kdc) +
        realmSection(FRealm, QString()) + realmSection(FForeign, QStringLiteral("-foreign")) +
        QStringLiteral("[logging]\n  kdc = FILE:%1\n").arg(Path(QStringLiteral("kdc.log")));
    if (!WriteText(Path(QStringLiteral("krb5.conf")), conf) ||
        !WriteText(Path(QStringLiteral("kdc.conf")), kdcConf) ||
        !WriteText(Path(QStringLiteral("kadm5.acl")), QString())) {
        FError = QStringLiteral("cannot write the configuration");
        return false;
    }
    qputenv("KRB5_CONFIG", Path(QStringLiteral("krb5.conf")).toLocal8Bit());
    qputenv("KRB5_KDC_PROFILE", Path(QStringLiteral("kdc.conf")).toLocal8Bit());
    for (const QString &realm : {FRealm, FForeign})
        if (!Run(QStringLiteral("kdb5_util"),
                 {QStringLiteral("create"), QStringLiteral("-r"), realm, QStringLiteral("-s"),
                  QStringLiteral("-P"), kMasterPassword, QStringLiteral("-W")}))
            return false;
    FKdc = std::make_unique<QProcess>();
    FKdc->setProcessEnvironment(Environment(QString()));
    FKdc->setProcessChannelMode(QProcess::MergedChannels);
    FKdc->start(QStringLiteral("krb5kdc"), {QStringLiteral("-n"), QStringLiteral("-r"), FRealm,
                                            QStringLiteral("-r"), FForeign});
    if (!FKdc->waitForStarted(10000)) {
        FError = QStringLiteral("krb5kdc: cannot start");
        return false;
    }
    // Ready once it accepts connections on its port.
    for (int i = 0; i < 200 && !Listening(FPort); ++i) {
        if (FKdc->state() == QProcess::NotRunning) {
            FError = QStringLiteral("krb5kdc ended: ") + QString::fromLocal8Bit(FKdc->readAll());
            return false;
        }
        QThread::msleep(50);
    }
    if (!Listening(FPort)) {
        FError = QStringLiteral("krb5kdc does not listen");
        return false;
    }
    return true;
}

bool KrbRealm::AddUser(const QString &principal, const QString &password) {
    return Run(QStringLiteral("kadmin.local"),
               {QStringLiteral("-r"), RealmOf(principal), QStringLiteral("-q"),
                QStringLiteral("addprinc -pw %1 %2").arg(password, principal)});
}

bool KrbRealm::AddService(const QString &principal) {
    return Run(QStringLiteral("kadmin.local"),
               {QStringLiteral("-r"), RealmOf(principal), QStringLiteral("-q"),
                QStringLiteral("addprinc -randkey %1").arg(principal)});
}

bool KrbRealm::ExportKeytab(const QString &principal, const QString &keytab) {
    return Run(QStringLiteral("kadmin.local"),
               {QStringLiteral("-r"), RealmOf(principal), QStringLiteral("-q"),
                QStringLiteral("ktadd -k %1 %2").arg(keytab, principal)});
}

bool KrbRealm::ChangeKey(const QString &principal) {
    return Run(QStringLiteral("kadmin.local"),
               {QStringLiteral("-r"), RealmOf(principal), QStringLiteral("-q"),
                QStringLiteral("cpw -randkey %1").arg(principal)});
}

bool KrbRealm::Kinit(const QString &principal, const QString &password, const QString &cache) {
    return Run(QStringLiteral("kinit"),
               {QStringLiteral("-c"), QStringLiteral("FILE:") + cache, principal},
               password.toUtf8() + '\n');
}

bool KrbRealm::CopyExpired(const QString &from, const QString &to) {
    krb5_context context = nullptr;
    if (krb5_init_context(&context) != 0)
        return false;
    krb5_ccache in = nullptr;
    krb5_ccache out = nullptr;
    krb5_principal client = nullptr;
    bool ok = krb5_cc_resolve(context, ("FILE:" + from.toLocal8Bit()).constData(), &in) == 0 &&
              krb5_cc_resolve(context, ("FILE:" + to.toLocal8Bit()).constData(), &out) == 0 &&
              krb5_cc_get_principal(context, in, &client) == 0 &&
              krb5_cc_initialize(context, out, client) == 0;
    krb5_cc_cursor cursor = nullptr;
    if (ok && krb5_cc_start_seq_get(context, in, &cursor) == 0) {
        krb5_creds creds;
        krb5_timestamp now = 0;
        krb5_timeofday(context, &now);
        while (ok && krb5_cc_next_cred(context, in, &cursor, &creds) == 0) {
            if (!krb5_is_config_principal(context, creds.server)) {
                creds.times.authtime = now - 7200;
                creds.times.starttime = now - 7200;
                creds.times.endtime = now - 3600;
                creds.times.renew_till = 0;
            }
            ok = krb5_cc_store_cred(context, out, &creds) == 0;
            krb5_free_cred_contents(context, &creds);
        }
        krb5_cc_end_seq_get(context, in, &cursor);
    } else {
        ok = false;
    }
    if (client)
        krb5_free_principal(context, client);
    if (out)
        krb5_cc_close(context, out);
    if (in)
        krb5_cc_close(context, in);
    krb5_free_context(context);
    return ok;
}
