#pragma once
// The login window: server, authentication mode and, for SQL Server authentication, user name and
// password. Connect remembers the choices in the preferences (never the password), opens the
// connection, reports a failure, and on success fills the main window's database list.
#include "U_AppState.h"

#include <QDialog>
#include <QString>

#include <functional>

class DbConnection;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QThread;

// Said in the login window's information line when the network holds no SQL Server.
inline const QString kNoServersFound =
    QStringLiteral("Nie znaleziono serwerów SQL Server w sieci lokalnej");

// What Connect needs of the main window.
class TOrvel_LoginHost {
public:
    virtual ~TOrvel_LoginHost() = default;
    virtual DbConnection &Connection() = 0;
    // Status bar panel 0, visible at once.
    virtual void SetConnectionText(const QString &text) = 0;
    virtual QStringList DatabaseList() const = 0;
    virtual void SetDatabaseList(const QStringList &databases) = 0; // nothing selected
    virtual void SetAppState(TOrvel_AppState state) = 0;
};

class TF_Login : public QDialog {
    Q_OBJECT
public:
    explicit TF_Login(QWidget *parent = nullptr);
    ~TF_Login() override;

    // Shows the window modally; true when it was closed with "Połącz". Tests replace the modal
    // loop with their own answer through ModalRunner.
    bool ShowModal();
    std::function<int(TF_Login &)> ModalRunner;

    bool Connect(TOrvel_LoginHost &host);
    void UpdateAuthControls();
    void FormShow(); // refills the window from the preferences; ShowModal runs it

    bool Connected() const { return FConnected; }
    bool SQLServerAuth() const { return FSQLServerAuth; }

    QLabel *imgLogin;
    QLabel *labInfo;
    QLabel *Label1;
    QComboBox *edServer;
    QPushButton *btnGetServers;
    QFrame *Bevel1;
    QRadioButton *rbWindowsAuth;
    QRadioButton *rbSQLServerAuth;
    QLabel *labUser;
    QLineEdit *edUser;
    QLabel *labPassword;
    QLineEdit *edPassword;
    QPushButton *btnConnect;
    QPushButton *btnClose;
    // Under Windows authentication: the state of the user's Kerberos ticket.
    QLabel *labKerberos;
    void UpdateKerberosLine();

    // Asks the local network for SQL Servers off the user-interface thread; the button shows a
    // busy cursor meanwhile. Found names join the server list, which drops down; when none is
    // found the window says so in its information line.
    void btnGetServersClick();
    bool Browsing() const { return FBrowse != nullptr; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QStringList ServerEntries() const;
    void ServersFound(const QString &list);
    QThread *FBrowse = nullptr;
    bool FConnected = false;
    bool FSQLServerAuth = true;
    bool FFilledForThisShow = false;
};
