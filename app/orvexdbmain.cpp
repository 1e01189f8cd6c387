#include "app/orvexdbmain.h"

#include "app/completingcombobox.h"
#include "app/gridexport.h"
#include "app/gridmodel.h"
#include "app/gridview.h"
#include "app/historymenu.h"
#include "app/logview.h"
#include "app/orvexapplication.h"
#include "app/plotoffer.h"
#include "app/sqlmemokeys.h"
#include "common/groupthousands.h"
#include "common/messageseam.h"
#include "common/sharedtexts.h"
#include "db/statusconnection.h"
#include "finder/stationfinder.h"
#include "finder/stationlist.h"
#include "help/orvexdbdocs.h"
#include "map/mapwindow.h"
#include "map/outlines.h"
#include "plot/plotwindow.h"
#include "query/statementbuilder.h"
#include "run/progresstext.h"
#include "run/queryworker.h"
#include "settings/orvexdbcfg.h"
#include "widgets/widgethelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using Widgets::bevel;
using Widgets::button;
using Widgets::check;
using Widgets::edit;
using Widgets::label;
using Widgets::named;
using Widgets::panel;
using Widgets::placed;

namespace {

constexpr int constraintPanelHeight = 333;
constexpr int statusPanelHeight = 58;
constexpr int initialGridColumns = 15;
constexpr int initialGridRows = 20;

} // namespace

TForm1::TForm1(MessageSeam &messages, QWidget *parent)
    : QWidget(parent)
    , messages(messages)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvex Navigator V1.0"));
    Widgets::useDesignFont(*this);

    Panel1 = panel(this, "Panel1");
    Panel1->setFixedHeight(constraintPanelHeight);
    Panel3 = panel(this, "Panel3");
    Panel2 = panel(this, "Panel2");
    Panel2->setFixedHeight(statusPanelHeight);

    // The top and bottom areas keep their heights; the grid's area takes up any change.
    auto *areas = new QVBoxLayout(this);
    areas->setContentsMargins(0, 0, 0, 0);
    areas->setSpacing(0);
    areas->addWidget(Panel1);
    areas->addWidget(Panel3, 1);
    areas->addWidget(Panel2);

    buildConstraintPanel();

    gridModel = new GridModel(initialGridColumns, initialGridRows, this);
    StringGrid1 = named(new GridView(Panel3), "StringGrid1");
    StringGrid1->setModel(gridModel);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setRowHeight(16);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(64);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(8);
    StringGrid1->horizontalHeader()->setFixedHeight(16);
    // Screen readers name the views by these; the log's is the label above it.
    StringGrid1->setAccessibleName(QStringLiteral("Result grid"));
    connect(StringGrid1, &GridView::copyRefused, this,
            [this](const QString &text) { this->messages.information(text); });
    auto *gridArea = new QVBoxLayout(Panel3);
    gridArea->setContentsMargins(0, 0, 0, 0);
    gridArea->addWidget(StringGrid1);

    buildStatusPanel();
    buildFinderHistoryAndKeys();

    status = std::make_unique<StatusConnection>();
    runController = new RunController(*this, std::make_unique<ConnectionRunServer>(*status), this);
    Timer1 = named(runController->progressTimer(), "Timer1");

    connect(SearchButton, &QPushButton::clicked, this, &TForm1::SearchButtonClick);
    connect(GenerateSQLButton, &QPushButton::clicked, this, &TForm1::GenerateSQLButtonClick);
    connect(ExitButton, &QPushButton::clicked, this, &TForm1::ExitButtonClick);
    connect(DatabaseHelp, &QPushButton::clicked, this, &TForm1::DatabaseHelpClick);
    connect(ConfigureConnectionButton, &QPushButton::clicked, this,
            &TForm1::ConfigureConnectionButtonClick);
    connect(SubmitSQL, &QPushButton::clicked, this, &TForm1::SubmitSQLClick);
    connect(CancelButton, &QPushButton::clicked, this, &TForm1::CancelButtonClick);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(SaveCSVButton, &QPushButton::clicked, this, &TForm1::SaveCSVButtonClick);
    connect(ClipboardCSVButton, &QPushButton::clicked, this, &TForm1::ClipboardCSVButtonClick);
    connect(ClipboardSpaceButton, &QPushButton::clicked, this, &TForm1::ClipboardSpaceButtonClick);
    connect(PlotButton, &QPushButton::clicked, this, &TForm1::PlotButtonClick);
    updatePlotButton();
    saveDialogs = std::make_unique<QtSaveDialog>(this);
    // Every pick of a table and every edit of the chooser's text look the columns up.
    connect(OrvexTable, &CompletingComboBox::changedByUser, this, &TForm1::OrvexTableChange);

    resize(1272, 818);
    move(291, 142);
    FormCreate();
}

TForm1::~TForm1()
{
    // A run still going ends on its own, and a reading still out is not waited for; nothing of
    // either may reach a window that is gone.
    delete runController;
    runController = nullptr;
}

void TForm1::buildConstraintPanel()
{
    QWidget *p = Panel1;
    Bevel1 = bevel(p, "Bevel1", {16, 8, 737, 309});
    Label13 = label(p, "Label13", QStringLiteral("Search constraints"), 24, 12);
    Bevel7 = bevel(p, "Bevel7", {20, 28, 721, 33});
    Bevel6 = bevel(p, "Bevel6", {20, 64, 717, 33});
    Bevel5 = bevel(p, "Bevel5", {20, 100, 717, 33});
    Bevel2 = bevel(p, "Bevel2", {20, 136, 717, 33});
    Bevel3 = bevel(p, "Bevel3", {20, 172, 717, 33});
    Bevel4 = bevel(p, "Bevel4", {20, 208, 717, 33});

    DatabaseHelp = button(p, "DatabaseHelp", QStringLiteral("Help"), {28, 32, 75, 25});
    ConfigureConnectionButton =
        button(p, "ConfigureConnectionButton", QStringLiteral("Configure connection..."),
               {112, 32, 133, 25});
    Label4 = label(p, "Label4", QStringLiteral("Choose the database table"), 356, 38);
    OrvexTable = placed(new CompletingComboBox(p), "OrvexTable", {500, 34, 169, 21});
    OrvexTable->addItems(
        {QStringLiteral("surfaceshort"), QStringLiteral("surface"), QStringLiteral("upper")});
    OrvexTable->setCurrentIndex(0);

    Label6 = label(p, "Label6", QStringLiteral("Date (UTC)"), 32, 72);
    DateEqCheck = check(p, "DateEqCheck", QStringLiteral("Equals"), false, {164, 72, 57, 17});
    YrEq = edit(p, "YrEq", QStringLiteral("2012"), {228, 70, 33, 21});
    Label14 = label(p, "Label14", QStringLiteral("-"), 262, 72);
    MoEq = edit(p, "MoEq", QStringLiteral("11"), {268, 70, 21, 21});
    Label15 = label(p, "Label15", QStringLiteral("-"), 291, 72);
    DaEq = edit(p, "DaEq", QStringLiteral("01"), {296, 70, 21, 21});
    HoEq = edit(p, "HoEq", QStringLiteral("12"), {328, 70, 21, 21});
    DateRangeCheck = check(p, "DateRangeCheck", QStringLiteral("Range"), true, {372, 72, 57, 17});
    YrLo = edit(p, "YrLo", QStringLiteral("1995"), {432, 70, 33, 21});
    Label16 = label(p, "Label16", QStringLiteral("-"), 466, 72);
    MoLo = edit(p, "MoLo", QStringLiteral("07"), {472, 70, 21, 21});
    Label17 = label(p, "Label17", QStringLiteral("-"), 495, 72);
    DaLo = edit(p, "DaLo", QStringLiteral("15"), {500, 70, 21, 21});
    HoLo = edit(p, "HoLo", QString(), {532, 70, 21, 21});
    Label19 = label(p, "Label19", QStringLiteral("to"), 564, 74);
    YrHi = edit(p, "YrHi", QStringLiteral("1995"), {584, 70, 33, 21});
    Label21 = label(p, "Label21", QStringLiteral("-"), 618, 72);
    MoHi = edit(p, "MoHi", QStringLiteral("07"), {624, 70, 21, 21});
    Label20 = label(p, "Label20", QStringLiteral("-"), 646, 72);
    DaHi = edit(p, "DaHi", QStringLiteral("16"), {652, 70, 21, 21});
    HoHi = edit(p, "HoHi", QString(), {684, 70, 21, 21});

    Label5 = label(p, "Label5", QStringLiteral("Station"), 32, 108);
    StnEqCheck = check(p, "StnEqCheck", QStringLiteral("Equals"), true, {164, 108, 57, 17});
    StnEq = edit(p, "StnEq", QStringLiteral("KSWF"), {228, 106, 121, 21});
    StnRangeCheck = check(p, "StnRangeCheck", QStringLiteral("Range"), false, {372, 108, 61, 17});
    StnLo = edit(p, "StnLo", QStringLiteral("KLAA"), {432, 106, 120, 21});
    Label2 = label(p, "Label2", QStringLiteral("to"), 564, 110);
    StnHi = edit(p, "StnHi", QStringLiteral("KLZZ"), {584, 106, 120, 21});

    Label9 = label(p, "Label9", QStringLiteral("Latitude"), 32, 146);
    Label22 = label(p, "Label22", QStringLiteral("(northern hemisphere is positive)"), 164, 146);
    LatRangeCheck = check(p, "LatRangeCheck", QStringLiteral("Range"), false, {372, 144, 57, 17});
    LatLo = edit(p, "LatLo", QStringLiteral("34.2"), {432, 142, 120, 21});
    Label8 = label(p, "Label8", QStringLiteral("to"), 564, 144);
    LatHi = edit(p, "LatHi", QStringLiteral("38.5"), {584, 142, 120, 21});

    Label10 = label(p, "Label10", QStringLiteral("Longitude"), 32, 182);
    Label23 = label(p, "Label23", QStringLiteral("(western hemisphere is negative)"), 164, 182);
    LonRangeCheck = check(p, "LonRangeCheck", QStringLiteral("Range"), false, {372, 180, 57, 17});
    LonLo = edit(p, "LonLo", QStringLiteral("-117.0"), {432, 178, 120, 21});
    Label11 = label(p, "Label11", QStringLiteral("to"), 564, 182);
    LonHi = edit(p, "LonHi", QStringLiteral("-114.5"), {584, 178, 120, 21});

    ParamCombo = placed(new CompletingComboBox(p), "ParamCombo", {32, 214, 125, 21});
    ParamCombo->setEditText(QStringLiteral("select a table first"));
    ParamEqCheck = check(p, "ParamEqCheck", QStringLiteral("Equals"), false, {164, 216, 57, 17});
    ParamEq = edit(p, "ParamEq", QStringLiteral("1/1/2012"), {228, 214, 121, 21});
    ParamRangeCheck =
        check(p, "ParamRangeCheck", QStringLiteral("Range"), false, {372, 216, 57, 17});
    ParamLo = edit(p, "ParamLo", QStringLiteral("85"), {432, 214, 120, 21});
    Label12 = label(p, "Label12", QStringLiteral("to"), 564, 218);
    ParamHi = edit(p, "ParamHi", QStringLiteral("93"), {584, 214, 120, 21});
    // Column types, entry for entry beside the parameter chooser's column names; never shown.
    VarTypes = placed(new CompletingComboBox(p), "VarTypes", {248, 292, 145, 21});
    VarTypes->setEditText(QStringLiteral("hidden"));
    VarTypes->setVisible(false);

    GenerateSQLButton =
        button(p, "GenerateSQLButton", QStringLiteral("Generate SQL (don't query database)"),
               {28, 248, 185, 25});
    SubmitSQL = button(p, "SubmitSQL", QStringLiteral("Submit SQL query (advanced users)"),
                       {28, 280, 189, 25});
    OrderByDateTime = check(p, "OrderByDateTime", QStringLiteral("Order by date and time"), true,
                            {244, 248, 169, 17});
    AscendingOrder =
        check(p, "AscendingOrder", QStringLiteral("Ascending"), true, {244, 268, 97, 17});
    SearchButton = button(p, "SearchButton", QStringLiteral("&Search"), {420, 264, 129, 37});
    CancelButton = button(p, "CancelButton", QStringLiteral("&Cancel"), {548, 264, 77, 37});
    CancelButton->setEnabled(false);
    ExitButton = button(p, "ExitButton", QStringLiteral("E&xit"), {624, 264, 81, 37});

    Label24 = label(p, "Label24", QStringLiteral("STATUS"), 764, 12);
    // The log is the program's own record of a run, one line per record however many: it can
    // be selected and copied, not typed.
    Memo1 = placed(new LogView(p), "Memo1", {764, 28, 497, 197});
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setAccessibleName(Label24->text());

    Label1 = label(p, "Label1", QStringLiteral("SQL QUERY"), 768, 228);
    Label1->resize(Label1->width(), 17);
    SQLEdit = placed(new QPlainTextEdit(p), "SQLEdit", {768, 244, 493, 73});
    SQLEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SQLEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SQLEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    SQLEdit->setTabChangesFocus(true);
    // Owned by the memo; it takes the memo's Enter, F5 and history keys.
    new SqlMemoKeys(SQLEdit, history, SubmitSQL);
}

void TForm1::buildStatusPanel()
{
    QWidget *p = Panel2;
    ProgressBar1 = placed(new QProgressBar(p), "ProgressBar1", {28, 12, 609, 16});
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    // The status line starts under the progress bar's left end and is wide enough for the
    // longest progress text, so it never cuts its text.
    StatusMessage = label(p, "StatusMessage", QStringLiteral("Idle"), 28, 36);
    StatusMessage->setGeometry(28, 36, 880, StatusMessage->height());
    ClipboardCSVButton =
        button(p, "ClipboardCSVButton", QStringLiteral("Copy to clipboard (comma-delimited)"),
               {916, 4, 255, 25});
    ClipboardSpaceButton =
        button(p, "ClipboardSpaceButton", QStringLiteral("Copy to clipboard (space-delimited)"),
               {916, 28, 255, 25});
    SaveCSVButton = button(p, "SaveCSVButton", QStringLiteral("Save to CSV..."), {1172, 4, 95, 25});
    // In the free space right of the progress bar, above the status line.
    PlotButton = button(p, "PlotButton", QStringLiteral("Plot..."), {812, 4, 95, 25});
}

void TForm1::buildFinderHistoryAndKeys()
{
    // In the free space of row 1, between the connection button and the table chooser's title.
    FindStationButton =
        button(Panel1, "FindStationButton", QStringLiteral("Find station..."), {252, 32, 97, 25});
    FindStationButton->setToolTip(
        QStringLiteral("Find a station by its name, place or identifier, or the stations near "
                       "one, and search by it"));
    connect(FindStationButton, &QPushButton::clicked, this, &TForm1::FindStationButtonClick);
    // Row 1 has no room beside "Find station..." without moving the constraints' own controls:
    // the map's button stands in the row's free end, right of the table chooser.
    MapButton = button(Panel1, "MapButton", QStringLiteral("Map..."), {676, 32, 57, 25});
    MapButton->setToolTip(
        QStringLiteral("Show the stations on a map and draw the latitude and longitude box on it"));
    connect(MapButton, &QPushButton::clicked, this, &TForm1::MapButtonClick);

    // Right of the SQL memo's title, above the memo.
    SQLHistoryButton = named(new QToolButton(Panel1), "SQLHistoryButton");
    SQLHistoryButton->setText(QStringLiteral("History"));
    SQLHistoryButton->setAccessibleName(QStringLiteral("Statement history"));
    SQLHistoryButton->setToolTip(QStringLiteral(
        "The statements run since the program started; pick one to put it back into the SQL "
        "QUERY box (Ctrl+Up and Ctrl+Down in that box step through them)"));
    SQLHistoryButton->setGeometry(1181, 226, 80, 18);
    SQLHistoryButton->setArrowType(Qt::DownArrow);
    SQLHistoryButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // The list opens as a popup of its own: the window's event loop goes on, none is nested.
    SQLHistoryMenu = new HistoryMenu(history, SQLHistoryButton);
    connect(SQLHistoryButton, &QToolButton::clicked, this, [this] {
        SQLHistoryMenu->popup(SQLHistoryButton->mapToGlobal(SQLHistoryButton->rect().bottomLeft()));
    });
    connect(SQLHistoryMenu, &HistoryMenu::picked, this, &TForm1::HistoryStatementPicked);
    // Tab reaches each where it stands on the window; every other control keeps its place.
    setTabOrder(ConfigureConnectionButton, FindStationButton);
    setTabOrder(OrvexTable, MapButton);
    setTabOrder(Memo1, SQLHistoryButton);

    // Window-wide keys that leave every control's own keys alone: Esc is taken only while a
    // run can be cancelled, and no control of the window uses F1.
    cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelKey->setContext(Qt::WindowShortcut);
    cancelKey->setEnabled(false);
    connect(cancelKey, &QShortcut::activated, CancelButton, &QPushButton::click);
    helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    helpKey->setContext(Qt::WindowShortcut);
    connect(helpKey, &QShortcut::activated, DatabaseHelp, &QPushButton::click);

    SearchButton->setToolTip(
        QStringLiteral("Build the statement from the search constraints and run it (Alt+S)"));
    CancelButton->setToolTip(QStringLiteral("Cancel the running query (Esc or Alt+C)"));
    ExitButton->setToolTip(QStringLiteral("End the program (Alt+X)"));
    SubmitSQL->setToolTip(
        QStringLiteral("Run the statement in the SQL QUERY box as it is (F5 in that box)"));
    SQLEdit->setToolTip(QStringLiteral(
        "The statement that Submit SQL runs: F5 runs it, Ctrl+Enter breaks the line, Ctrl+Up and "
        "Ctrl+Down step through the statements run since start"));
    DatabaseHelp->setToolTip(QStringLiteral("Show the help (F1)"));
}

void TForm1::FormCreate()
{
    // The run's total-row estimate starts at 1 with the run controller.
    connectionSettings = ConnectionSettings();
}

SearchConstraints TForm1::readConstraints() const
{
    SearchConstraints c;
    c.dateEquals = DateEqCheck->isChecked();
    c.yearEq = YrEq->text();
    c.monthEq = MoEq->text();
    c.dayEq = DaEq->text();
    c.hourEq = HoEq->text();

    c.dateRange = DateRangeCheck->isChecked();
    c.yearLo = YrLo->text();
    c.yearHi = YrHi->text();
    c.monthLo = MoLo->text();
    c.monthHi = MoHi->text();
    c.dayLo = DaLo->text();
    c.dayHi = DaHi->text();
    c.hourLo = HoLo->text();
    c.hourHi = HoHi->text();

    c.stationEquals = StnEqCheck->isChecked();
    c.station = StnEq->text();
    c.stationRange = StnRangeCheck->isChecked();
    c.stationLo = StnLo->text();
    c.stationHi = StnHi->text();

    c.latRange = LatRangeCheck->isChecked();
    c.latLo = LatLo->text();
    c.latHi = LatHi->text();
    c.lonRange = LonRangeCheck->isChecked();
    c.lonLo = LonLo->text();
    c.lonHi = LonHi->text();

    c.paramColumn = ParamCombo->currentText();
    c.paramEquals = ParamEqCheck->isChecked();
    c.paramEq = ParamEq->text();
    c.paramRange = ParamRangeCheck->isChecked();
    c.paramLo = ParamLo->text();
    c.paramHi = ParamHi->text();
    // The type belongs to the entry whose name is the one shown, letter for letter; a name
    // typed that is no entry's has none.
    const int selected = ParamCombo->entryShown();
    if (selected >= 0 && selected < VarTypes->count())
        c.paramType = VarTypes->itemText(selected);

    c.table = OrvexTable->currentText();
    c.orderByDateTime = OrderByDateTime->isChecked();
    c.ascending = AscendingOrder->isChecked();
    return c;
}

QString TForm1::GenerateSQL()
{
    return buildStatement(readConstraints(), messages);
}

void TForm1::setSqlMemoLine(const QString &line)
{
    SQLEdit->setPlainText(line);
}

void TForm1::GenerateSQLButtonClick()
{
    SQLEdit->clear();
    setSqlMemoLine(GenerateSQL());
}

bool TForm1::refuseStartDuringRun()
{
    switch (runController->state()) {
    case RunController::State::Idle:
        return false;
    case RunController::State::Cancelling:
        return true;
    case RunController::State::Starting:
    case RunController::State::Running:
        break;
    }
    messages.information(QStringLiteral("A query is already running."));
    return true;
}

void TForm1::SearchButtonClick()
{
    // A refused start changes nothing: not the log, not the SQL memo.
    if (refuseStartDuringRun())
        return;
    Memo1->clear();
    SQLEdit->clear();
    setSqlMemoLine(GenerateSQL());
    StartRun();
}

void TForm1::SubmitSQLClick()
{
    StartRun();
}

void TForm1::ConfigureConnectionButtonClick()
{
    if (settingsWindow)
        settingsWindow->run(connectionSettings);
}

void TForm1::OrvexTableChange()
{
    LoadTableColumns();
}

void TForm1::LoadTableColumns()
{
    // Removing the entries keeps the text the chooser shows; of the new entries, the one of
    // exactly that name is then the one selected.
    const QString shown = ParamCombo->currentText();
    ParamCombo->clear();
    ParamCombo->showText(shown);
    VarTypes->clear();
    try {
        const StatusConnection::Columns columns =
            status->describe(connectionSettings, OrvexTable->currentText());
        ParamCombo->addItems(columns.names);
        VarTypes->addItems(columns.types);
        ParamCombo->showText(shown);
    } catch (const std::exception &) {
        ParamCombo->showText(shown);
        Timer1->stop();
        messages.information(QString::fromLatin1(SharedTexts::notRunning));
    }
}

QString TForm1::sqlMemoText() const
{
    return SqlMemoKeys::memoText(*SQLEdit);
}

void TForm1::StartRun()
{
    if (refuseStartDuringRun())
        return;
    const QString memoText = sqlMemoText();
    if (memoText.section(QLatin1Char('\n'), 0, 0).isEmpty()) {
        messages.information(QStringLiteral("No query was entered."));
        return;
    }
    QueryJob job {statementFromMemoText(memoText).toUtf8(), connectionSettings};
    historyRun = history.started(memoText, QDateTime::currentDateTime());

    // Each status is painted before the next step, without handling other events meanwhile.
    StatusMessage->setText(QStringLiteral("Clearing grid..."));
    StatusMessage->repaint();
    gridModel->startRun();
    StringGrid1->clearSelection();
    StatusMessage->setText(QStringLiteral("Running query..."));
    StatusMessage->repaint();
    runController->start(std::move(job));
}

void TForm1::runStarted()
{
    if (map)
        map->showRunning();
    SearchButton->setEnabled(false);
    CancelButton->setEnabled(true);
    cancelKey->setEnabled(true);
    resultFinished = false;
    resultCut = false;
    updatePlotButton();
}

void TForm1::runColumns(std::vector<std::string> names)
{
    gridModel->setResultColumns(std::move(names));
}

void TForm1::runBatch(std::shared_ptr<const RecordBatch> batch)
{
    gridModel->appendRecords(batch);
    Memo1->appendEchoLines(std::move(batch));
}

void TForm1::runLogLine(const QString &line)
{
    Memo1->appendLine(line);
}

void TForm1::runMessage(const QString &text)
{
    messages.information(text);
}

void TForm1::runError(const QString &text)
{
    resultFinished = false;
    updatePlotButton();
    messages.error(OrvexApplication::applicationTitle(QCoreApplication::applicationFilePath()),
                   OrvexApplication::errorText(text));
}

void TForm1::runProgress(const ProgressTick &tick)
{
    StatusMessage->setText(tick.status);
    ProgressBar1->setValue(tick.bar);
}

void TForm1::runFinished()
{
    history.finished(historyRun, gridModel->store().recordCount());
    RunFinished();
}

// A failed or cancelled run leaves the grid without the whole result: it is not offered for a
// plot.
void TForm1::runFailed()
{
    history.failed(historyRun);
    resultCut = true;
}

void TForm1::runCancelled()
{
    history.cancelled(historyRun);
    resultCut = true;
}

void TForm1::RunFinished()
{
    Timer1->stop();
    StatusMessage->setText(QStringLiteral("Done!"));
    ProgressBar1->setValue(0);
    SearchButton->setEnabled(true);
    CancelButton->setEnabled(false);
    cancelKey->setEnabled(false);
    resultFinished = !resultCut;
    resultFinishedAt = QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss"));
    updatePlotButton();
    // A cancelled or failed run's records are marked too: they are what the grid shows.
    if (map)
        map->showResult(gridModel->store());
}

void TForm1::ExitButtonClick()
{
    close();
}

void TForm1::DatabaseHelpClick()
{
    if (helpWindow)
        helpWindow->showHelp();
}

void TForm1::Timer1Timer()
{
    // The reading is made away from the window and shown when it is back; a tick that comes
    // while the last reading is still out is skipped.
    runController->readProgress();
}

void TForm1::CancelButtonClick()
{
    CancelRun();
}

void TForm1::CancelRun()
{
    runController->cancel();
}

void TForm1::SaveCSVButtonClick()
{
    SaveGridAsCSV(gridModel->store(), *saveDialogs);
}

void TForm1::ClipboardCSVButtonClick()
{
    copyGrid(ClipboardMode::CommaDelimited);
}

void TForm1::ClipboardSpaceButtonClick()
{
    copyGrid(ClipboardMode::SpaceAligned);
}

void TForm1::copyGrid(ClipboardMode mode)
{
    const QString refusal = CopyGridToClipboard(gridModel->store(), mode);
    if (!refusal.isEmpty())
        messages.information(refusal);
}

void TForm1::FindStationButtonClick()
{
    if (!finder) {
        StationFinder::Host host {[this] { return connectionSettings; },
                                  [this] {
                                      return OrvexTable->currentText();
                                  }};
        finder = new StationFinder(StationList::builtIn(), messages, std::move(host), this);
        connect(finder, &StationFinder::stationChosen, this, &TForm1::FinderStationChosen);
        connect(finder, &StationFinder::boxChosen, this, &TForm1::FinderBoxChosen);
        // First shown over the result area, below the constraints it fills in, so they stay in
        // sight.
        finder->move(mapToGlobal(QPoint(Panel3->x() + 200, Panel3->y() + 24)));
    }
    finder->show();
    finder->raise();
    finder->activateWindow();
}

void TForm1::MapButtonClick()
{
    if (!map) {
        map = new MapWindow(StationList::builtIn(), Outlines::builtIn(), messages, this);
        connect(map, &MapWindow::stationChosen, this, &TForm1::FinderStationChosen);
        connect(map, &MapWindow::boxChosen, this, &TForm1::FinderBoxChosen);
        // The box follows the Range boxes key by key.
        for (QLineEdit *edit : {LatLo, LatHi, LonLo, LonHi})
            connect(edit, &QLineEdit::textChanged, this, &TForm1::updateMapRanges);
        for (QCheckBox *box : {LatRangeCheck, LonRangeCheck})
            connect(box, &QCheckBox::toggled, this, &TForm1::updateMapRanges);
        updateMapRanges();
        if (runInProgress())
            map->showRunning();
        else
            map->showResult(gridModel->store());
        // First shown over the result area, below the constraints it fills in.
        map->move(mapToGlobal(QPoint(Panel3->x() + 120, Panel3->y() + 8)));
    }
    map->show();
    map->raise();
    map->activateWindow();
}

void TForm1::updateMapRanges()
{
    if (!map)
        return;
    RangeTexts ranges;
    ranges.latOn = LatRangeCheck->isChecked();
    ranges.latLo = LatLo->text();
    ranges.latHi = LatHi->text();
    ranges.lonOn = LonRangeCheck->isChecked();
    ranges.lonLo = LonLo->text();
    ranges.lonHi = LonHi->text();
    map->setRanges(ranges);
}

// A station or a box from the finder or the map takes the place of the station and position
// constraints set before, so the statement selects by what was chosen alone.
void TForm1::FinderStationChosen(const QString &icao)
{
    StnEq->setText(icao);
    StnEqCheck->setChecked(true);
    StnRangeCheck->setChecked(false);
    LatRangeCheck->setChecked(false);
    LonRangeCheck->setChecked(false);
}

void TForm1::FinderBoxChosen(const QString &latLo, const QString &latHi, const QString &lonLo,
                             const QString &lonHi)
{
    LatLo->setText(latLo);
    LatHi->setText(latHi);
    LonLo->setText(lonLo);
    LonHi->setText(lonHi);
    LatRangeCheck->setChecked(true);
    LonRangeCheck->setChecked(true);
    StnEqCheck->setChecked(false);
    StnRangeCheck->setChecked(false);
}

void TForm1::HistoryStatementPicked(const QString &statement)
{
    SQLEdit->setPlainText(statement);
    SQLEdit->moveCursor(QTextCursor::End);
    SQLEdit->setFocus();
}

void TForm1::updatePlotButton()
{
    const QString why = whyNoPlot(runInProgress(), resultFinished, gridModel->store());
    PlotButton->setEnabled(why.isEmpty());
    PlotButton->setToolTip(
        why.isEmpty() ? QStringLiteral("Plot a column of the result against time, per station.")
                      : why);
}

void TForm1::PlotButtonClick()
{
    const ResultStore &store = gridModel->store();
    const QString label =
        QStringLiteral("the result finished at %1 (%2 records)")
            .arg(resultFinishedAt, GroupThousands(QString::number(store.recordCount())));
    auto *window = new PlotWindow(store, label, ParamCombo->currentText(), this);
    window->show();
}
