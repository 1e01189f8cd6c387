#pragma once

#include "completingcombobox.h"
#include "connectionsettings.h"
#include "runchannel.h"
#include "sqlconnection.h"
#include "sqlquery.h"

#include <QWidget>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

class CounterReader;
class GridModel;
class GridView;
class LogView;
class SaveDialogSeam;
class MessageSeam;
class TOrvexSettingsForm;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TOrvexNavigatorDocForm;
struct CounterReading;
struct SearchConstraints;

// The main window: search constraints, action buttons, the log and SQL memos, the result
// grid and the status panel. Handlers read the controls and hand the work to plain code.
class TForm1 : public QWidget
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
    // The server's global row-read counter: as reported (raw), or since the run's baseline.
    // Read away from the window (see readListingAway); 0 when the reading failed.
    std::int64_t ReadRowReadCounter(bool raw);
    // The server's row count of the last table listed whose name contains the given name; read
    // the same way, 0 when there is none or the reading failed.
    std::int64_t ReadTableRowCount(const QString &tableName);

    // Starts a run of the SQL memo's statement on a worker and returns at once.
    void StartRun();
    // Puts the window back into its idle state after a run.
    void RunFinished();
    // Stops the current run: its worker is detached and its query killed on the server.
    void CancelRun();
    // True from the start of a run until it has finished or been cancelled.
    bool runInProgress() const { return channel != nullptr; }

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

    // Result area
    GridView *StringGrid1 = nullptr;
    GridModel *gridModel = nullptr;

    // Status panel
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *StatusMessage = nullptr;
    QPushButton *ClipboardCSVButton = nullptr;
    QPushButton *ClipboardSpaceButton = nullptr;
    QPushButton *SaveCSVButton = nullptr;

    QTimer *Timer1 = nullptr;

    // The values the connections are made with; the settings dialog edits them.
    ConnectionSettings connectionSettings;

    // The status connection and its statement serve the column lookup and cancelling; they are
    // used on the main thread only, opened and closed around each use. The server counters are
    // read on connections of their own, away from the window.
    SqlConnection SQLConnectionStatus;
    SqlQuery SQLQueryStatus {&SQLConnectionStatus};

    // The current run: its start as a day count with the time of day as fraction, the
    // read-counter baseline and the total-row estimate (1 until the first run).
    double runStartTime = 0;
    std::int64_t readCounterBaseline = 0;
    std::int64_t totalRowEstimate = 0;
    // Asks where "Save to CSV..." writes; tests put their own in place of the real dialog.
    std::unique_ptr<SaveDialogSeam> saveDialogs;

    // The server's id of the current run's worker connection, 0 until the worker has connected.
    std::uint64_t workerServerId = 0;

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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildConstraintPanel();
    void buildStatusPanel();
    // Binds the status statement to the status connection, applies the recipe and opens it.
    // Returns whether it is connected; throws on errors.
    bool openStatusConnection();
    // The failure of a status reading: the timer stops and the user is told.
    void statusConnectionFailed();
    // Reads column valueColumn of the last row of the listing whose column 0 contains key, on
    // a connection of its own and away from the window, which goes on handling its events
    // meanwhile: a busy or distant server can take a while to answer. Nothing when the reading
    // failed (the timer is stopped and the user told) or the program is ending.
    std::optional<std::int64_t> readListingAway(std::string statement, std::string key,
                                                int valueColumn);
    // Shows a progress tick's counter reading, if it belongs to the run still going.
    void showProgress(const CounterReading &reading);
    // Applies the worker's queued output for at most a few milliseconds, then yields to the
    // event loop and goes on later, so timers and repaints keep running during a large result.
    void applyRunOutput();
    void applyOne(RunOutput &output);
    // Ends the current run's hand-over: its worker stops at its next check and nothing it
    // still sends reaches the window.
    void detachRun();

    MessageSeam &messages;
    TOrvexNavigatorDocForm *helpWindow = nullptr;
    TOrvexSettingsForm *settingsWindow = nullptr;

    std::shared_ptr<RunChannel> channel;
    std::unique_ptr<CounterReader> counterReader;
    std::deque<RunOutput> pendingOutput;
    quint64 lastRunId = 0;
    bool applyingOutput = false;
    bool applyScheduled = false;
    // Set when the program was told to end while a status reading was out.
    bool programEnding = false;
};
