#include "measure/MeasurementExport.h"

#include "framework/RegularFile.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

const char* KindName(ShapeKind kind)
{
    switch (kind) {
    case ShapeLine: return "line";
    case ShapeContinuousLine: return "polyline";
    case ShapeRectangle: return "rectangle";
    case ShapePolygon: return "polygon";
    case ShapeRadiusCircle: return "radius circle";
    case ShapeDiameterCircle: return "diameter circle";
    case ShapeThreePointCircle: return "three-point circle";
    case ShapeAngle: return "angle";
    case ShapeFourPointAngle: return "four-point angle";
    case ShapeText: return "text";
    case ShapeCaliper: return "caliper";
    case ShapeCountMark: return "count";
    }
    return "shape";
}

struct LabelValue {
    QString quantity;
    QString number; // as the label shows it
    QString unit;
};

// "dist:1.23mm" -> dist, 1.23, mm; "45.0°" -> angle, 45.0, deg.
std::optional<LabelValue> ParseLabel(const QString& label)
{
    static const QRegularExpression pattern(QStringLiteral(R"re(^(?:(\w+):)?(-?[0-9]+(?:\.[0-9]+)?)(.*)$)re"));
    const auto match = pattern.match(label);
    if (!match.hasMatch()) return std::nullopt;
    LabelValue value{match.captured(1), match.captured(2), match.captured(3)};
    if (value.unit == QStringLiteral("\u00B0")) {
        value.quantity = QStringLiteral("angle");
        value.unit = QStringLiteral("deg");
    }
    return value;
}

QString Field(const QString& text)
{
    static const QRegularExpression special(QStringLiteral("[\",;\\r\\n]"));
    if (!text.contains(special)) return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QByteArray MeasurementsCsv(const ShapeStore& shapes, const MeasurementScale& scale)
{
    QStringList lines{QStringLiteral("index,kind,quantity,value,unit,quantity 2,value 2,unit 2,quantity 3,value 3,unit "
                                     "3,points (picture pixels),scale,scale source,picture")};
    int index = 0;
    auto pictureXY = [&scale](QPoint view) {
        const QPointF onPicture = scale.mapping.ToPicture(view);
        return QStringLiteral("%1 %2").arg(std::lround(onPicture.x())).arg(std::lround(onPicture.y()));
    };
    QStringList marks; // the count's, one row for them all
    for (const auto& shape : shapes.shapeList) {
        if (shape->kind == ShapeCountMark) {
            if (!shape->points.empty()) marks << pictureXY(shape->points.front());
            continue;
        }
        std::vector<LabelValue> values;
        for (const QString& label : shape->labels)
            if (auto value = ParseLabel(label)) values.push_back(*value);
        if (values.empty()) continue; // drawn, not measured
        if (shape->kind == ShapeContinuousLine) {
            // A polyline's length is the sum of its segments as labelled.
            double total = 0;
            int decimals = 0;
            for (const LabelValue& v : values) {
                total += v.number.toDouble();
                decimals = std::max<int>(decimals, static_cast<int>(v.number.size() - v.number.indexOf('.') - 1));
            }
            values = {{QStringLiteral("length"), QString::number(total, 'f', decimals), values.front().unit},
                      {QStringLiteral("segments"), QString::number(values.size()), QString()}};
        }
        QStringList points;
        if (shape->kind == ShapeCaliper && shape->found.size() == 2) {
            // Where it found the edges, to a hundredth of a pixel.
            for (const QPointF& edge : shape->found) {
                const QPointF onPicture = scale.mapping.ToPicture(edge);
                points << QStringLiteral("%1 %2").arg(onPicture.x(), 0, 'f', 2).arg(onPicture.y(), 0, 'f', 2);
            }
        } else {
            for (const QPoint& p : shape->points) points << pictureXY(p);
        }
        QStringList row{QString::number(++index), QString::fromLatin1(KindName(shape->kind))};
        for (std::size_t i = 0; i < 3; ++i) {
            if (i < values.size()) row << values[i].quantity << values[i].number << values[i].unit;
            else row << QString() << QString() << QString();
        }
        row << points.join(QStringLiteral("; ")) << scale.calibration << scale.source << scale.pictureFile;
        for (QString& field : row) field = Field(field);
        lines << row.join(QLatin1Char(','));
    }
    if (!marks.isEmpty()) {
        // The count, and with a scale the marks per square millimetre of the whole picture.
        QStringList row{QString::number(++index), QStringLiteral("count"), QStringLiteral("count"),
                        QString::number(marks.size()), QString()};
        const double area = scale.pictureSize.width() * scale.pictureSize.height() * scale.millimetresPerPixel *
                            scale.millimetresPerPixel;
        if (area > 0)
            row << QStringLiteral("density") << QString::number(marks.size() / area, 'f', 2) << QStringLiteral("1/mm2");
        else row << QString() << QString() << QString();
        row << QString() << QString() << QString() << marks.join(QStringLiteral("; ")) << scale.calibration
            << scale.source << scale.pictureFile;
        for (QString& field : row) field = Field(field);
        lines << row.join(QLatin1Char(','));
    }
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

bool ExportMeasurements(const QString& path, const ShapeStore& shapes, const MeasurementScale& scale, QString* error)
{
    return WriteFileWhole(path, MeasurementsCsv(shapes, scale), error);
}
