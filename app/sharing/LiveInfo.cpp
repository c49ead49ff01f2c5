#include "app/sharing/LiveInfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

QJsonArray Point(QPointF p)
{
    return QJsonArray{std::round(p.x() * 100) / 100, std::round(p.y() * 100) / 100};
}

} // namespace

QByteArray LiveInfoJson(const LiveInfo& info)
{
    QJsonArray shapes;
    for (const LiveInfo::Shape& shape : info.shapes) {
        QJsonArray points;
        for (const QPointF& p : shape.points) points.append(Point(p));
        QJsonObject object{{QStringLiteral("kind"), shape.kind},
                           {QStringLiteral("points"), points},
                           {QStringLiteral("label"), shape.label}};
        if (shape.centre) {
            object.insert(QStringLiteral("centre"), Point(*shape.centre));
            object.insert(QStringLiteral("radius"), shape.radius);
        }
        shapes.append(object);
    }
    const QJsonObject object{{QStringLiteral("width"), info.frame.width()},
                             {QStringLiteral("height"), info.frame.height()},
                             {QStringLiteral("magnification"), info.magnification},
                             {QStringLiteral("millimetresPerPixel"), info.millimetresPerPixel},
                             {QStringLiteral("micrometres"), info.micrometres},
                             {QStringLiteral("nominal"), info.nominal},
                             {QStringLiteral("shapes"), shapes}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
