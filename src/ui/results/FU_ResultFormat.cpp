#include "FU_ResultFormat.h"

#include "U_Application.h"
#include "U_GridColumns.h"
#include "U_SQL_report_settings.h"
#include "U_WidgetUtils.h"
#include "U_error.h"
#include "U_utils.h"

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>

namespace {

// The dialog's client area at its design size (the window with its frame is 608 x 360).
constexpr QSize kDesignSize(600, 333);
// A column of the list view that is given no width of its own.
constexpr int kDefaultListColumnWidth = 50;

enum Anchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8, akAll = 15 };

// Places a child at its design rectangle and remembers how it follows its parent's size.
void Place(QWidget *widget, const QRect &design, int anchors) {
    widget->setGeometry(design);
    widget->setProperty("designRect", design);
    widget->setProperty("designParent", widget->parentWidget()->size());
    widget->setProperty("anchors", anchors);
}

// Keeps the distances to the anchored edges of the parent; an edge that is anchored on neither
// side keeps the control's size and position.
void Follow(QWidget *widget) {
    const QRect design = widget->property("designRect").toRect();
    const QSize designParent = widget->property("designParent").toSize();
    const int anchors = widget->property("anchors").toInt();
    const QSize parent = widget->parentWidget()->size();
    QRect r = design;
    const int rightGap = designParent.width() - design.right() - 1;
    const int bottomGap = designParent.height() - design.bottom() - 1;
    if ((anchors & akRight) && (anchors & akLeft))
        r.setWidth(std::max(0, parent.width() - rightGap - design.left()));
    else if (anchors & akRight)
        r.moveLeft(parent.width() - rightGap - design.width());
    if ((anchors & akBottom) && (anchors & akTop))
        r.setHeight(std::max(0, parent.height() - bottomGap - design.top()));
    else if (anchors & akBottom)
        r.moveTop(parent.height() - bottomGap - design.height());
    widget->setGeometry(r);
}

QString AlignOf(int index) {
    switch (index) {
    case 0:
        return QStringLiteral("L");
    case 1:
        return QStringLiteral("C");
    case 2:
        return QStringLiteral("R");
    default:
        return {};
    }
}

TOrvel_Alignment AlignmentOf(const QString &align) {
    if (align == QStringLiteral("C"))
        return TOrvel_Alignment::taCenter;
    if (align == QStringLiteral("L"))
        return TOrvel_Alignment::taLeftJustify;
    return TOrvel_Alignment::taRightJustify;
}

} // namespace

TF_ResultFormat::TF_ResultFormat(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("F_ResultFormat"));
    setWindowTitle(QStringLiteral("Format wyniku"));
    setMinimumSize(kDesignSize);
    resize(kDesignSize);
    setSizeGripEnabled(false);

    grpList = new QGroupBox(QStringLiteral("Kolumny"), this);
    grpList->setObjectName(QStringLiteral("grpList"));
    Place(grpList, QRect(8, 8, 351, 273), akAll);

    list = new QTreeWidget(grpList);
    list->setObjectName(QStringLiteral("list"));
    Place(list, QRect(12, 20, 327, 241), akAll);
    list->setColumnCount(3);
    list->setHeaderLabels(
        {QStringLiteral("Pokaż"), QStringLiteral("Opis"), QStringLiteral("Nazwa")});
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->setColumnWidth(colShow, kDefaultListColumnWidth);
    list->setColumnWidth(colDesc, 150);
    list->setColumnWidth(colName, 100);
    // The selection stays visible while the focus is elsewhere (in the edit boxes).
    QPalette palette = list->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    list->setPalette(palette);

    grpProperties = new QGroupBox(QStringLiteral("Właściwości kolumny"), this);
    grpProperties->setObjectName(QStringLiteral("grpProperties"));
    Place(grpProperties, QRect(368, 8, 224, 193), akTop | akRight);

    auto label = [this](const char *name, const QString &text, const QRect &rect) {
        auto *l = new QLabel(text, grpProperties);
        l->setObjectName(QLatin1String(name));
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        Place(l, rect, akLeft | akTop | akRight);
        return l;
    };
    labDesc = label("labDesc", QStringLiteral("Opis"), QRect(12, 20, 200, 21));
    edDesc = new QLineEdit(grpProperties);
    edDesc->setObjectName(QStringLiteral("edDesc"));
    Place(edDesc, QRect(12, 44, 200, 21), akLeft | akTop | akRight);
    labAlign = label("labAlign", QStringLiteral("Wyrównanie"), QRect(12, 76, 200, 21));
    listAlign = new QComboBox(grpProperties);
    listAlign->setObjectName(QStringLiteral("listAlign"));
    listAlign->addItems(
        {QStringLiteral("do lewej"), QStringLiteral("środek"), QStringLiteral("do prawej")});
    Place(listAlign, QRect(12, 100, 128, 21), akLeft | akTop);
    labFormat = label("labFormat", QStringLiteral("Format wartości"), QRect(12, 132, 200, 21));
    edFormat = new QLineEdit(grpProperties);
    edFormat->setObjectName(QStringLiteral("edFormat"));
    Place(edFormat, QRect(12, 156, 128, 21), akLeft | akTop);
    // The captions name their inputs, also for a screen reader.
    labDesc->setBuddy(edDesc);
    labAlign->setBuddy(listAlign);
    labFormat->setBuddy(edFormat);
    list->setAccessibleName(grpList->title());

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    Place(btnOK, QRect(424, 298, 80, 25), akRight | akBottom);
    btnCancel = new QPushButton(QStringLiteral("Anuluj"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    Place(btnCancel, QRect(512, 298, 80, 25), akRight | akBottom);
    // Escape rejects the dialog, which is what "Anuluj" does.

    connect(list, &QTreeWidget::itemSelectionChanged, this, &TF_ResultFormat::listSelectItem);
    connect(list, &QTreeWidget::itemChanged, this, &TF_ResultFormat::listItemChanged);
    connect(edDesc, &QLineEdit::textChanged, this, &TF_ResultFormat::edDescChange);
    connect(edFormat, &QLineEdit::textChanged, this, &TF_ResultFormat::edFormatChange);
    connect(listAlign, &QComboBox::currentIndexChanged, this, &TF_ResultFormat::listAlignChange);
    connect(btnOK, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &TF_ResultFormat::btnCancelClick);

    ShowColumn(nullptr);
}

void TF_ResultFormat::SetTarget(TOrvel_ReportSettings *settings, TOrvel_GridColumns *grid,
                                QWidget *gridView) {
    FReport = settings;
    FGrid = grid;
    FGridView = gridView;
}

int TF_ResultFormat::ShowResultFormat(TOrvel_ReportSettings *settings, TOrvel_GridColumns *grid,
                                      QWidget *gridView) {
    SetTarget(settings, grid, gridView);
    return exec();
}

void TF_ResultFormat::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (const QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    FormShow();
}

void TF_ResultFormat::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    LayOut();
    FormResize();
}

void TF_ResultFormat::LayOut() {
    for (QWidget *w : {static_cast<QWidget *>(grpList), static_cast<QWidget *>(grpProperties),
                       static_cast<QWidget *>(btnOK), static_cast<QWidget *>(btnCancel)})
        Follow(w);
    // Children after their group, which has its new size now.
    for (QWidget *w : {static_cast<QWidget *>(list), static_cast<QWidget *>(labDesc),
                       static_cast<QWidget *>(edDesc), static_cast<QWidget *>(labAlign),
                       static_cast<QWidget *>(listAlign), static_cast<QWidget *>(labFormat),
                       static_cast<QWidget *>(edFormat)})
        Follow(w);
}

void TF_ResultFormat::FormShow() {
    FApplying = false;
    FShowingColumn = false;
    FillList();
    // A field name is never cut: "Nazwa" widens to the longest one (the list scrolls sideways
    // when it no longer fits).
    const int width = list->columnWidth(colName);
    list->resizeColumnToContents(colName);
    list->setColumnWidth(colName, std::max(width, list->columnWidth(colName)));
    FDescWidth = list->columnWidth(colDesc);
    FNameWidth = list->columnWidth(colName);
    FListWidth = list->width();
}

void TF_ResultFormat::FillList() {
    if (!FReport || !FGrid || !FGrid->HasOpenResult())
        return;
    // The settings file is written at every opening, also when the dialog is then cancelled. A
    // file that cannot be written is told after the list shows the columns, not instead of it.
    QString saveError;
    FReport->CaptureColumns(*FGrid);
    try {
        FReport->SaveSettings();
    } catch (const EOrvelError &e) {
        saveError = e.message();
    }
    FReport->ApplyColumns(*FGrid);

    const QSignalBlocker block(list);
    list->clear();
    FFormats.clear();
    const TOrvel_XML_util &xml = FReport->Xml;
    const TOrvel_XmlElement fields = xml.FindElement(QStringLiteral("fields"));
    for (TOrvel_XmlElement e = FirstChildElement(fields); e; e = NextSiblingElement(e)) {
        const int position = TOrvel_ReportSettings::ColumnOfElement(*FGrid, e);
        if (position < 0)
            continue;
        const DbField &field = *FGrid->Field(position);
        TF_FieldResultFormat f;
        f.Name = ElementName(e);
        f.Occurrence = TOrvel_ReportSettings::ElementOccurrence(e);
        f.Desc = xml.GetValue(QStringLiteral("desc"), e);
        f.Align = xml.GetValue(QStringLiteral("align"), e);
        f.Format = xml.GetValue(QStringLiteral("format"), e);
        f.Visible = xml.GetValue(QStringLiteral("visible"), e) == QStringLiteral("1");
        f.IsBoolean = IsBooleanField(field);
        f.IsNumeric = IsNumericField(field);
        f.IsString = IsStringField(field);
        f.IsDateTime = IsDateTimeField(field);
        f.TypeName = FieldTypeName(field);
        FFormats.push_back(f);
    }
    for (std::size_t i = 0; i < FFormats.size(); ++i) {
        auto *item = new QTreeWidgetItem(list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setData(colShow, Qt::UserRole, static_cast<int>(i));
        item->setCheckState(colShow, FFormats[i].Visible ? Qt::Checked : Qt::Unchecked);
        item->setText(colDesc, FFormats[i].Desc);
        item->setText(colName, FFormats[i].Name);
        PaintRow(item);
    }
    ShowColumn(nullptr);
    if (!saveError.isEmpty())
        ShowGeneralError(saveError);
}

TF_FieldResultFormat *TF_ResultFormat::Record(QTreeWidgetItem *item) {
    if (!item)
        return nullptr;
    bool ok = false;
    const int i = item->data(colShow, Qt::UserRole).toInt(&ok);
    if (!ok || i < 0 || i >= static_cast<int>(FFormats.size()))
        return nullptr;
    return &FFormats[static_cast<std::size_t>(i)];
}

QTreeWidgetItem *TF_ResultFormat::SelectedRow() const {
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

void TF_ResultFormat::PaintRow(QTreeWidgetItem *item) {
    FPainting = true;
    const bool shown = item->checkState(colShow) == Qt::Checked;
    for (int c = colShow; c <= colName; ++c) {
        if (shown)
            item->setData(c, Qt::ForegroundRole, QVariant());
        else
            item->setForeground(c, HiddenRowColor());
    }
    FPainting = false;
}

void TF_ResultFormat::listItemChanged(QTreeWidgetItem *item, int column) {
    // The row's colour follows its check box at once.
    if (!FPainting && column == colShow)
        PaintRow(item);
}

void TF_ResultFormat::listSelectItem() {
    ShowColumn(SelectedRow());
}

void TF_ResultFormat::ShowColumn(QTreeWidgetItem *item) {
    FShowingColumn = true;
    if (const TF_FieldResultFormat *f = Record(item)) {
        grpProperties->setTitle(QStringLiteral("Właściwości kolumny (typ: ") + f->TypeName + u')');
        SetControlsEnabled(grpProperties, true);
        edDesc->setText(f->Desc);
        int align = 2;
        if (f->Align == QStringLiteral("L"))
            align = 0;
        else if (f->Align == QStringLiteral("C"))
            align = 1;
        listAlign->setCurrentIndex(align);
        // Boolean columns are always centred.
        listAlign->setEnabled(!f->IsBoolean);
        labAlign->setEnabled(!f->IsBoolean);
        const bool formatted = f->IsNumeric || f->IsDateTime;
        labFormat->setEnabled(formatted);
        edFormat->setText(formatted ? f->Format : QString());
    } else {
        grpProperties->setTitle(QStringLiteral("Właściwości kolumny"));
        edDesc->clear();
        edFormat->clear();
        listAlign->setCurrentIndex(-1);
        SetControlsEnabled(grpProperties, false);
    }
    FShowingColumn = false;
}

void TF_ResultFormat::edDescChange() {
    if (FApplying || FShowingColumn)
        return;
    QTreeWidgetItem *item = SelectedRow();
    TF_FieldResultFormat *f = Record(item);
    if (!f)
        return;
    f->Desc = edDesc->text();
    item->setText(colDesc, f->Desc);
    if (const QString align = AlignOf(listAlign->currentIndex()); !align.isEmpty())
        f->Align = align;
    f->Format = edFormat->text();
}

void TF_ResultFormat::edFormatChange() {
    edDescChange();
}

void TF_ResultFormat::listAlignChange() {
    edDescChange();
}

void TF_ResultFormat::btnOKClick() {
    if (!FReport || !FGrid) {
        accept();
        return;
    }
    FApplying = true;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = list->topLevelItem(i);
        if (TF_FieldResultFormat *f = Record(item))
            f->Visible = item->checkState(colShow) == Qt::Checked;
    }
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const TF_FieldResultFormat *f = Record(list->topLevelItem(i));
        const int position = f ? FGrid->FindColumn(f->Name, f->Occurrence) : -1;
        if (position < 0)
            continue;
        DbField &field = *FGrid->Field(position);
        FGrid->SetVisible(position, f->Visible);
        FGrid->SetCaption(position, f->Desc);
        FGrid->SetAlignment(position, AlignmentOf(f->Align));
        if (IsNumericField(field) || IsDateTimeField(field))
            field.DisplayFormat = f->Format;
    }
    FReport->CaptureColumns(*FGrid);
    try {
        FReport->SaveSettings();
    } catch (...) {
        // The dialog stays open; the error goes to the general error message.
        FApplying = false;
        throw;
    }
    FReport->ApplyColumns(*FGrid);
    FApplying = false;
    if (FGridView) {
        // Display formats live in the fields, so the shown texts change without a column signal.
        if (auto *area = qobject_cast<QAbstractScrollArea *>(FGridView))
            area->viewport()->update();
        FGridView->update();
    }
    accept();
}

void TF_ResultFormat::btnCancelClick() {
    reject();
}

void TF_ResultFormat::FormResize() {
    if (FListWidth <= 0)
        return;
    const float f = static_cast<float>(list->width()) * 100.0f / static_cast<float>(FListWidth);
    list->setColumnWidth(colDesc, static_cast<int>(static_cast<float>(FDescWidth) * f / 100.0f));
    list->setColumnWidth(colName, static_cast<int>(static_cast<float>(FNameWidth) * f / 100.0f));
}
