// The map beside the main window, acted on as a person does: a box drawn with the mouse filling
// the Range boxes, the refusal of one across the 180th meridian, the box following what is typed,
// a station picked and used, the box set from the keyboard, what a screen reader reads, and a
// search of a drawn box against the test server marking the result's stations.
#include "app/gridmodel.h"
#include "app/orvexdbmain.h"
#include "finder/stationlist.h"
#include "map/mapview.h"
#include "map/mapwindow.h"
#include "store/resultstore.h"
#include "tests/personactions.h"
#include "tests/windowtest.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cmath>

namespace {

const QString dateLineRefusal = QStringLiteral(
    "The box drawn would cross the 180th meridian, and the longitude Range holds one stretch "
    "only, from its low end up to its high end. The search constraints are left as they were. "
    "Draw the box on one side of the meridian, or search each side in turn.");

// The stations of the list inside a box, counted one by one.
int countInside(double south, double north, double west, double east)
{
    int count = 0;
    for (const Station &s : StationList::builtIn().stations())
        count += s.lat >= south && s.lat <= north && s.lon >= west && s.lon <= east;
    return count;
}

QString insideText(int count)
{
    return QStringLiteral("%1 of the list's 5,634 stations %2 inside.")
        .arg(QLocale(QLocale::English).toString(count),
             count == 1 ? QStringLiteral("lies") : QStringLiteral("lie"));
}

} // namespace

class TestMap : public WindowTest
{
    Q_OBJECT

private:
    MapWindow *openMap()
    {
        QTest::mouseClick(form->MapButton, Qt::LeftButton);
        MapWindow *map = form->findChild<MapWindow *>();
        if (map && !QTest::qWaitForWindowExposed(map))
            return nullptr;
        return map;
    }

    static QPoint at(MapWindow *map, double lat, double lon)
    {
        return map->Map->projection().toScreen(lon, lat).toPoint();
    }

    // Turns the wheel over a place, one notch at a time: away from the user (closer) for a
    // positive count, towards them for a negative one.
    static void wheelAt(MapWindow *map, double lat, double lon, int notches)
    {
        for (int i = 0; i < std::abs(notches); ++i) {
            const QPoint point = at(map, lat, lon);
            QWheelEvent wheel(point, map->Map->mapToGlobal(point), QPoint(),
                              QPoint(0, notches > 0 ? 120 : -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(map->Map, &wheel);
        }
    }

    // Presses the left button at from, moves to to in steps and lets go there.
    static void drag(QWidget *widget, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers)
    {
        QTest::mousePress(widget, Qt::LeftButton, modifiers, from);
        for (int step = 1; step <= 8; ++step)
            QTest::mouseMove(widget, from + (to - from) * step / 8);
        QTest::mouseRelease(widget, Qt::LeftButton, modifiers, to);
    }

    static QString description(QWidget *widget)
    {
        QAccessibleInterface *map = QAccessible::queryAccessibleInterface(widget);
        return map ? map->text(QAccessible::Description) : QString();
    }

    QString generated()
    {
        QTest::mouseClick(form->GenerateSQLButton, Qt::LeftButton);
        return form->SQLEdit->toPlainText();
    }

    static double number(QLineEdit *edit) { return edit->text().toDouble(); }

    void verifyRangesAreBoxTexts()
    {
        static const QRegularExpression fourDecimals(QStringLiteral("^-?[0-9]+\\.[0-9]{4}$"));
        for (QLineEdit *edit : {form->LatLo, form->LatHi, form->LonLo, form->LonHi})
            QVERIFY2(fourDecimals.match(edit->text()).hasMatch(), qPrintable(edit->text()));
    }

private slots:
    void initTestCase() { requireTestServer(); }

    void init() { openWindow(); }

    void cleanup() { closeWindow(); }

    void drawnBoxFillsTheRanges_data()
    {
        QTest::addColumn<bool>("drawButton"); // the "Draw box" button instead of Shift
        QTest::addColumn<double>("fromLat");
        QTest::addColumn<double>("fromLon");
        QTest::addColumn<double>("toLat");
        QTest::addColumn<double>("toLon");
        QTest::newRow("Shift-drag, north-west to south-east")
            << false << 38.5 << -117.0 << 34.2 << -114.5;
        QTest::newRow("Shift-drag, south-east to north-west")
            << false << 34.2 << -114.5 << 38.5 << -117.0;
        QTest::newRow("Draw box, then a plain drag") << true << 36.0 << -120.0 << 30.0 << -110.0;
    }

    // The box drawn fills the four Range boxes, switches both Ranges on and the station's off,
    // and the status line counts the stations of the list inside.
    void drawnBoxFillsTheRanges()
    {
        QFETCH(bool, drawButton);
        QFETCH(double, fromLat);
        QFETCH(double, fromLon);
        QFETCH(double, toLat);
        QFETCH(double, toLon);
        MapWindow *map = openMap();
        QVERIFY(map);
        QVERIFY(!map->isModal());
        QVERIFY(form->StnEqCheck->isChecked());
        // Close enough that a pixel is well under a tenth of a degree.
        wheelAt(map, 36, -115, 8);
        QVERIFY(map->Map->projection().pixelsPerDegree() > 12);
        if (drawButton)
            QTest::mouseClick(map->DrawBoxButton, Qt::LeftButton);
        drag(map->Map, at(map, fromLat, fromLon), at(map, toLat, toLon),
             drawButton ? Qt::NoModifier : Qt::ShiftModifier);

        QCOMPARE(messages.texts(), QStringList());
        verifyRangesAreBoxTexts();
        QVERIFY(std::abs(number(form->LatLo) - std::min(fromLat, toLat)) < 0.1);
        QVERIFY(std::abs(number(form->LatHi) - std::max(fromLat, toLat)) < 0.1);
        QVERIFY(std::abs(number(form->LonLo) - std::min(fromLon, toLon)) < 0.1);
        QVERIFY(std::abs(number(form->LonHi) - std::max(fromLon, toLon)) < 0.1);
        QVERIFY(form->LatRangeCheck->isChecked());
        QVERIFY(form->LonRangeCheck->isChecked());
        QVERIFY(!form->StnEqCheck->isChecked());
        QVERIFY(!map->DrawBoxButton->isChecked());

        const int inside = countInside(number(form->LatLo), number(form->LatHi),
                                       number(form->LonLo), number(form->LonHi));
        QVERIFY(inside > 0);
        QVERIFY2(map->StatusLine->text().endsWith(insideText(inside)),
                 qPrintable(map->StatusLine->text()));
        QVERIFY(generated().contains(
            QStringLiteral("AND ((lat >= %1) and (lat <= %2)) AND ((lon >= %3) and (lon <= %4)) ")
                .arg(form->LatLo->text(), form->LatHi->text(), form->LonLo->text(),
                     form->LonHi->text())));
    }

    void boxAtTheDateLine_data()
    {
        QTest::addColumn<double>("fromLon");
        QTest::addColumn<double>("toLon");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<double>("lonLo"); // when not refused
        QTest::addColumn<double>("lonHi");
        QTest::newRow("across the meridian") << 170.0 << 190.0 << true << 0.0 << 0.0;
        QTest::newRow("across it, drawn east to west") << 195.0 << 175.0 << true << 0.0 << 0.0;
        QTest::newRow("east of it, in the world's next turn")
            << 185.0 << 200.0 << false << -175.0 << -160.0;
        QTest::newRow("west of it") << 160.0 << 175.0 << false << 160.0 << 175.0;
    }

    // The map goes on past the 180th meridian; a box across it is refused as the finder refuses
    // one, and nothing is filled; a box beyond it is the same box on this side.
    void boxAtTheDateLine()
    {
        QFETCH(double, fromLon);
        QFETCH(double, toLon);
        QFETCH(bool, refused);
        QFETCH(double, lonLo);
        QFETCH(double, lonHi);
        MapWindow *map = openMap();
        QVERIFY(map);
        QTest::mouseClick(map->Map, Qt::LeftButton, {}, at(map, -60, -30));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(map->Map, Qt::Key_Right);
        QTest::keyClick(map->Map, Qt::Key_Plus);
        QVERIFY(map->Map->projection().west() < 150 && map->Map->projection().east() > 210);
        drag(map->Map, at(map, -10, fromLon), at(map, -20, toLon), Qt::ShiftModifier);
        if (refused) {
            QCOMPARE(messages.texts(), QStringList {dateLineRefusal});
            QCOMPARE(form->LonLo->text(), QStringLiteral("-117.0"));
            QCOMPARE(form->LatLo->text(), QStringLiteral("34.2"));
            QVERIFY(!form->LatRangeCheck->isChecked());
            QVERIFY(!form->LonRangeCheck->isChecked());
            QVERIFY(form->StnEqCheck->isChecked());
            return;
        }
        QCOMPARE(messages.texts(), QStringList());
        verifyRangesAreBoxTexts();
        const double pixel = 1 / map->Map->projection().pixelsPerDegree();
        QVERIFY(std::abs(number(form->LonLo) - lonLo) < 2 * pixel);
        QVERIFY(std::abs(number(form->LonHi) - lonHi) < 2 * pixel);
        QVERIFY(form->LonRangeCheck->isChecked());
    }

    // The box follows the Range boxes key by key, and a screen reader reads it, with the count
    // of the stations inside, from the map itself.
    void typedBoxIsShownAndRead()
    {
        MapWindow *map = openMap();
        QVERIFY(map);
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(map->Map);
        QVERIFY(face);
        QCOMPARE(face->role(), QAccessible::Graphic);
        QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Map of the stations"));
        QVERIFY(description(map->Map).startsWith(
            QStringLiteral("No latitude or longitude Range is switched on")));

        clickCheckBox(form->LatRangeCheck);
        clickCheckBox(form->LonRangeCheck);
        QVERIFY(description(map->Map).startsWith(
            QStringLiteral("Box: latitude 34.2 to 38.5, longitude -117.0 to -114.5: ")
            + insideText(countInside(34.2, 38.5, -117, -114.5))));

        // Each key moves the box: "3" first, then "30".
        QTest::mouseClick(form->LatLo, Qt::LeftButton);
        QTest::keyClick(form->LatLo, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form->LatLo, Qt::Key_3);
        QVERIFY(map->StatusLine->text().startsWith(QStringLiteral("Box: latitude 3 to 38.5,")));
        QTest::keyClick(form->LatLo, Qt::Key_0);
        retype(form->LatHi, QStringLiteral("45"));
        retype(form->LonLo, QStringLiteral("-125"));
        retype(form->LonHi, QStringLiteral("-100"));
        const QString box = QStringLiteral("Box: latitude 30 to 45, longitude -125 to -100: ")
            + insideText(countInside(30, 45, -125, -100));
        QCOMPARE(map->StatusLine->text(), box);
        QVERIFY(description(map->Map).startsWith(box));
        QVERIFY(description(map->Map).contains(QStringLiteral("No station picked.")));

        clickCheckBox(form->LonRangeCheck);
        QVERIFY(map->StatusLine->text().startsWith(
            QStringLiteral("Box: latitude 30 to 45, every longitude: ")
            + insideText(countInside(30, 45, -180, 180))));
        clickCheckBox(form->LonRangeCheck);
        QTest::keyClicks(form->LonHi, QStringLiteral("x"));
        QCOMPARE(map->StatusLine->text(),
                 QStringLiteral("The longitude Range has an end that is not a number. The map "
                                "shows no box."));
        QCOMPARE(messages.texts(), QStringList());
    }

    // A click picks the station under the pointer; "Use this station" puts it into the search as
    // the finder's button does.
    void pickedStationIsUsed()
    {
        retype(form->StnEq, QStringLiteral("KDRA"));
        clickCheckBox(form->LatRangeCheck);
        MapWindow *map = openMap();
        QVERIFY(map);
        QVERIFY(!map->UseStationButton->isEnabled());
        wheelAt(map, 41.5, -74.1, 12);
        QTest::mouseClick(map->Map, Qt::LeftButton, {}, at(map, 41.5, -74.1) + QPoint(2, -1));
        const QString kswf =
            QStringLiteral("KSWF (FAA SWF): Newburgh / Stewart, NY, United States; "
                           "latitude 41.5000, longitude -74.1000");
        QCOMPARE(map->StationLine->text(), kswf);
        QVERIFY(description(map->Map).contains(QStringLiteral("Picked: ") + kswf));
        QVERIFY(map->UseStationButton->isEnabled());
        QTest::mouseClick(map->UseStationButton, Qt::LeftButton);
        QCOMPARE(form->StnEq->text(), QStringLiteral("KSWF"));
        QVERIFY(form->StnEqCheck->isChecked());
        QVERIFY(!form->LatRangeCheck->isChecked());

        // A click on the open sea picks none.
        wheelAt(map, 41.5, -74.1, -12);
        QTest::mouseClick(map->Map, Qt::LeftButton, {}, at(map, -40, -30));
        QVERIFY(!map->UseStationButton->isEnabled());
        QVERIFY(description(map->Map).contains(QStringLiteral("No station picked.")));
    }

    void keysSetTheBox_data()
    {
        QTest::addColumn<QList<int>>("keys"); // after a click on the sea, before Enter
        QTest::addColumn<bool>("wholeWorld");
        QTest::newRow("Home: the whole world") << QList<int> {Qt::Key_Plus, Qt::Key_Home} << true;
        QTest::newRow("zoomed and panned")
            << QList<int> {Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Plus, Qt::Key_Left,
                           Qt::Key_Up,   Qt::Key_Up,   Qt::Key_Minus}
            << false;
    }

    // The keys zoom and pan, and Enter makes the part of the world in view the box.
    void keysSetTheBox()
    {
        QFETCH(QList<int>, keys);
        QFETCH(bool, wholeWorld);
        MapWindow *map = openMap();
        QVERIFY(map);
        QTest::mouseClick(map->Map, Qt::LeftButton, {}, at(map, -60, -30));
        for (const int key : keys)
            QTest::keyClick(map->Map, Qt::Key(key));
        QTest::keyClick(map->Map, Qt::Key_Return);
        QCOMPARE(messages.texts(), QStringList());
        QVERIFY(form->LatRangeCheck->isChecked());
        QVERIFY(form->LonRangeCheck->isChecked());
        if (wholeWorld) {
            QCOMPARE(QStringList({form->LatLo->text(), form->LatHi->text(), form->LonLo->text(),
                                  form->LonHi->text()}),
                     QStringList({QStringLiteral("-90.0000"), QStringLiteral("90.0000"),
                                  QStringLiteral("-180.0000"), QStringLiteral("180.0000")}));
            QVERIFY(map->StatusLine->text().endsWith(insideText(5634)));
            return;
        }
        const MapProjection &view = map->Map->projection();
        QVERIFY(view.pixelsPerDegree() > 4);
        // Three zooms in, one out, one step west and two north of the middle of the world.
        QVERIFY(view.centreLon() < -10 && view.centreLat() > 10);
        QVERIFY(std::abs(number(form->LatLo) - view.south()) < 1e-4);
        QVERIFY(std::abs(number(form->LatHi) - view.north()) < 1e-4);
        QVERIFY(std::abs(number(form->LonLo) - view.west()) < 1e-4);
        QVERIFY(std::abs(number(form->LonHi) - view.east()) < 1e-4);
    }

    // What a drawn box selects is what Search finds: every record inside it, and the result's
    // stations marked on the map.
    void searchOfADrawnBoxFindsTheStationsInside()
    {
        MapWindow *map = openMap();
        QVERIFY(map);
        wheelAt(map, 36, -115, 8);
        drag(map->Map, at(map, 38.5, -117), at(map, 34.2, -114.5), Qt::ShiftModifier);
        QTest::mouseClick(form->SearchButton, Qt::LeftButton);
        QVERIFY(map->ResultLine->text().startsWith(QStringLiteral("A query is running")));
        QTRY_VERIFY_WITH_TIMEOUT(!form->runInProgress(), 30000);
        QTRY_VERIFY(map->ResultLine->text().startsWith(QStringLiteral("The result: ")));
        QCOMPARE(messages.texts(), QStringList());

        const ResultStore &store = form->gridModel->store();
        QVERIFY(store.recordCount() > 0);
        int icao = -1, lat = -1, lon = -1;
        for (int c = 0; c < store.columnCount(); ++c) {
            const QString name = store.cellText(c, 0);
            icao = name == QLatin1String("icao") ? c : icao;
            lat = name == QLatin1String("lat") ? c : lat;
            lon = name == QLatin1String("lon") ? c : lon;
        }
        QSet<QString> found;
        for (int row = 1; row <= store.recordCount(); ++row) {
            const double la = store.cellText(lat, row).toDouble();
            const double lo = store.cellText(lon, row).toDouble();
            QVERIFY(la >= number(form->LatLo) && la <= number(form->LatHi));
            QVERIFY(lo >= number(form->LonLo) && lo <= number(form->LonHi));
            found.insert(store.cellText(icao, row));
        }
        QSet<QString> marked;
        for (const int s : map->Map->resultStations())
            marked.insert(StationList::builtIn().at(s).icao);
        QCOMPARE(marked, found);
        QVERIFY2(map->ResultLine->text().contains(
                     QStringLiteral(" records of %1 stations of the list").arg(found.size())),
                 qPrintable(map->ResultLine->text()));
    }
};

QTEST_MAIN(TestMap)
#include "tst_map.moc"
