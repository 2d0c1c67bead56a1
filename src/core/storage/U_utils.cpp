#include "U_utils.h"

#include "U_AppLayout.h"
#include "U_error.h"
#include "U_locale.h"

#include <QStringList>

#include <algorithm>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

std::optional<QString> g_appFolder;

QString WithSeparator(const QString &folder) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

QString ReplaceEach(QString text, const QString &chars, QChar by) {
    for (QChar c : chars)
        text.replace(c, by);
    return text;
}

[[noreturn]] void NotADate(const QString &text) {
    throw EOrvelError(QStringLiteral("'%1' is not a valid date").arg(text));
}

bool AllDigits(const QString &text) {
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// A two-digit year is taken within fifty years of today, as a desktop's date entry does.
int ExpandYear(int year, qsizetype digits) {
    if (digits > 2)
        return year;
    const int now = QDate::currentDate().year();
    int full = now - now % 100 + year;
    if (full > now + 49)
        full -= 100;
    else if (full <= now - 50)
        full += 100;
    return full;
}

} // namespace

QString GetAppFolder() {
    if (g_appFolder)
        return WithSeparator(*g_appFolder);
    return CurrentAppLayout().AppFolder;
}

QString GetDataFolder() {
    return GetAppFolder() + QStringLiteral("data/");
}

QString GetReportsFolder() {
    return GetAppFolder() + QStringLiteral("data reports/");
}

QString GetTemplateFolder() {
    return GetDataFolder() + QStringLiteral("template/");
}

QString GetPluginFolder() {
    const TOrvel_AppLayout &layout = CurrentAppLayout();
    // Portable, the plug-ins lie in the application folder, wherever it has been pointed.
    return layout.Kind == TOrvel_LayoutKind::lkInstalled ? layout.PluginFolder : GetAppFolder();
}

QString GetDemoFolder() {
    const TOrvel_AppLayout &layout = CurrentAppLayout();
    return layout.Kind == TOrvel_LayoutKind::lkInstalled
               ? layout.DemoFolder
               : GetDataFolder() + QStringLiteral("demo/");
}

void SetAppFolder(const QString &folder) {
    if (folder.isEmpty())
        g_appFolder.reset();
    else
        g_appFolder = folder;
}

bool IsAppFolderSet() {
    return g_appFolder.has_value();
}

QString TrimText(const QString &text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

QString AsciiUpper(const QString &text) {
    QString out = text;
    for (QChar &c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return out;
}

QString AsciiLower(const QString &text) {
    QString out = text;
    for (QChar &c : out) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return out;
}

QString SanitizePath(const QString &text) {
    return ReplaceEach(TrimText(text), QStringLiteral("/:?<>."), QLatin1Char('_'));
}

QString SanitizeFileName(const QString &text) {
    return SanitizePath(text).replace(QLatin1Char('\\'), QLatin1Char('_'));
}

// Empty while the program has no public page: the about window and the XHTML footer then show
// no link.
QString GetProductWebAddress() {
    return {};
}

QString GetVersionString() {
#if defined(ORVEL_VERSION_MAJOR) && defined(ORVEL_VERSION_MINOR) &&                                \
    defined(ORVEL_VERSION_RELEASE) && defined(ORVEL_VERSION_BUILD)
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ORVEL_VERSION_MAJOR)
        .arg(ORVEL_VERSION_MINOR)
        .arg(ORVEL_VERSION_RELEASE)
        .arg(ORVEL_VERSION_BUILD);
#else
    return QString();
#endif
}

QString DateToSQL(const QDate &date) {
    return QStringLiteral("'%1%2%3'")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QString TextDateToSQL(const QString &text) {
    // The order of day, month and year comes from the user's short date format; the fields
    // themselves may be typed with or without leading zeros, the year also with two digits, and
    // a missing year means the current one.
    const TOrvel_FormatSettings &fs = UserFormatSettings();
    std::vector<QChar> order;
    for (QChar c : fs.ShortDateFormat) {
        if ((c == u'd' || c == u'M' || c == u'y') &&
            std::find(order.begin(), order.end(), c) == order.end())
            order.push_back(c);
    }
    if (order.size() != 3)
        order = {QLatin1Char('d'), QLatin1Char('M'), QLatin1Char('y')};

    const QString trimmed = TrimText(text);
    const QStringList parts = trimmed.split(fs.DateSeparator);
    if (parts.size() < 2 || parts.size() > 3)
        NotADate(text);
    int day = 0, month = 0, year = QDate::currentDate().year();
    qsizetype field = 0;
    for (QChar kind : order) {
        if (kind == u'y' && parts.size() == 2)
            continue;
        const QString part = TrimText(parts.at(field++));
        if (!AllDigits(part) || part.size() > 4)
            NotADate(text);
        const int value = part.toInt();
        if (kind == u'd')
            day = value;
        else if (kind == u'M')
            month = value;
        else
            year = ExpandYear(value, part.size());
    }
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1)
        NotADate(text);
    return DateToSQL(date);
}

QDate SQLToDate(const QString &text) {
    if (text.size() != 8)
        return QDate::currentDate();
    const QString parts[3] = {text.mid(0, 4), text.mid(4, 2), text.mid(6, 2)};
    for (const QString &part : parts) {
        if (!AllDigits(part))
            throw EOrvelError(QStringLiteral("'%1' is not a valid integer value").arg(part));
    }
    const QDate date(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
    if (!date.isValid() || parts[0].toInt() < 1)
        NotADate(text);
    return date;
}

QString UnquoteSQLString(const QString &text) {
    if (!text.startsWith(QLatin1Char('\'')))
        return text;
    // A literal that is never closed is taken to run to the end of the text.
    QString value;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\'') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\'') {
                value += c;
                ++i;
                continue;
            }
            break;
        }
        value += c;
    }
    value = TrimText(value);
    return value.isEmpty() ? text : value;
}

QString CutAtLastChar(const QString &text, QChar c) {
    const qsizetype pos = text.lastIndexOf(c);
    return pos < 0 ? text : text.left(pos);
}

bool IsNumericField(TFieldType type) {
    return FieldKindOf(type) == TFieldKind::fkNumeric;
}
bool IsStringField(TFieldType type) {
    return FieldKindOf(type) == TFieldKind::fkText;
}
bool IsDateTimeField(TFieldType type) {
    return FieldKindOf(type) == TFieldKind::fkDateTime;
}
bool IsBooleanField(TFieldType type) {
    return FieldKindOf(type) == TFieldKind::fkBoolean;
}

QString FieldTypeName(TFieldType type) {
    switch (FieldKindOf(type)) {
    case TFieldKind::fkNumeric:
        return QStringLiteral("liczba");
    case TFieldKind::fkText:
        return QStringLiteral("tekst");
    case TFieldKind::fkDateTime:
        return QStringLiteral("data");
    case TFieldKind::fkBoolean:
        return QStringLiteral("logiczny");
    case TFieldKind::fkNone:
        break;
    }
    return QString();
}

QString GetSystemUserName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name)
        return QString();
    return QString::fromLocal8Bit(found->pw_name).left(1024);
}
