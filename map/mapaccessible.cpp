#include "map/mapaccessible.h"

#include "map/mapview.h"

#include <QAccessibleWidget>

namespace {

class MapAccessible : public QAccessibleWidget
{
public:
    explicit MapAccessible(MapView *map)
        : QAccessibleWidget(map, QAccessible::Graphic)
    { }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return static_cast<const MapView *>(object())->summary();
        if (t == QAccessible::Help)
            return QStringLiteral(
                "Shift-drag draws the search box; Enter makes the view the box. Plus and minus "
                "zoom, the arrows pan, Home shows the whole world, Space picks the station "
                "nearest the middle.");
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *mapAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("MapView") && object && object->isWidgetType())
        return new MapAccessible(static_cast<MapView *>(object));
    return nullptr;
}

} // namespace

void installMapAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(mapAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
