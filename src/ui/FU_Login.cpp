#include "FU_Login.h"

#include "U_Application.h"
#include "U_Db.h"
#include "U_Login.h"
#include "U_MessageBox.h"
#include "U_UiResources.h"
#include "U_settings.h"
#include "U_utils.h"

#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QThread>

#include <memory>

namespace {
const QString kServers = QStringLiteral("Connection/servers");
const QString kServer = QStringLiteral("Connection/server");
const QString kLogin = QStringLiteral("Connection/login");
const QString kSQLServerAuth = QStringLiteral("Connection/SQLServerAuth");
const QString kServerSPN = QStringLiteral("Connection/ServerSPN");
const QString kLoginInfo = QStringLiteral("Wprowadź dane logowania do Serwera SQL");

template <class W> W *Place(W *widget, const char *name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}
} // namespace

TF_Login::TF_Login(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("F_Login"));
    setFixedSize(331, 240);
    setModal(true);
    // The window's fixed layout is drawn for a small dialog font.
    QFont dialogFont = font();
    dialogFont.setPointSizeF(std::min(dialogFont.pointSizeF(), 8.5));
    setFont(dialogFont);

    imgLogin = Place(new QLabel(this), "imgLogin", 8, 8, 24, 24);
    imgLogin->setPixmap(UiPicture(QStringLiteral("database")));
    imgLogin->setAttribute(Qt::WA_TranslucentBackground);
    labInfo = Place(new QLabel(kLoginInfo, this), "labInfo", 44, 8, 279, 24);
    labInfo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labInfo->setWordWrap(true);
    Label1 = Place(new QLabel(QStringLiteral("Nazwa serwera"), this), "Label1", 8, 44, 93, 21);
    edServer = Place(new QComboBox(this), "edServer", 108, 44, 184, 21);
    edServer->setEditable(true);
    edServer->setInsertPolicy(QComboBox::NoInsert);
    btnGetServers =
        Place(new QPushButton(QStringLiteral("..."), this), "btnGetServers", 296, 44, 28, 21);
    btnGetServers->setToolTip(QStringLiteral("Pobierz listę dostępnych serwerów SQL"));
    btnGetServers->setFocusPolicy(Qt::ClickFocus); // skipped by the Tab key
    btnGetServers->setAutoDefault(false);
    Bevel1 = Place(new QFrame(this), "Bevel1", 8, 76, 314, 2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    rbWindowsAuth = Place(new QRadioButton(QStringLiteral("uwierzytelnianie Windows"), this),
                          "rbWindowsAuth", 8, 84, 314, 21);
    rbSQLServerAuth = Place(new QRadioButton(QStringLiteral("uwierzytelnianie SQL Server"), this),
                            "rbSQLServerAuth", 8, 108, 313, 21);
    labUser = Place(new QLabel(QStringLiteral("użytkownik"), this), "labUser", 24, 140, 77, 21);
    edUser = Place(new QLineEdit(this), "edUser", 108, 140, 215, 21);
    labPassword = Place(new QLabel(QStringLiteral("hasło"), this), "labPassword", 24, 168, 77, 21);
    edPassword = Place(new QLineEdit(this), "edPassword", 108, 168, 215, 21);
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    btnConnect =
        Place(new QPushButton(QStringLiteral("Połącz"), this), "btnConnect", 155, 208, 80, 25);
    btnConnect->setDefault(true);
    btnClose = Place(new QPushButton(QStringLiteral("Porzuć"), this), "btnClose", 243, 208, 80, 25);
    btnClose->setAutoDefault(false);
    labKerberos = Place(new QLabel(this), "labKerberos", 8, 189, 315, 17);
    labKerberos->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labKerberos->setVisible(false);

    // The captions name their inputs, also for a screen reader.
    Label1->setBuddy(edServer);
    labUser->setBuddy(edUser);
    labPassword->setBuddy(edPassword);
    edServer->lineEdit()->setAccessibleName(Label1->text());
    btnGetServers->setAccessibleName(btnGetServers->toolTip());

    setTabOrder(edServer, rbWindowsAuth);
    setTabOrder(rbWindowsAuth, rbSQLServerAuth);
    setTabOrder(rbSQLServerAuth, edUser);
    setTabOrder(edUser, edPassword);
    setTabOrder(edPassword, btnConnect);
    setTabOrder(btnConnect, btnClose);

    connect(rbWindowsAuth, &QRadioButton::clicked, this, [this] { UpdateAuthControls(); });
    connect(rbSQLServerAuth, &QRadioButton::clicked, this, [this] { UpdateAuthControls(); });
    connect(btnConnect, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnGetServers, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { btnGetServersClick(); }); });

    rbSQLServerAuth->setChecked(true);
}

bool TF_Login::ShowModal() {
    FormShow();
    FFilledForThisShow = true;
    int result;
    if (ModalRunner) {
        result = ModalRunner(*this);
    } else {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        result = exec();
    }
    FFilledForThisShow = false;
    return result == QDialog::Accepted;
}

void TF_Login::showEvent(QShowEvent *event) {
    // Every showing refills the window from the preferences; ShowModal has done so already.
    if (!FFilledForThisShow)
        FormShow();
    QDialog::showEvent(event);
}

void TF_Login::FormShow() {
    setWindowTitle(ApplicationTitle() + QStringLiteral(": login"));
    if (!FBrowse)
        labInfo->setText(kLoginInfo);
    TOrvel_XMLPrefs *prefs = AppPrefs.get();
    QString servers = prefs ? prefs->ReadString(kServers) : QString();
    QStringList entries = SplitStoredServerNames(servers);
    // A first start: no server has been used yet, so the demo data is offered as a server.
    if (entries.isEmpty())
        entries.append(QStringLiteral("sqlite:") + CutAtLastChar(GetDemoFolder(), u'/'));
    edServer->clear();
    edServer->addItems(entries);
    QString server = prefs ? prefs->ReadString(kServer) : QString();
    if (server.isEmpty() && servers.isEmpty())
        server = entries.first();
    edServer->setEditText(server);
    edUser->setText(prefs ? prefs->ReadString(kLogin) : QString());
    FSQLServerAuth = prefs ? prefs->ReadBool(kSQLServerAuth, true) : true;
    if (FSQLServerAuth)
        rbSQLServerAuth->setChecked(true);
    else
        rbWindowsAuth->setChecked(true);
    UpdateAuthControls();
}

void TF_Login::UpdateAuthControls() {
    if (rbWindowsAuth->isChecked())
        FSQLServerAuth = false;
    if (rbSQLServerAuth->isChecked())
        FSQLServerAuth = true;
    // Tab enters the radio group on the chosen button; the arrow keys move within the group.
    rbSQLServerAuth->setFocusPolicy(FSQLServerAuth ? Qt::StrongFocus : Qt::ClickFocus);
    rbWindowsAuth->setFocusPolicy(FSQLServerAuth ? Qt::ClickFocus : Qt::StrongFocus);
    labUser->setEnabled(FSQLServerAuth);
    labPassword->setEnabled(FSQLServerAuth);
    edUser->setEnabled(FSQLServerAuth);
    edPassword->setEnabled(FSQLServerAuth);
    if (FSQLServerAuth) {
        edUser->setText(AppPrefs ? AppPrefs->ReadString(kLogin) : QString());
    } else {
        edUser->clear();
        edPassword->clear();
    }
    UpdateKerberosLine();
}

void TF_Login::UpdateKerberosLine() {
    labKerberos->setVisible(!FSQLServerAuth);
    if (!FSQLServerAuth) {
        // A long principal may not fit the line: the hint shows it whole.
        labKerberos->setText(KerberosTicketLine(ReadKerberosTicket()));
        labKerberos->setToolTip(labKerberos->text());
    }
}

QStringList TF_Login::ServerEntries() const {
    QStringList entries;
    for (int i = 0; i < edServer->count(); ++i)
        entries.append(edServer->itemText(i));
    return entries;
}

bool TF_Login::Connect(TOrvel_LoginHost &host) {
    FConnected = false;
    host.SetConnectionText(QStringLiteral("Łączenie..."));

    const QString server = TrimText(edServer->currentText());
    QString user = TrimText(edUser->text());
    const QString password = TrimText(edPassword->text());

    QStringList entries = ServerEntries();
    if (AppendServerName(entries, server))
        edServer->addItem(server);

    if (!server.isEmpty() && AppPrefs) {
        AppPrefs->WriteString(kServers, JoinServerNames(entries));
        AppPrefs->WriteString(kServer, server);
        if (!user.isEmpty())
            AppPrefs->WriteString(kLogin, user);
        AppPrefs->WriteBool(kSQLServerAuth, FSQLServerAuth);
        AppPrefs->SaveFile();
    }

    const TOrvel_ConnectionSettings settings =
        LoginConnectionSettings(server, FSQLServerAuth, user, password,
                                AppPrefs ? AppPrefs->ReadString(kServerSPN) : QString());
    if (!FSQLServerAuth)
        user = GetSystemUserName(); // for the status text only

    QString failure;
    FConnected = OpenConnection(host.Connection(), settings, &failure);
    if (!FConnected && !failure.isNull())
        ShowMessage(this, TOrvel_MsgIcon::Error, QString(), failure);

    if (FConnected) {
        host.SetConnectionText(QStringLiteral("Użytkownik: ") + server + u'/' + user);
        QStringList databases = host.DatabaseList();
        LoadDatabaseList(host.Connection(), databases);
        host.SetDatabaseList(databases);
        host.SetAppState(asNoDatabase);
    } else {
        host.SetConnectionText(QStringLiteral("Nie połączone !"));
        // The databases of the connection before are not this server's.
        host.SetDatabaseList({});
        host.SetAppState(asNotConnected);
    }
    return FConnected;
}

TF_Login::~TF_Login() {
    // The question to the network ends by itself within its time-out; its answer is not wanted.
    if (FBrowse) {
        FBrowse->disconnect(this);
        FBrowse->wait();
    }
}

void TF_Login::btnGetServersClick() {
    if (FBrowse)
        return; // one question at a time
    // The question waits for the servers' answers (about 1.5 s): the window stays alive meanwhile.
    btnGetServers->setEnabled(false);
    btnGetServers->setCursor(Qt::BusyCursor);
    labInfo->setText(QStringLiteral("Wyszukiwanie serwerów..."));
    auto found = std::make_shared<QString>();
    FBrowse = QThread::create([found] { *found = GetSQLServerList(); });
    FBrowse->setParent(this);
    connect(FBrowse, &QThread::finished, this, [this, found] {
        FBrowse->deleteLater();
        FBrowse = nullptr;
        RunGuarded([this, found] { ServersFound(*found); });
    });
    FBrowse->start();
}

void TF_Login::ServersFound(const QString &list) {
    btnGetServers->unsetCursor();
    btnGetServers->setEnabled(true);
    const QStringList names = SplitServerNames(list, u';');
    if (names.isEmpty()) {
        labInfo->setText(kNoServersFound);
        return;
    }
    labInfo->setText(kLoginInfo);
    for (const QString &name : names) {
        QStringList entries = ServerEntries();
        if (AppendServerName(entries, name))
            edServer->addItem(name);
    }
    if (isVisible())
        edServer->showPopup();
}
