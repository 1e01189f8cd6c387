#pragma once

#include "app/completingcombobox.h"
#include "common/connectionsettings.h"
#include "export/gridtext.h"
#include "run/runcontroller.h"
#include "run/statementhistory.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GridModel;
class GridView;
class HistoryMenu;
class LogView;
class MapWindow;
class SaveDialogSeam;
class MessageSeam;
class StatusConnection;
class TOrvexSettingsForm;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTimer;
class QToolButton;
class StationFinder;
class TOrvexNavigatorDocForm;
struct SearchConstraints;

// The main window: search constraints, action buttons, the log and SQL memos, the result
// grid and the status panel. Handlers read the controls and hand the work to plain code.
class TForm1 : public QWidget, private RunDisplay
{
    Q_OBJECT

public:
    // The seam shows every message box; it must outlive the window.
    explicit TForm1(MessageSeam &messages, QWidget *parent = nullptr);
    ~TForm1() override;

    // The help window that the Help button shows; start-up creates it after the main window.
    void setHelpWindow(TOrvexNavigatorDocForm *window) { helpWindow = window; }
    // The connection settings dialog that "Configure connection..." shows.
    void setSettingsWindow(TOrvexSettingsForm *window) { settingsWindow = window; }

    // Reads the constraint controls into the form the statement builder takes.
    SearchConstraints readConstraints() const;
    // Builds the statement from the controls; empty when declined or without constraints.
    QString GenerateSQL();

    // Replaces the SQL memo's text with the one line given (an empty text gives one empty line).
    void setSqlMemoLine(const QString &line);

    // Fills the parameter chooser and the hidden type list with the chosen table's columns.
    void LoadTableColumns();

    // Starts a run of the SQL memo's statement and returns at once; the run controller takes it
    // from there.
    void StartRun();
    // Puts the window back into its idle state after a run.
    void RunFinished();
    // Cancels the current run as far as its state allows (see RunController).
    void CancelRun();
    // True from the start of a run until it has finished or been cancelled.
    bool runInProgress() const { return !runController->idle(); }

    // Areas
    QFrame *Panel1 = nullptr;
    QFrame *Panel3 = nullptr;
    QFrame *Panel2 = nullptr;

    // Constraint panel frames and titles
    QFrame *Bevel1 = nullptr;
    QFrame *Bevel7 = nullptr;
    QFrame *Bevel6 = nullptr;
    QFrame *Bevel5 = nullptr;
    QFrame *Bevel2 = nullptr;
    QFrame *Bevel3 = nullptr;
    QFrame *Bevel4 = nullptr;
    QLabel *Label13 = nullptr;

    // Row 1
    QPushButton *DatabaseHelp = nullptr;
    QPushButton *ConfigureConnectionButton = nullptr;
    QLabel *Label4 = nullptr;
    CompletingComboBox *OrvexTable = nullptr;

    // Row 2, date
    QLabel *Label6 = nullptr;
    QCheckBox *DateEqCheck = nullptr;
    QLineEdit *YrEq = nullptr;
    QLabel *Label14 = nullptr;
    QLineEdit *MoEq = nullptr;
    QLabel *Label15 = nullptr;
    QLineEdit *DaEq = nullptr;
    QLineEdit *HoEq = nullptr;
    QCheckBox *DateRangeCheck = nullptr;
    QLineEdit *YrLo = nullptr;
    QLabel *Label16 = nullptr;
    QLineEdit *MoLo = nullptr;
    QLabel *Label17 = nullptr;
    QLineEdit *DaLo = nullptr;
    QLineEdit *HoLo = nullptr;
    QLabel *Label19 = nullptr;
    QLineEdit *YrHi = nullptr;
    QLabel *Label21 = nullptr;
    QLineEdit *MoHi = nullptr;
    QLabel *Label20 = nullptr;
    QLineEdit *DaHi = nullptr;
    QLineEdit *HoHi = nullptr;

    // Row 3, station
    QLabel *Label5 = nullptr;
    QCheckBox *StnEqCheck = nullptr;
    QLineEdit *StnEq = nullptr;
    QCheckBox *StnRangeCheck = nullptr;
    QLineEdit *StnLo = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *StnHi = nullptr;

    // Row 4, latitude
    QLabel *Label9 = nullptr;
    QLabel *Label22 = nullptr;
    QCheckBox *LatRangeCheck = nullptr;
    QLineEdit *LatLo = nullptr;
    QLabel *Label8 = nullptr;
    QLineEdit *LatHi = nullptr;

    // Row 5, longitude
    QLabel *Label10 = nullptr;
    QLabel *Label23 = nullptr;
    QCheckBox *LonRangeCheck = nullptr;
    QLineEdit *LonLo = nullptr;
    QLabel *Label11 = nullptr;
    QLineEdit *LonHi = nullptr;

    // Row 6, weather parameter
    CompletingComboBox *ParamCombo = nullptr;
    QCheckBox *ParamEqCheck = nullptr;
    QLineEdit *ParamEq = nullptr;
    QCheckBox *ParamRangeCheck = nullptr;
    QLineEdit *ParamLo = nullptr;
    QLabel *Label12 = nullptr;
    QLineEdit *ParamHi = nullptr;
    QComboBox *VarTypes = nullptr;

    // The station finder, opened from row 1; made when first asked for.
    QPushButton *FindStationButton = nullptr;
    StationFinder *finder = nullptr;
    // The map, opened from row 1; made when first asked for.
    QPushButton *MapButton = nullptr;
    MapWindow *map = nullptr;

    // Action area
    QPushButton *GenerateSQLButton = nullptr;
    QPushButton *SubmitSQL = nullptr;
    QCheckBox *OrderByDateTime = nullptr;
    QCheckBox *AscendingOrder = nullptr;
    QPushButton *SearchButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *ExitButton = nullptr;

    // Log and SQL memos
    QLabel *Label24 = nullptr;
    LogView *Memo1 = nullptr;
    QLabel *Label1 = nullptr;
    QPlainTextEdit *SQLEdit = nullptr;
    // The statements run since the program started, and the drop-down list that brings one
    // back into the SQL memo.
    QToolButton *SQLHistoryButton = nullptr;
    HistoryMenu *SQLHistoryMenu = nullptr;
    StatementHistory history;

    // Result area
    GridView *StringGrid1 = nullptr;
    GridModel *gridModel = nullptr;

    // Status panel
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *StatusMessage = nullptr;
    QPushButton *ClipboardCSVButton = nullptr;
    QPushButton *ClipboardSpaceButton = nullptr;
    QPushButton *SaveCSVButton = nullptr;
    // Opens a plot of the finished result; enabled only when the result can be plotted.
    QPushButton *PlotButton = nullptr;

    QTimer *Timer1 = nullptr;

    // The values the connections are made with; the settings dialog edits them.
    ConnectionSettings connectionSettings;

    // The status connection serves the column lookup and the cancel's process list and kill, on
    // the main thread only, opened and closed around each use.
    std::unique_ptr<StatusConnection> status;

    // Asks where "Save to CSV..." writes; tests put their own in place of the real dialog.
    std::unique_ptr<SaveDialogSeam> saveDialogs;

    // Runs the statements: the run's state from start to end, its readings, worker and cancel.
    RunController *runController = nullptr;

public slots:
    void FormCreate();
    void SearchButtonClick();
    void GenerateSQLButtonClick();
    void ExitButtonClick();
    void DatabaseHelpClick();
    void ConfigureConnectionButtonClick();
    void OrvexTableChange();
    void SubmitSQLClick();
    void CancelButtonClick();
    void Timer1Timer();
    void SaveCSVButtonClick();
    void ClipboardCSVButtonClick();
    void ClipboardSpaceButtonClick();
    void FindStationButtonClick();
    void MapButtonClick();
    // "Use this station" and "Use a box around it" of the finder, and their likes on the map.
    void FinderStationChosen(const QString &icao);
    void FinderBoxChosen(const QString &latLo, const QString &latHi, const QString &lonLo,
                         const QString &lonHi);
    // Puts a statement of the history into the SQL memo without running it.
    void HistoryStatementPicked(const QString &statement);
    void PlotButtonClick();

private:
    // Copies the grid in the mode, or tells why its text is too large for the clipboard.
    void copyGrid(ClipboardMode mode);

    void buildConstraintPanel();
    void buildStatusPanel();
    // The station finder's button, the history list and the keys of the window and the SQL memo.
    void buildFinderHistoryAndKeys();
    // A start asked for while a run is in progress: refused with a message while it starts or
    // runs; while it is being cancelled, nothing at all happens. True when refused.
    bool refuseStartDuringRun();
    // The SQL memo's text as typed: lines split at its line breaks, every character kept.
    QString sqlMemoText() const;
    // Shows the latitude and longitude Range boxes, as they stand, on the map.
    void updateMapRanges();
    // Enables "Plot..." for a finished result that has a time and numbers; else says why not.
    void updatePlotButton();

    // What a run shows (RunDisplay).
    void runStarted() override;
    void runColumns(std::vector<std::string> names) override;
    void runBatch(std::shared_ptr<const RecordBatch> batch) override;
    void runLogLine(const QString &line) override;
    void runMessage(const QString &text) override;
    void runError(const QString &text) override;
    void runProgress(const ProgressTick &tick) override;
    void runFinished() override;
    void runFailed() override;
    void runCancelled() override;

    MessageSeam &messages;
    // The grid holds a result that ran to its end; the run being shown failed or was cancelled.
    bool resultFinished = false;
    bool resultCut = false;
    QString resultFinishedAt;
    TOrvexNavigatorDocForm *helpWindow = nullptr;
    TOrvexSettingsForm *settingsWindow = nullptr;
    // Esc cancels while a run is in progress, and only then; F1 shows the help.
    QShortcut *cancelKey = nullptr;
    QShortcut *helpKey = nullptr;
    // The history's id of the current or last run.
    std::uint64_t historyRun = 0;
};
