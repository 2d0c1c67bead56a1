#pragma once
// A throw-away MIT Kerberos realm for the tests: its own krb5.conf and kdc.conf in a temporary
// folder (through KRB5_CONFIG and KRB5_KDC_PROFILE, never the system's files), databases made
// with kdb5_util, principals and keytabs with kadmin.local, and krb5kdc on 127.0.0.1 on a free
// port. A second realm without trust to the first stands for a foreign domain. Everything
// started is stopped, and the environment restored, when the object goes.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class KrbRealm {
public:
    KrbRealm(const QString &realm, const QString &foreignRealm);
    ~KrbRealm();
    KrbRealm(const KrbRealm &) = delete;
    KrbRealm &operator=(const KrbRealm &) = delete;

    // Writes the configuration, creates both databases and starts the KDC; sets KRB5_CONFIG and
    // KRB5_KDC_PROFILE for this process. False with the reason in Error().
    bool Start();
    QString Error() const { return FError; }
    QString Realm() const { return FRealm; }
    QString ForeignRealm() const { return FForeign; }
    QString Folder() const { return FDir.path(); }
    QString Path(const QString &name) const { return FDir.filePath(name); }

    // kadmin.local in the realm of the principal ("name@REALM"; without a realm, the first).
    bool AddUser(const QString &principal, const QString &password);
    bool AddService(const QString &principal); // random key
    bool ExportKeytab(const QString &principal, const QString &keytab);
    bool ChangeKey(const QString &principal); // a keytab exported before becomes stale

    // A ticket-granting ticket in the cache file `cache` (kinit with the password).
    bool Kinit(const QString &principal, const QString &password, const QString &cache);
    // Copies the ticket cache `from` into `to` with every ticket's end moved an hour into the
    // past: the cache of a user whose ticket expired.
    bool CopyExpired(const QString &from, const QString &to);

    // The environment for a child process: the realm's configuration, and KRB5CCNAME set to
    // `cache` (a file path; empty: a cache that does not exist).
    QProcessEnvironment Environment(const QString &cache) const;

private:
    bool Run(const QString &program, const QStringList &args, const QByteArray &input = {});
    QString RealmOf(const QString &principal) const;

    QString FRealm;
    QString FForeign;
    QTemporaryDir FDir;
    int FPort = 0;
    std::unique_ptr<QProcess> FKdc;
    QString FError;
    QByteArray FOldConfig;
    QByteArray FOldProfile;
    bool FHadConfig = false;
    bool FHadProfile = false;
};
