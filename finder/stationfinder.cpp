#include "finder/stationfinder.h"

#include "common/groupthousands.h"
#include "common/messageseam.h"
#include "common/sharedtexts.h"
#include "finder/geography.h"
#include "finder/stationlist.h"
#include "finder/stationsearch.h"
#include "widgets/widgethelpers.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include <exception>

// The rows the finder lists: stations, and in the nearest list their distances.
class StationRowsModel : public QAbstractTableModel
{
public:
    enum Column { Icao, Faa, Name, Place, Latitude, Longitude, Distance };

    explicit StationRowsModel(const StationList &stations, QObject *parent)
        : QAbstractTableModel(parent)
        , stations(stations)
    { }

    void setRows(std::vector<int> newRows, std::vector<double> newDistances)
    {
        beginResetModel();
        rows = std::move(newRows);
        distances = std::move(newDistances);
        endResetModel();
    }
    int station(int row) const { return rows.at(size_t(row)); }
    bool hasDistances() const { return !distances.empty(); }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : (hasDistances() ? Distance + 1 : Distance);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole))
            return {};
        const bool number = index.column() >= Latitude;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(number ? Qt::AlignRight | Qt::AlignVCenter
                                              : Qt::AlignLeft | Qt::AlignVCenter);
        const Station &s = stations.at(station(index.row()));
        switch (Column(index.column())) {
        case Icao:
            return s.icao;
        case Faa:
            return s.faa;
        case Name:
            return s.name;
        case Place:
            return s.place;
        case Latitude:
            return QString::number(s.lat, 'f', 4);
        case Longitude:
            return QString::number(s.lon, 'f', 4);
        case Distance:
            return QString::number(distances.at(size_t(index.row())), 'f', 1);
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        static const char *const titles[] = {"ICAO",     "FAA",       "Name",         "Place",
                                             "Latitude", "Longitude", "Distance (km)"};
        return section >= 0 && section <= Distance ? QString::fromLatin1(titles[section])
                                                   : QVariant();
    }

private:
    const StationList &stations;
    std::vector<int> rows;
    std::vector<double> distances;
};

using Widgets::named;

namespace {

// The finder's buttons are also named for screen readers, by their captions.
QPushButton *button(QWidget *parent, const char *name, const QString &text, const QString &tip)
{
    QPushButton *b = Widgets::button(parent, name, text, tip);
    b->setAccessibleName(text);
    return b;
}

} // namespace

StationFinder::StationFinder(const StationList &stations, MessageSeam &messages, Host host,
                             QWidget *parent)
    : QWidget(parent, Qt::Window)
    , stations(stations)
    , messages(messages)
    , host(std::move(host))
    , jobs(this)
{
    setObjectName(QStringLiteral("StationFinder"));
    setWindowTitle(QStringLiteral("Find station"));
    setAccessibleName(QStringLiteral("Find station"));

    auto *searchLabel = new QLabel(QStringLiteral("&Search:"), this);
    SearchEdit = named(new QLineEdit(this), "SearchEdit", QStringLiteral("Search stations"));
    SearchEdit->setPlaceholderText(QStringLiteral("name, place, ICAO or FAA identifier"));
    SearchEdit->setClearButtonEnabled(true);
    searchLabel->setBuddy(SearchEdit);
    ListLabel = named(new QLabel(this), "ListLabel", QStringLiteral("What the list shows"));

    rows = new StationRowsModel(stations, this);
    StationTable = named(new QTableView(this), "StationTable", QStringLiteral("Stations"));
    StationTable->setModel(rows);
    StationTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    StationTable->setSelectionMode(QAbstractItemView::SingleSelection);
    StationTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StationTable->verticalHeader()->hide();
    StationTable->verticalHeader()->setDefaultSectionSize(18);
    StationTable->horizontalHeader()->setStretchLastSection(true);
    StationTable->setWordWrap(false);

    NearestButton = button(this, "NearestButton", QStringLiteral("Nearest stations"),
                           QStringLiteral("List the stations nearest to the selected one, with "
                                          "their great-circle distances"));
    UseStationButton = button(this, "UseStationButton", QStringLiteral("Use this station"),
                              QStringLiteral("Search by this station's ICAO identifier"));
    UseBoxButton = button(this, "UseBoxButton", QStringLiteral("Use a box around it"),
                          QStringLiteral("Search the latitude and longitude ranges of a box "
                                         "of the radius given around this station"));
    auto *radiusLabel = new QLabel(QStringLiteral("&Radius:"), this);
    RadiusBox = named(new QSpinBox(this), "RadiusBox", QStringLiteral("Box radius in km"));
    RadiusBox->setRange(1, 20000);
    RadiusBox->setValue(50);
    RadiusBox->setSuffix(QStringLiteral(" km"));
    radiusLabel->setBuddy(RadiusBox);
    CheckButton = button(this, "CheckButton", QStringLiteral("Check the database"),
                         QStringLiteral("Count the chosen table's rows for this station, with "
                                        "their first and last hour"));
    CheckResult = named(new QLabel(this), "CheckResult", QStringLiteral("Database check"));
    CheckResult->setWordWrap(true);
    CheckResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    CloseButton =
        button(this, "CloseButton", QStringLiteral("Close"), QStringLiteral("Close the finder"));

    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(searchLabel);
    searchRow->addWidget(SearchEdit, 1);
    auto *useRow = new QHBoxLayout;
    useRow->addWidget(NearestButton);
    useRow->addWidget(UseStationButton);
    useRow->addWidget(UseBoxButton);
    useRow->addWidget(radiusLabel);
    useRow->addWidget(RadiusBox);
    useRow->addStretch(1);
    auto *checkRow = new QHBoxLayout;
    checkRow->addWidget(CheckButton);
    checkRow->addWidget(CheckResult, 1);
    checkRow->addWidget(CloseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(searchRow);
    layout->addWidget(ListLabel);
    layout->addWidget(StationTable, 1);
    layout->addLayout(useRow);
    layout->addLayout(checkRow);

    connect(SearchEdit, &QLineEdit::textChanged, this, &StationFinder::SearchEditChange);
    connect(StationTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &StationFinder::selectionChanged);
    connect(StationTable, &QTableView::activated, this, &StationFinder::UseStationButtonClick);
    connect(NearestButton, &QPushButton::clicked, this, &StationFinder::NearestButtonClick);
    connect(UseStationButton, &QPushButton::clicked, this, &StationFinder::UseStationButtonClick);
    connect(UseBoxButton, &QPushButton::clicked, this, &StationFinder::UseBoxButtonClick);
    connect(CheckButton, &QPushButton::clicked, this, &StationFinder::CheckButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);

    SearchEditChange();
    const int widths[] = {48, 40, 230, 210, 70, 80};
    for (int column = 0; column < int(std::size(widths)); ++column)
        StationTable->setColumnWidth(column, widths[column]);
    resize(780, 400);
}

StationFinder::~StationFinder()
{
    stopCheck();
    jobs.close();
}

int StationFinder::selectedStation() const
{
    const QModelIndexList selected = StationTable->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : rows->station(selected.first().row());
}

void StationFinder::showRows(std::vector<int> stationRows, std::vector<double> distances)
{
    rows->setRows(std::move(stationRows), std::move(distances));
    // The best match, or the station the nearest list is about, is selected, so it can be used
    // at once.
    if (rows->rowCount() > 0)
        StationTable->selectRow(0);
    StationTable->scrollToTop();
    selectionChanged();
}

void StationFinder::SearchEditChange()
{
    std::vector<int> found = searchStations(stations, SearchEdit->text());
    const qsizetype count = qsizetype(found.size());
    const QString number = GroupThousands(QString::number(count));
    if (SearchEdit->text().trimmed().isEmpty())
        ListLabel->setText(QStringLiteral("All ") + number + QStringLiteral(" stations"));
    else if (count == 0)
        ListLabel->setText(QStringLiteral("No station matches"));
    else
        ListLabel->setText(number
                           + (count == 1 ? QStringLiteral(" station matches, best first")
                                         : QStringLiteral(" stations match, best first")));
    showRows(std::move(found), {});
}

void StationFinder::NearestButtonClick()
{
    const int centre = selectedStation();
    if (centre < 0)
        return;
    std::vector<int> stationRows {centre};
    std::vector<double> distances {0.0};
    for (const Neighbour &n : nearestStations(stations, centre, nearestCount)) {
        stationRows.push_back(n.station);
        distances.push_back(n.km);
    }
    const Station &s = stations.at(centre);
    ListLabel->setText(QStringLiteral("The %1 stations nearest to %2 (%3), by great-circle "
                                      "distance")
                           .arg(int(stationRows.size()) - 1)
                           .arg(s.icao, s.name));
    showRows(std::move(stationRows), std::move(distances));
}

void StationFinder::UseStationButtonClick()
{
    const int station = selectedStation();
    if (station >= 0)
        emit stationChosen(stations.at(station).icao);
}

void StationFinder::UseBoxButtonClick()
{
    const int station = selectedStation();
    if (station < 0)
        return;
    const Station &s = stations.at(station);
    const double radius = RadiusBox->value();
    const LatLonBox box = boxAround(s.lat, s.lon, radius);
    if (box.problem != LatLonBox::Problem::None) {
        messages.information(boxProblemText(box.problem, s.icao, radius));
        return;
    }
    emit boxChosen(boxEdgeText(box.latLo, true), boxEdgeText(box.latHi, false),
                   boxEdgeText(box.lonLo, true), boxEdgeText(box.lonHi, false));
}

void StationFinder::selectionChanged()
{
    const bool any = selectedStation() >= 0;
    NearestButton->setEnabled(any);
    UseStationButton->setEnabled(any);
    UseBoxButton->setEnabled(any);
    CheckButton->setEnabled(any || checking());
}

void StationFinder::CheckButtonClick()
{
    if (checking()) {
        stopCheck();
        CheckResult->setText(QStringLiteral("The check was stopped."));
        return;
    }
    const int station = selectedStation();
    if (station >= 0)
        startCheck(station);
}

void StationFinder::startCheck(int station)
{
    const QString icao = stations.at(station).icao;
    const QString table = host.table();
    checkSettings = host.settings();
    auto ticket = std::make_shared<StationCheckTicket>();
    const quint64 id = ++checkId;
    try {
        jobs.run<StationCheckResult>(
            [settings = checkSettings, table, icao, ticket] {
                return runStationCheck(settings, table, icao, *ticket);
            },
            [this, id, icao, table](StationCheckResult result) {
                checkDone(id, icao, table, result);
            });
    } catch (const std::exception &) {
        messages.information(QString::fromLatin1(SharedTexts::notRunning));
        return;
    }
    checkTicket = std::move(ticket);
    CheckButton->setText(QStringLiteral("Stop the check"));
    CheckResult->setText(QStringLiteral("Checking ") + table + QStringLiteral(" for ") + icao
                         + QStringLiteral("..."));
}

void StationFinder::checkDone(quint64 id, const QString &icao, const QString &table,
                              const StationCheckResult &result)
{
    if (id != checkId || !checkTicket)
        return;
    checkTicket.reset();
    CheckButton->setText(QStringLiteral("Check the database"));
    selectionChanged();
    if (result.stopped)
        return;
    if (result.failed) {
        CheckResult->clear();
        messages.information(QString::fromLatin1(SharedTexts::notRunning));
        return;
    }
    CheckResult->setText(stationCheckText(icao, table, result));
}

void StationFinder::stopCheck()
{
    if (!checkTicket)
        return;
    const std::shared_ptr<StationCheckTicket> ticket = std::move(checkTicket);
    checkTicket.reset();
    ++checkId;
    CheckButton->setText(QStringLiteral("Check the database"));
    selectionChanged();
    const std::uint64_t serverId = ticket->stop();
    if (serverId == 0)
        return;
    try {
        jobs.start([settings = checkSettings, serverId] { killStationCheck(settings, serverId); });
    } catch (const std::exception &) {
        // No thread for the kill: the statement ends on its own and its result is dropped.
    }
}

void StationFinder::closeEvent(QCloseEvent *event)
{
    if (checking()) {
        stopCheck();
        CheckResult->setText(QStringLiteral("The check was stopped."));
    }
    QWidget::closeEvent(event);
}
