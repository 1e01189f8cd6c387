#include "map/mapview.h"

#include "finder/stationlist.h"
#include "map/mapaccessible.h"
#include "map/outlines.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

const QColor outsideWorld(0xb8, 0xbe, 0xc4);
const QColor sea(0xdc, 0xe8, 0xf1);
const QColor graticule(0xc6, 0xd6, 0xe3);
const QColor coastline(0x4f, 0x60, 0x6d);
const QColor border(0xa0, 0xab, 0xb5);
const QColor listStation(0x6a, 0x5a, 0x8c);
const QColor resultStation(0xe0, 0x62, 0x10);
const QColor boxEdge(0x10, 0x50, 0xc0);
const QColor boxFill(0x10, 0x50, 0xc0, 40);
const QColor selection(0xd0, 0x10, 0x30);

// Below this many pixels to a degree the coarse outlines show all a screen can.
constexpr double fineOutlinesFrom = 6;
// A drag shorter than this is a click.
constexpr double clickSlack = 3;
// How far from the pointer a click still picks a station, in pixels.
constexpr double pickRadius = 8;

} // namespace

MapView::MapView(const StationList &stations, const Outlines &outlines, QWidget *parent)
    : QWidget(parent)
    , stations(stations)
    , outlines(outlines)
    , view(MapProjection::wholeWorld(size()))
{
    installMapAccessibility();
    setObjectName(QStringLiteral("Map"));
    setAccessibleName(QStringLiteral("Map of the stations"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(360, 200);
}

void MapView::showWholeWorld()
{
    setView(MapProjection::wholeWorld(size()));
}

void MapView::setView(const MapProjection &changed)
{
    if (changed == view)
        return;
    view = changed;
    baseValid = false;
    update();
    emit viewChanged();
}

void MapView::setArea(std::optional<SearchArea> newArea, std::optional<SearchArea> newTypedBox)
{
    area = newArea;
    typedBox = newTypedBox;
    update();
}

void MapView::setResultStations(std::vector<int> stationsOfResult)
{
    result = std::move(stationsOfResult);
    baseValid = false;
    update();
}

void MapView::selectStation(int station)
{
    selected = station;
    update();
}

void MapView::setSummary(const QString &text)
{
    if (text == summaryText)
        return;
    summaryText = text;
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

std::vector<double> MapView::turnsInView() const
{
    std::vector<double> turns;
    for (double k = std::floor((view.west() + 180) / 360); k * 360 - 180 < view.east(); ++k)
        turns.push_back(k * 360);
    return turns;
}

void MapView::drawOutlines(QPainter &painter, const OutlineLevel &level) const
{
    const double scale = view.pixelsPerDegree();
    const QPointF origin = view.toScreen(0, 0);
    const double south = view.south(), north = view.north();
    for (const double turn : turnsInView()) {
        const double west = view.west() - turn, east = view.east() - turn;
        const double x0 = origin.x() + turn * scale;
        // Borders first, so the coastlines lie over their ends.
        for (const auto kind : {OutlineLevel::Kind::Border, OutlineLevel::Kind::Coastline}) {
            painter.setPen(QPen(kind == OutlineLevel::Kind::Border ? border : coastline, 0));
            for (int line = 0; line < level.lineCount(); ++line) {
                if (level.kinds[size_t(line)] != kind)
                    continue;
                const float *extent = &level.extents[4 * size_t(line)];
                if (extent[2] < west || extent[0] > east || extent[3] < south || extent[1] > north)
                    continue;
                const std::uint32_t first = level.starts[size_t(line)];
                const std::uint32_t end = level.starts[size_t(line) + 1];
                scratch.resize(end - first);
                const float *p = &level.points[2 * size_t(first)];
                for (std::uint32_t i = 0; i < end - first; ++i, p += 2)
                    scratch[i] = QPointF(x0 + p[0] * scale, origin.y() - p[1] * scale);
                painter.drawPolyline(scratch.data(), int(scratch.size()));
            }
        }
    }
}

void MapView::drawBase(QPainter &painter) const
{
    painter.fillRect(rect(), outsideWorld);
    const std::vector<double> turns = turnsInView();
    for (const double turn : turns)
        painter.fillRect(QRectF(view.toScreen(-180 + turn, 90), view.toScreen(180 + turn, -90)),
                         sea);
    painter.setPen(QPen(graticule, 0));
    for (const double turn : turns) {
        for (int lon = -150; lon <= 150; lon += 30)
            painter.drawLine(view.toScreen(lon + turn, 90), view.toScreen(lon + turn, -90));
        for (int lat = -60; lat <= 60; lat += 30)
            painter.drawLine(view.toScreen(-180 + turn, lat), view.toScreen(180 + turn, lat));
    }
    if (!outlines.levels.empty())
        drawOutlines(painter,
                     view.pixelsPerDegree() < fineOutlinesFrom ? outlines.levels.front()
                                                               : outlines.levels.back());

    // The stations, each a small square, the result's larger and drawn last, so they stay in
    // sight where the list's crowd.
    const QRectF bounds = QRectF(rect()).adjusted(-4, -4, 4, 4);
    std::vector<QRectF> marks;
    marks.reserve(size_t(stations.size()));
    const auto mark = [&](const Station &s, double half) {
        for (const double turn : turns) {
            const QPointF at = view.toScreen(s.lon + turn, s.lat);
            if (bounds.contains(at))
                marks.emplace_back(at.x() - half, at.y() - half, 2 * half, 2 * half);
        }
    };
    for (const Station &s : stations.stations())
        mark(s, 1.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(listStation);
    painter.drawRects(marks.data(), int(marks.size()));
    marks.clear();
    for (const int s : result)
        mark(stations.at(s), 3.5);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(resultStation);
    painter.drawRects(marks.data(), int(marks.size()));
}

void MapView::drawArea(QPainter &painter) const
{
    const auto drawBox = [&](const SearchArea &box, bool inUse) {
        const double north = std::min(90.0, box.north), south = std::max(-90.0, box.south);
        if (south > north || box.west > box.east)
            return;
        QPen pen(boxEdge, 2);
        if (!inUse)
            pen = QPen(boxEdge, 1, Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(inUse ? QBrush(boxFill) : QBrush(Qt::NoBrush));
        for (const double turn : turnsInView())
            painter.drawRect(QRectF(view.toScreen(box.west + turn, north),
                                    view.toScreen(box.east + turn, south)));
    };
    if (area && area->limits())
        drawBox(*area, true);
    else if (typedBox)
        drawBox(*typedBox, false);
}

void MapView::paintEvent(QPaintEvent *)
{
    const qreal ratio = devicePixelRatioF();
    if (!baseValid || base.size() != size() * ratio) {
        if (base.size() != size() * ratio) {
            base = QImage(size() * ratio, QImage::Format_RGB32);
            base.setDevicePixelRatio(ratio);
        }
        QPainter painter(&base);
        drawBase(painter);
        baseValid = true;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, base);
    drawArea(painter);
    if (drag == Drag::Box) {
        painter.setPen(QPen(boxEdge, 1, Qt::DashLine));
        painter.setBrush(boxFill);
        painter.drawRect(QRectF(pressAt, lastAt).normalized());
    }
    if (selected >= 0) {
        const Station &s = stations.at(selected);
        painter.setPen(QPen(selection, 2));
        painter.setBrush(Qt::NoBrush);
        for (const double turn : turnsInView())
            painter.drawEllipse(view.toScreen(s.lon + turn, s.lat), 6, 6);
    }
    if (hasFocus()) {
        const QPointF middle(width() / 2.0, height() / 2.0);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawLine(middle - QPointF(8, 0), middle + QPointF(8, 0));
        painter.drawLine(middle - QPointF(0, 8), middle + QPointF(0, 8));
        painter.setPen(QPen(palette().highlight().color(), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void MapView::resizeEvent(QResizeEvent *)
{
    // The centre and the scale stay, but never so far out that the world no longer fills the
    // widget.
    view.resize(size());
    baseValid = false;
    emit viewChanged();
}

void MapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressAt = lastAt = event->position();
    drag = (event->modifiers() & Qt::ShiftModifier) || drawing ? Drag::Box : Drag::Pending;
    if (drag == Drag::Box)
        update();
}

void MapView::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF at = event->position();
    switch (drag) {
    case Drag::None:
        return QWidget::mouseMoveEvent(event);
    case Drag::Box:
        lastAt = at;
        update();
        return;
    case Drag::Pending:
        if ((at - pressAt).manhattanLength() < clickSlack)
            return;
        drag = Drag::Pan;
        [[fallthrough]];
    case Drag::Pan: {
        MapProjection moved = view;
        moved.pan(lastAt, at);
        lastAt = at;
        setView(moved);
        return;
    }
    }
}

void MapView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || drag == Drag::None)
        return QWidget::mouseReleaseEvent(event);
    const Drag ended = drag;
    drag = Drag::None;
    const QPointF at = event->position();
    if (ended == Drag::Box) {
        update();
        if ((at - pressAt).manhattanLength() < clickSlack)
            return;
        const QPointF from = view.toGeo(pressAt), to = view.toGeo(at);
        emit boxDrawn(from.y(), from.x(), to.y(), to.x());
    } else if (ended == Drag::Pending) {
        const std::optional<int> station = stationNear(stations, view, at, pickRadius);
        selectStation(station.value_or(-1));
        emit stationPicked(selected);
    }
}

void MapView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y();
    if (steps == 0)
        return;
    MapProjection zoomed = view;
    zoomed.zoomAt(event->position(), std::pow(1.25, steps / 120.0));
    setView(zoomed);
}

void MapView::keyPressEvent(QKeyEvent *event)
{
    const QPointF middle(width() / 2.0, height() / 2.0);
    MapProjection changed = view;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        changed.zoomAt(middle, 1.5);
        break;
    case Qt::Key_Minus:
        changed.zoomAt(middle, 1 / 1.5);
        break;
    case Qt::Key_Left:
        changed.pan(middle, middle + QPointF(width() / 8.0, 0));
        break;
    case Qt::Key_Right:
        changed.pan(middle, middle - QPointF(width() / 8.0, 0));
        break;
    case Qt::Key_Up:
        changed.pan(middle, middle + QPointF(0, height() / 8.0));
        break;
    case Qt::Key_Down:
        changed.pan(middle, middle - QPointF(0, height() / 8.0));
        break;
    case Qt::Key_Home:
        changed = MapProjection::wholeWorld(size());
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit viewAsBoxAsked();
        return;
    case Qt::Key_Space: {
        // Nearest to the cross in the middle, within a quarter of the smaller side.
        const std::optional<int> station =
            stationNear(stations, view, middle, std::min(width(), height()) / 4.0);
        selectStation(station.value_or(-1));
        emit stationPicked(selected);
        return;
    }
    case Qt::Key_Escape:
        if (drag == Drag::Box) {
            drag = Drag::None;
            update();
            return;
        }
        return QWidget::keyPressEvent(event);
    default:
        return QWidget::keyPressEvent(event);
    }
    setView(changed);
}

void MapView::focusInEvent(QFocusEvent *event)
{
    update();
    QWidget::focusInEvent(event);
}

void MapView::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}
