#pragma once

#include "common/backgroundthread.h"
#include "common/connectionsettings.h"
#include "finder/stationcheck.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class MessageSeam;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class StationList;
class StationRowsModel;
struct StationCheckResult;

// The station finder: a window beside the main window, never modal. The user searches the
// station list by name, place or identifier, or lists the stations nearest to one, and hands a
// station, or a box around it, to the search constraints. "Check the database" tells how many
// rows the chosen table holds for the station, read away from the window; closing the finder
// stops that check and kills its statement on the server.
class StationFinder : public QWidget
{
    Q_OBJECT

public:
    // What the finder reads from the main window when it checks the database.
    struct Host
    {
        std::function<ConnectionSettings()> settings;
        std::function<QString()> table;
    };

    // The seam shows the finder's messages; it must outlive the finder.
    StationFinder(const StationList &stations, MessageSeam &messages, Host host,
                  QWidget *parent = nullptr);
    ~StationFinder() override;

    // The station whose row is selected, -1 when none is.
    int selectedStation() const;
    // True while a check of the database is out.
    bool checking() const { return checkTicket != nullptr; }

    QLineEdit *SearchEdit = nullptr;
    QLabel *ListLabel = nullptr;
    QTableView *StationTable = nullptr;
    QPushButton *NearestButton = nullptr;
    QPushButton *UseStationButton = nullptr;
    QPushButton *UseBoxButton = nullptr;
    QSpinBox *RadiusBox = nullptr;
    QPushButton *CheckButton = nullptr;
    QLabel *CheckResult = nullptr;
    QPushButton *CloseButton = nullptr;

    // How many stations "Nearest stations" lists besides the selected one.
    static constexpr int nearestCount = 50;

signals:
    // "Use this station": the station's ICAO id.
    void stationChosen(const QString &icao);
    // "Use a box around it": the latitude and longitude ranges, as the Range boxes take them.
    void boxChosen(const QString &latLo, const QString &latHi, const QString &lonLo,
                   const QString &lonHi);

public slots:
    void SearchEditChange();
    void NearestButtonClick();
    void UseStationButtonClick();
    void UseBoxButtonClick();
    void CheckButtonClick();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showRows(std::vector<int> rows, std::vector<double> distances);
    void selectionChanged();
    void startCheck(int station);
    void checkDone(quint64 id, const QString &icao, const QString &table,
                   const StationCheckResult &result);
    // Stops the check that is out, and kills its statement on the server, away from the window.
    void stopCheck();

    const StationList &stations;
    MessageSeam &messages;
    Host host;
    StationRowsModel *rows = nullptr;
    JobRunner jobs;
    std::shared_ptr<StationCheckTicket> checkTicket;
    ConnectionSettings checkSettings;
    quint64 checkId = 0;
};
