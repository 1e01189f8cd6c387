#include "finder/stationlist.h"

#include <QFile>
#include <QList>

namespace {

// Letters that are not a base letter with an accent, so that taking the accents off leaves them
// as they are; they are spelt as on a keyboard without them.
QString spellPlain(QChar c)
{
    switch (c.unicode()) {
    case 0x00DF: // sharp s
        return QStringLiteral("ss");
    case 0x00E6: // ae
    case 0x00C6:
        return QStringLiteral("ae");
    case 0x0153: // oe
    case 0x0152:
        return QStringLiteral("oe");
    case 0x00F8: // o with stroke
    case 0x00D8:
        return QStringLiteral("o");
    case 0x0142: // l with stroke
    case 0x0141:
        return QStringLiteral("l");
    case 0x0111: // d with stroke
    case 0x0110:
    case 0x00F0: // eth
    case 0x00D0:
        return QStringLiteral("d");
    case 0x00FE: // thorn
    case 0x00DE:
        return QStringLiteral("th");
    case 0x0131: // dotless i
        return QStringLiteral("i");
    default:
        return QString(c);
    }
}

} // namespace

std::string foldForSearch(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString plain;
    plain.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.isMark())
            continue;
        if (c.unicode() < 0x80)
            plain += c;
        else
            plain += spellPlain(c);
    }
    return plain.toCaseFolded().toStdString();
}

StationList StationList::fromTsv(const QByteArray &tsv)
{
    StationList list;
    const QList<QByteArray> lines = tsv.split('\n');
    list.stations_.reserve(size_t(lines.size()));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split('\t');
        if (fields.size() < 6)
            continue;
        Station s;
        s.icao = QString::fromUtf8(fields.at(0)).trimmed();
        s.faa = QString::fromUtf8(fields.at(1)).trimmed();
        s.wmo = QString::fromUtf8(fields.at(2)).trimmed();
        bool latOk = false;
        bool lonOk = false;
        s.lat = fields.at(3).toDouble(&latOk);
        s.lon = fields.at(4).toDouble(&lonOk);
        if (s.icao.isEmpty() || !latOk || !lonOk)
            continue;
        const QString description = QString::fromUtf8(fields.at(5)).trimmed();
        const qsizetype comma = description.indexOf(QLatin1Char(','));
        s.name = comma < 0 ? description : description.left(comma).trimmed();
        s.place = comma < 0 ? QString() : description.mid(comma + 1).trimmed();
        s.foldedIcao = foldForSearch(s.icao);
        s.foldedFaa = foldForSearch(s.faa);
        s.foldedName = foldForSearch(s.name);
        s.foldedPlace = foldForSearch(s.place);
        list.stations_.push_back(std::move(s));
    }
    return list;
}

const StationList &StationList::builtIn()
{
    static const StationList list = [] {
        QFile file(QStringLiteral(":/finder/stations.tsv"));
        file.open(QIODevice::ReadOnly);
        return fromTsv(file.readAll());
    }();
    return list;
}

int StationList::indexOfIcao(const QString &icao) const
{
    const std::string wanted = foldForSearch(icao);
    for (size_t i = 0; i < stations_.size(); ++i) {
        if (stations_[i].foldedIcao == wanted)
            return int(i);
    }
    return -1;
}
