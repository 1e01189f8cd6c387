#pragma once

#include "map/mapgeometry.h"

#include <QImage>
#include <QWidget>

#include <optional>
#include <vector>

struct OutlineLevel;
struct Outlines;
class StationList;

// The map itself: outlines, the stations of the list, the result's stations marked apart, the
// search's latitude and longitude box, and the station last clicked. Drawn with QPainter; what
// does not change while a box is being drawn (everything but the boxes and the selection) is
// kept as an image of its own, so that only a change of the view draws it again.
//
// The mouse: the wheel zooms, dragging pans, Shift-drag with the left button (or any left drag
// while drawing is switched on) draws a box, a click picks the station under the pointer. The
// keys: + and - zoom, the arrows pan, Home shows the whole world, Enter makes the view the box,
// Space picks the station nearest the middle (marked by a cross while the map has the focus),
// Esc drops a box half drawn.
class MapView : public QWidget
{
    Q_OBJECT

public:
    MapView(const StationList &stations, const Outlines &outlines, QWidget *parent = nullptr);

    const MapProjection &projection() const { return view; }
    void showWholeWorld();

    // The area the search selects by position (nothing: none can be drawn), and the box of the
    // four Range ends, drawn dashed where the search does not use it.
    void setArea(std::optional<SearchArea> area, std::optional<SearchArea> typedBox);
    void setResultStations(std::vector<int> stations);
    const std::vector<int> &resultStations() const { return result; }
    // -1 for none.
    int selectedStation() const { return selected; }
    void selectStation(int station);

    // A left drag without Shift draws a box while this is on.
    void setDrawing(bool on) { drawing = on; }
    bool isDrawing() const { return drawing; }

    // The text a screen reader reads for the map; the window composes it.
    QString summary() const { return summaryText; }
    void setSummary(const QString &text);

    QSize sizeHint() const override { return {900, 480}; }

signals:
    // A box was drawn between these corners (degrees; longitudes may lie beyond 180).
    void boxDrawn(double lat1, double lon1, double lat2, double lon2);
    // A click or Space picked a station, or none (-1).
    void stationPicked(int station);
    // Enter: the user asks for the view as the box.
    void viewAsBoxAsked();
    void viewChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void setView(const MapProjection &changed);
    // The outlines, stations and result: the part that changes only with the view.
    void drawBase(QPainter &painter) const;
    void drawOutlines(QPainter &painter, const OutlineLevel &level) const;
    void drawArea(QPainter &painter) const;
    // The turns of the world the view shows, as offsets of 360 degrees.
    std::vector<double> turnsInView() const;

    const StationList &stations;
    const Outlines &outlines;
    MapProjection view;
    std::optional<SearchArea> area;
    std::optional<SearchArea> typedBox;
    std::vector<int> result;
    int selected = -1;
    bool drawing = false;
    QString summaryText;

    QImage base;
    bool baseValid = false;
    mutable std::vector<QPointF> scratch;

    // The drag under way: a box being drawn, or a pan.
    enum class Drag { None, Pending, Pan, Box };
    Drag drag = Drag::None;
    QPointF pressAt;
    QPointF lastAt;
};
