#include "U_SQL_report.h"

#include "U_Db.h"
#include "U_ParamInput.h"
#include "U_ParamList.h"
#include "U_ReportFiles.h"
#include "U_SQLRunThread.h"
#include "U_error.h"
#include "U_utils.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>

namespace {
const QString kNull = QStringLiteral("NULL");
const QString kCrLf = QStringLiteral("\r\n");
constexpr int ReportCommandTimeout = 600; // seconds

// In the information tree the three list texts show ";" as ", ".
QString ListShown(const QString &text) {
    return SplitListText(text).join(QStringLiteral(", "));
}
} // namespace

// One parameter: its input state and, for an SQL pick list, the query that feeds the list.
struct TOrvel_Report::Parameter {
    std::unique_ptr<TOrvel_ParamInput> Input;
    std::unique_ptr<DbQuery> ListQuery;
};

TOrvel_Report::TOrvel_Report(DbConnection *connection, QObject *parent)
    : QObject(parent), FConnection(connection), FResult(std::make_unique<DbQuery>(connection)) {
    FResult->CommandTimeout = ReportCommandTimeout;
    // The reports folder is made when missing; a failure shows later as an empty catalogue.
    const QString folder = GetReportsFolder();
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder);
}

TOrvel_Report::~TOrvel_Report() {
    // The worker holds the result query until it ends.
    if (FRunThread) {
        FConnection->Cancel();
        FRunThread->wait();
    }
    FView = nullptr;
    RemoveParameters();
}

void TOrvel_Report::RemoveParameters() {
    // The rows go first: they point at the inputs and list queries.
    if (FView)
        FView->Clear();
    FParams.clear();
}

void TOrvel_Report::ResetFields() {
    FLoaded = false;
    FTitle.clear();
    FVersion = 0;
    FVersionText.clear();
    FScriptFile.clear();
    FDefinitionFile.clear();
    FDefaultsFile.clear();
    FDefaultDb.clear();
    FScript.clear();
}

void TOrvel_Report::ClearReport() {
    RemoveParameters();
    ResetFields();
}

bool TOrvel_Report::LoadReport(const QString &definitionFile, const QString &title) {
    // Nothing of the previous report survives a failed load.
    ClearReport();
    FDefinitionFile = definitionFile;

    TOrvel_ReportDefinition definition;
    try {
        if (!QFileInfo::exists(definitionFile) ||
            !ReadDefinition(FDefinition, definitionFile, definition))
            return false;
    } catch (...) {
        // The version is not a number: the title is known, nothing else is loaded.
        FTitle = title;
        throw;
    }
    FTitle = title;
    FVersion = definition.Version;
    FVersionText = definition.VersionText;
    FDefaultDb = definition.DefaultDb;
    FScriptFile = definition.ScriptFile;
    try {
        const TOrvel_ScriptFile script = ReadScriptFile(FScriptFile);
        FScript = script.Exists ? script.Text : QString();

        if (FView)
            FView->BeginLoad();
        for (const TOrvel_ParamData &data : definition.Params) {
            auto param = std::make_unique<Parameter>();
            param->Input = std::make_unique<TOrvel_ParamInput>(data);
            if (param->Input->Kind() == TOrvel_InputKind::ikSqlList)
                param->ListQuery = std::make_unique<DbQuery>(FConnection);
            FParams.push_back(std::move(param));
            if (FView)
                FView->Add(ParamCount() - 1);
        }
        if (FView)
            FView->EndLoad();

        if (FResult->IsOpen())
            FResult->Close();
        FDefaultsFile = DefaultsFileName(definitionFile);
        LoadDefaults(FDefaults, FDefaultsFile); // a missing file leaves an empty document
        Settings.LoadSettings(definitionFile);
        if (!FDefaultDb.isEmpty() && OnDefaultDatabase)
            OnDefaultDatabase(FDefaultDb, definitionFile);
    } catch (...) {
        // No half-loaded report: the parameters go, the title and definition file stay.
        RemoveParameters();
        const QString keptTitle = FTitle;
        ResetFields();
        FTitle = keptTitle;
        FDefinitionFile = definitionFile;
        throw;
    }
    FLoaded = true;
    return true;
}

QString TOrvel_Report::LoadNotice() const {
    if (FLoaded && !FScriptFile.isEmpty() && !QFileInfo::exists(FScriptFile))
        return QStringLiteral("Brak pliku skryptu: ") + FScriptFile;
    for (const auto &param : FParams) {
        const QString fault = ListCountFault(param->Input->Definition());
        if (!fault.isEmpty())
            return fault;
    }
    return QString();
}

QString TOrvel_Report::GetDefinitionText() const {
    return FDefinition.HasDocument() ? FDefinition.GetXML() : QString();
}

QList<const TOrvel_ParamInput *> TOrvel_Report::Inputs() const {
    QList<const TOrvel_ParamInput *> inputs;
    for (const auto &param : FParams)
        inputs << param->Input.get();
    return inputs;
}

QString TOrvel_Report::GetParamsBlock(bool withDeclarations) const {
    return ::GetParamsBlock(Inputs(), withDeclarations);
}

TOrvel_ParamInput &TOrvel_Report::Param(int index) const {
    return *FParams.at(static_cast<std::size_t>(index))->Input;
}

DbQuery *TOrvel_Report::ListQuery(int index) const {
    return FParams.at(static_cast<std::size_t>(index))->ListQuery.get();
}

void TOrvel_Report::ShowInfo(TOrvel_ReportInfo &info) const {
    info.Clear();
    if (!FLoaded) {
        info.Lines.push_back({0, QStringLiteral("Raport nie został załadowany"), -1});
        return;
    }
    info.ShowLines = true;
    info.Lines.push_back({0, FTitle, -1});
    info.Lines.push_back({1, QStringLiteral("wersja: ") + FVersionText, -1});
    info.Lines.push_back({1, QStringLiteral("zapytanie: ") + FScriptFile, -1});
    info.Lines.push_back({1, QStringLiteral("parametry"), -1});
    for (int i = 0; i < ParamCount(); ++i) {
        const TOrvel_ParamInput &input = Param(i);
        const TOrvel_ParamData &d = input.Definition();
        info.Lines.push_back({2, d.desc, -1});
        info.Lines.push_back({3, input.GetDeclaration(false), -1});
        const auto optional = [&info](const QString &prefix, const QString &text) {
            if (!text.isEmpty())
                info.Lines.push_back({3, prefix + text, -1});
        };
        optional(QStringLiteral("klucz: "), d.key);
        optional(QStringLiteral("zapytanie: "), d.listquery);
        optional(QStringLiteral("pozycje: "), ListShown(d.listitems));
        optional(QStringLiteral("wartości: "), ListShown(d.listvalues));
        optional(QStringLiteral("pola: "), ListShown(d.listfields));
        info.Lines.push_back({3, QStringLiteral("wartość: ") + input.GetSQLValue(), i});
    }
}

QList<int> TOrvel_Report::UpdateInfoValue(TOrvel_ReportInfo &info, const QString &name,
                                          const QString &) const {
    QList<int> changed;
    for (int line = 0; line < static_cast<int>(info.Lines.size()); ++line) {
        TOrvel_InfoLine &l = info.Lines[static_cast<std::size_t>(line)];
        if (l.Param < 0 || l.Param >= ParamCount() || Param(l.Param).Name() != name)
            continue;
        l.Text = QStringLiteral("wartość: ") + Param(l.Param).GetSQLValue();
        changed << line;
    }
    return changed;
}

void TOrvel_Report::ParamChanged(int index) {
    const TOrvel_ParamInput &input = Param(index);
    if (OnParamChange)
        OnParamChange(input.Name(), input.GetSQLValue());
    // The SQL pick lists that use this parameter, and those that use them in turn, lose their
    // choice; each is cleared once, so cycles between lists end.
    QList<const TOrvel_ParamData *> definitions;
    for (const auto &param : FParams)
        definitions << &param->Input->Definition();
    for (int dependent : ListsToClear(definitions, index)) {
        TOrvel_ParamInput &cleared = Param(dependent);
        cleared.SetSQLValue(kNull);
        if (FView)
            FView->ShowValue(dependent);
        if (OnParamChange)
            OnParamChange(cleared.Name(), cleared.GetSQLValue());
    }
}

void TOrvel_Report::SetParamValue(int index, const QString &value) {
    Param(index).SetSQLValue(value);
    if (FView)
        FView->ShowValue(index);
    ParamChanged(index);
}

void TOrvel_Report::RefreshList(int index) {
    DbQuery *query = ListQuery(index);
    if (!query)
        return;
    if (query->IsOpen())
        query->Close();
    const TOrvel_ParamData &d = Param(index).Definition();
    query->SQL = GetParamsBlock(true) + kCrLf + d.listquery;
    try {
        if (ListQueryRunner) {
            // Another thread may open it: its views hear of the result once it is complete.
            query->blockSignals(true);
            const auto unblock = qScopeGuard([query] {
                query->blockSignals(false);
                emit query->resultChanged();
            });
            ListQueryRunner([query] { query->Open(); });
        } else {
            query->Open();
        }
        // The list needs its key field and its shown fields; a missing one is the database
        // interface's field-not-found error.
        query->FieldByName(d.key);
        const QStringList shown = SplitListText(d.listfields);
        for (const QString &field : shown)
            if (!field.isEmpty())
                query->FieldByName(field);
    } catch (...) {
        if (query->IsOpen())
            query->Close();
        if (FView)
            FView->ListRefreshed(index);
        throw;
    }
    if (FView)
        FView->ListRefreshed(index);
}

void TOrvel_Report::ResetValues() {
    for (int i = 0; i < ParamCount(); ++i)
        SetParamValue(i, kNull);
}

void TOrvel_Report::SaveValues() {
    if (FDefaultsFile.isEmpty())
        return;
    std::vector<std::pair<QString, QString>> values;
    for (const TOrvel_ParamValue &value : CurrentValues())
        values.emplace_back(value.Name, value.Value);
    SaveDefaults(FDefaults, FDefaultsFile, values);
}

std::vector<TOrvel_ParamValue> TOrvel_Report::CurrentValues() const {
    std::vector<TOrvel_ParamValue> values;
    for (int i = 0; i < ParamCount(); ++i)
        values.push_back(
            {Param(i).Name(), Param(i).Type(), UnquoteSQLString(Param(i).GetSQLValue())});
    return values;
}

void TOrvel_Report::RestoreValues(const std::vector<TOrvel_ParamValue> &values) {
    // In definition order, as the stored values are set: a pick list's query sees the
    // parameters before it already restored.
    for (int i = 0; i < ParamCount(); ++i) {
        const auto found =
            std::find_if(values.begin(), values.end(), [&](const TOrvel_ParamValue &v) {
                return v.Name == Param(i).Name() && v.Type == Param(i).Type();
            });
        // A parameter loads as NULL: only a value needs setting, and only then its list's query.
        if (found == values.end() || found->Value.isEmpty() || found->Value == kNull)
            continue;
        if (ListQuery(i))
            RefreshList(i);
        SetParamValue(i, found->Value);
    }
}

void TOrvel_Report::LoadDefaultValues() {
    for (int i = 0; i < ParamCount(); ++i) {
        if (ListQuery(i))
            RefreshList(i);
        QString value = UnquoteSQLString(ReadStoredValue(FDefaults, Param(i).Name()));
        if (value.isEmpty())
            value = kNull;
        SetParamValue(i, value);
    }
}

bool TOrvel_Report::InputsRunnable() {
    // An input whose text its type rejects renders a stand-in (0 or NULL): running with it
    // would give a report the user did not ask for.
    for (int i = 0; i < ParamCount(); ++i) {
        const QString message = Param(i).RejectionMessage();
        if (!message.isEmpty()) {
            if (FView)
                FView->RunRefused(message);
            return false;
        }
    }
    return true;
}

bool TOrvel_Report::Run() {
    if (FRunThread)
        return false; // one run at a time: the worker holds the result query
    const QString script = TrimText(FScript);
    if (script.isEmpty()) {
        if (FView)
            FView->RunRefused(QStringLiteral("Zapytanie SQL jest puste"));
        return false;
    }
    const qsizetype marker = script.indexOf(OrvelParamsMarker);
    if (marker < 0) {
        if (FView)
            FView->RunRefused(QStringLiteral("Zapytanie SQL nie zawiera linii wymiany parametrów"));
        return false;
    }
    if (FRefuseRejectedInput && !InputsRunnable())
        return false;
    // Only the marker's own characters make way for the assignments; later markers stay.
    const QString sql =
        script.left(marker) + GetParamsBlock(false) + script.mid(marker + OrvelParamsMarker.size());

    if (FResult->IsOpen())
        FResult->Close();
    FResult->SQL = sql;
    FSortAscending = true;
    FSortColumn = -1;
    FSortField = -1;
    FErrorText.clear();
    FCancelled = false;

    // The result is read on this thread only after the run has ended: the query's own
    // notifications wait until then.
    FResult->blockSignals(true);
    // A cancel pressed before the worker reaches the server must still stop the batch.
    FConnection->ExpectBatch();
    FRunThread = std::make_unique<TOrvel_SQLRunThread>(FResult.get(), FConnection);
    connect(FRunThread.get(), &QThread::finished, this, &TOrvel_Report::RunEnd,
            Qt::QueuedConnection);
    FRunThread->start(QThread::LowPriority);
    return true;
}

void TOrvel_Report::CancelRun() {
    if (FRunThread)
        FConnection->Cancel();
}

void TOrvel_Report::AbandonRun() {
    if (!FRunThread)
        return;
    FConnection->Cancel();
    disconnect(FRunThread.get(), nullptr, this, nullptr);
    // A worker about to finish is waited for a moment: it may be writing the result query.
    if (FRunThread->wait(QDeadlineTimer(2000))) {
        FRunThread.reset();
        FResult->Close(); // whatever the run brought as the connection went is not shown
    } else {
        // Still in the driver: from here on it can only end as cancelled, which leaves the result
        // query alone. The thread object goes when the thread ends.
        TOrvel_SQLRunThread *thread = FRunThread.release();
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    }
    FErrorText.clear();
    FCancelled = true;
    FResult->blockSignals(false);
    emit FResult->resultChanged();
    if (OnRunDone)
        OnRunDone(*this);
}

void TOrvel_Report::RunEnd() {
    // The end of an earlier, abandoned worker may still be on its way.
    if (!FRunThread || sender() != FRunThread.get())
        return;
    FRunThread->wait();
    FErrorText = FRunThread->ErrorText();
    FCancelled = FRunThread->Cancelled();
    FRunThread.reset();
    FResult->blockSignals(false);
    emit FResult->resultChanged();
    if (OnRunDone)
        OnRunDone(*this);
}

bool TOrvel_Report::HasRecords() const {
    return !FRunThread && FResult->IsOpen() && FResult->RecordCount() > 0;
}

int TOrvel_Report::RecordCount() const {
    return !FRunThread && FResult->IsOpen() ? FResult->RecordCount() : 0;
}

void TOrvel_Report::SortByColumn(int column, const QString &fieldName) {
    const DbField *field = FResult->IsOpen() ? FResult->FieldByName(fieldName) : nullptr;
    SortByColumn(column, field ? field->Index() : -1);
}

void TOrvel_Report::SortByColumn(int column, int fieldIndex) {
    if (!FResult->IsOpen())
        FResult->SortByField(fieldIndex, true); // raises the closed result's error
    const bool again = FSortColumn >= 0 && fieldIndex == FSortField;
    const bool ascending = !again || !FSortAscending;
    FResult->SortByField(fieldIndex, ascending);
    FSortAscending = ascending;
    FSortColumn = column;
    FSortField = fieldIndex;
}

bool TOrvel_Report::AddDefinitionItem(const TOrvel_ParamData &param) {
    if (!FDefinition.HasDocument())
        return false;
    return AppendDefinitionItem(FDefinition, param);
}

QStringList TOrvel_Report::ListQueryColumns(const QString &listQuery) {
    DbQuery query(FConnection);
    query.SQL = GetParamsBlock(true) + kCrLf + listQuery;
    // A heavy list query must not freeze the window: it opens as the pick lists' queries do.
    if (ListQueryRunner)
        ListQueryRunner([&query] { query.Open(); });
    else
        query.Open();
    QStringList columns;
    for (const auto &field : query.Fields())
        columns.append(field->FieldName());
    query.Close();
    return columns;
}
