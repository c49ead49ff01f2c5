#include "media/ImageJOverlay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The ROI format's layout (all numbers big-endian).
constexpr int kHeaderSize = 64;
constexpr int kHeader2Size = 64;
constexpr int kVersion = 228;
enum Offset : int {
    kType = 6,
    kTop = 8,
    kLeft = 10,
    kBottom = 12,
    kRight = 14,
    kCoordinateCount = 16,
    kX1 = 18, // a line's ends, or a rectangle's corner and size in fractions of pixels
    kY1 = 22,
    kX2 = 26,
    kY2 = 30,
    kStrokeWidth = 34,
    kShapeRoiSize = 36,
    kStrokeColour = 40,
    kSubtype = 48,
    kOptions = 50,
    kHeader2Offset = 60,
};
enum Header2Offset : int { kNameOffset = 16, kNameLength = 20, kFloatStrokeWidth = 36 };
enum RoiType : int { kPolygon = 0, kRect = 1, kOval = 2, kLine = 3, kPolyline = 5, kAngle = 9, kPoint = 10 };
constexpr int kSubtypeText = 1;
constexpr int kSubPixel = 128;

constexpr std::uint32_t kMagic = 0x494a494a;   // "IJIJ"
constexpr std::uint32_t kOverlay = 0x6f766572; // "over"
constexpr std::uint32_t kMaxHeader = 804;      // ImageJ's own limit on the header
constexpr int kMaxPoints = 65535;

class Writer {
public:
    explicit Writer(qsizetype size) : bytes_(size, '\0') {}
    void Short(int at, int value)
    {
        bytes_[at] = static_cast<char>((value >> 8) & 0xff);
        bytes_[at + 1] = static_cast<char>(value & 0xff);
    }
    void Int(int at, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
    }
    void Float(int at, double value)
    {
        const auto f = static_cast<float>(value);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, 4);
        Int(at, bits);
    }
    void Byte(int at, int value) { bytes_[at] = static_cast<char>(value); }
    QByteArray& Bytes() { return bytes_; }

private:
    QByteArray bytes_;
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}
    bool Has(qint64 at, qint64 length) const { return at >= 0 && length >= 0 && at + length <= bytes_.size(); }
    int Byte(int at) const { return static_cast<unsigned char>(bytes_[at]); }
    int Short(int at) const { return static_cast<std::int16_t>((Byte(at) << 8) | Byte(at + 1)); }
    int UnsignedShort(int at) const { return (Byte(at) << 8) | Byte(at + 1); }
    std::uint32_t Int(int at) const
    {
        return (static_cast<std::uint32_t>(Byte(at)) << 24) | (static_cast<std::uint32_t>(Byte(at + 1)) << 16) |
               (static_cast<std::uint32_t>(Byte(at + 2)) << 8) | static_cast<std::uint32_t>(Byte(at + 3));
    }
    double Float(int at) const
    {
        const std::uint32_t bits = Int(at);
        float f = 0;
        std::memcpy(&f, &bits, 4);
        return std::isfinite(f) ? f : 0.0;
    }

private:
    const QByteArray& bytes_;
};

int ClampShort(double value)
{
    return static_cast<int>(std::clamp(value, -32768.0, 32767.0));
}

int TypeOf(OverlayShape::Kind kind)
{
    switch (kind) {
    case OverlayShape::Kind::Line: return kLine;
    case OverlayShape::Kind::Polyline: return kPolyline;
    case OverlayShape::Kind::Polygon: return kPolygon;
    case OverlayShape::Kind::Angle: return kAngle;
    case OverlayShape::Kind::Rectangle:
    case OverlayShape::Kind::Text: return kRect;
    case OverlayShape::Kind::Oval: return kOval;
    case OverlayShape::Kind::Points: return kPoint;
    }
    return kRect;
}

bool IsPointList(OverlayShape::Kind kind)
{
    return kind == OverlayShape::Kind::Polyline || kind == OverlayShape::Kind::Polygon ||
           kind == OverlayShape::Kind::Angle || kind == OverlayShape::Kind::Points;
}

void PutUtf16(Writer& w, int at, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) w.Short(at + static_cast<int>(2 * i), text[i].unicode());
}

QString ReadUtf16(const Reader& r, int at, int length)
{
    QString text;
    text.reserve(length);
    for (int i = 0; i < length; ++i) text += QChar(static_cast<char16_t>(r.UnsignedShort(at + 2 * i)));
    return text;
}

void PutBigOrLittle(QByteArray& bytes, std::uint32_t value, bool bigEndian)
{
    for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>((value >> (bigEndian ? 24 - 8 * i : 8 * i)) & 0xff));
}

std::uint32_t ReadBigOrLittle(const QByteArray& bytes, qsizetype at, bool bigEndian)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
        value |= byte << (bigEndian ? 24 - 8 * i : 8 * i);
    }
    return value;
}

} // namespace

QByteArray EncodeImageJRoi(const OverlayShape& shape)
{
    const auto& p = shape.points;
    const bool pointList = IsPointList(shape.kind);
    const int n = pointList ? static_cast<int>(std::min<std::size_t>(p.size(), kMaxPoints)) : 0;
    const bool text = shape.kind == OverlayShape::Kind::Text;
    const QString font = QStringLiteral("SansSerif");
    const int textPart = text ? 16 + 2 * static_cast<int>(font.size() + shape.text.size()) + 4 : 0;
    const int coordinates = pointList ? 12 * n : 0; // shorts, then floats
    const int header2At = kHeaderSize + coordinates + textPart;
    const int nameAt = header2At + kHeader2Size;
    Writer w(nameAt + 2 * shape.name.size());
    w.Bytes().replace(0, 4, "Iout");
    w.Short(4, kVersion);
    w.Byte(kType, TypeOf(shape.kind));

    double left = 0, top = 0, right = 0, bottom = 0;
    if (!p.empty()) {
        left = right = p[0].x();
        top = bottom = p[0].y();
        for (const QPointF& point : p) {
            left = std::min(left, point.x());
            right = std::max(right, point.x());
            top = std::min(top, point.y());
            bottom = std::max(bottom, point.y());
        }
    }
    const int leftPixel = ClampShort(std::floor(left)), topPixel = ClampShort(std::floor(top));
    w.Short(kTop, topPixel);
    w.Short(kLeft, leftPixel);
    w.Short(kBottom, ClampShort(std::ceil(bottom)));
    w.Short(kRight, ClampShort(std::ceil(right)));
    w.Short(kCoordinateCount, n);
    int options = 0;
    switch (shape.kind) {
    case OverlayShape::Kind::Line:
        if (p.size() >= 2) {
            w.Float(kX1, p[0].x());
            w.Float(kY1, p[0].y());
            w.Float(kX2, p[1].x());
            w.Float(kY2, p[1].y());
        }
        break;
    case OverlayShape::Kind::Rectangle:
    case OverlayShape::Kind::Oval:
    case OverlayShape::Kind::Text:
        w.Float(kX1, left);
        w.Float(kY1, top);
        w.Float(kX2, right - left);
        w.Float(kY2, bottom - top);
        options |= kSubPixel;
        break;
    default:
        for (int i = 0; i < n; ++i) {
            w.Short(kHeaderSize + 2 * i, ClampShort(p[static_cast<std::size_t>(i)].x() - leftPixel));
            w.Short(kHeaderSize + 2 * (n + i), ClampShort(p[static_cast<std::size_t>(i)].y() - topPixel));
            w.Float(kHeaderSize + 4 * n + 4 * i, p[static_cast<std::size_t>(i)].x());
            w.Float(kHeaderSize + 8 * n + 4 * i, p[static_cast<std::size_t>(i)].y());
        }
        options |= kSubPixel;
        break;
    }
    w.Short(kStrokeWidth, static_cast<int>(std::lround(shape.strokeWidth)));
    w.Int(kStrokeColour, shape.strokeArgb);
    w.Short(kOptions, options);
    if (text) {
        w.Short(kSubtype, kSubtypeText);
        w.Int(kHeaderSize, static_cast<std::uint32_t>(shape.fontSize > 0 ? shape.fontSize : 12));
        w.Int(kHeaderSize + 4, 0); // plain, left-justified
        w.Int(kHeaderSize + 8, static_cast<std::uint32_t>(font.size()));
        w.Int(kHeaderSize + 12, static_cast<std::uint32_t>(shape.text.size()));
        PutUtf16(w, kHeaderSize + 16, font);
        PutUtf16(w, kHeaderSize + 16 + 2 * static_cast<int>(font.size()), shape.text);
    }
    w.Int(kHeader2Offset, static_cast<std::uint32_t>(header2At));
    if (!shape.name.isEmpty()) {
        w.Int(header2At + kNameOffset, static_cast<std::uint32_t>(nameAt));
        w.Int(header2At + kNameLength, static_cast<std::uint32_t>(shape.name.size()));
        PutUtf16(w, nameAt, shape.name);
    }
    w.Float(header2At + kFloatStrokeWidth, shape.strokeWidth);
    return w.Bytes();
}

std::optional<OverlayShape> DecodeImageJRoi(const QByteArray& bytes)
{
    const Reader r(bytes);
    if (!r.Has(0, kHeaderSize) || !bytes.startsWith("Iout")) return std::nullopt;
    if (r.Int(kShapeRoiSize) != 0) return std::nullopt; // a composite shape
    const int version = r.Short(4);
    const int type = r.Byte(kType);
    const int subtype = r.Short(kSubtype);
    const int options = r.UnsignedShort(kOptions);
    const int top = r.Short(kTop), left = r.Short(kLeft), bottom = r.Short(kBottom), right = r.Short(kRight);
    const int n = r.UnsignedShort(kCoordinateCount);
    const bool subPixel = (options & kSubPixel) != 0 && version >= 222;

    OverlayShape shape;
    shape.strokeArgb = r.Int(kStrokeColour);
    shape.strokeWidth = r.UnsignedShort(kStrokeWidth);
    const qint64 header2At = r.Int(kHeader2Offset);
    if (header2At > 0 && r.Has(header2At, kHeader2Size)) {
        const int at = static_cast<int>(header2At);
        if (const double width = r.Float(at + kFloatStrokeWidth); width > 0) shape.strokeWidth = width;
        const qint64 nameAt = r.Int(at + kNameOffset);
        const qint64 nameLength = r.Int(at + kNameLength);
        if (nameAt > 0 && nameLength > 0 && r.Has(nameAt, 2 * nameLength))
            shape.name = ReadUtf16(r, static_cast<int>(nameAt), static_cast<int>(nameLength));
    }
    auto box = [&]() -> std::vector<QPointF> {
        if (subPixel && version >= 223) {
            const double x = r.Float(kX1), y = r.Float(kY1);
            return {QPointF(x, y), QPointF(x + r.Float(kX2), y + r.Float(kY2))};
        }
        return {QPointF(left, top), QPointF(right, bottom)};
    };
    switch (type) {
    case kLine:
        shape.kind = OverlayShape::Kind::Line;
        shape.points = {QPointF(r.Float(kX1), r.Float(kY1)), QPointF(r.Float(kX2), r.Float(kY2))};
        return shape;
    case kRect:
        if (subtype == kSubtypeText) {
            if (!r.Has(kHeaderSize, 16)) return std::nullopt;
            const qint64 fontLength = r.Int(kHeaderSize + 8), textLength = r.Int(kHeaderSize + 12);
            if (fontLength > 1024 || textLength > 1 << 20 || !r.Has(kHeaderSize + 16, 2 * (fontLength + textLength)))
                return std::nullopt;
            shape.kind = OverlayShape::Kind::Text;
            shape.fontSize = static_cast<int>(std::min<std::uint32_t>(r.Int(kHeaderSize), 1000));
            shape.text =
                ReadUtf16(r, kHeaderSize + 16 + 2 * static_cast<int>(fontLength), static_cast<int>(textLength));
            shape.points = {box().front()};
            return shape;
        }
        if (subtype != 0) return std::nullopt; // an image
        shape.kind = OverlayShape::Kind::Rectangle;
        shape.points = box();
        return shape;
    case kOval:
        shape.kind = OverlayShape::Kind::Oval;
        shape.points = box();
        return shape;
    case kPolygon:
    case kPolyline:
    case kAngle:
    case kPoint:
    case 4: // a free line
    case 7: // a freehand outline
    case 8: // a traced outline
    {
        if (n == 0 || !r.Has(kHeaderSize, (subPixel ? 12 : 4) * static_cast<qint64>(n))) return std::nullopt;
        shape.kind = type == kPolyline || type == 4 ? OverlayShape::Kind::Polyline
                     : type == kAngle               ? OverlayShape::Kind::Angle
                     : type == kPoint               ? OverlayShape::Kind::Points
                                                    : OverlayShape::Kind::Polygon;
        shape.points.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            if (subPixel)
                shape.points.emplace_back(r.Float(kHeaderSize + 4 * n + 4 * i), r.Float(kHeaderSize + 8 * n + 4 * i));
            else
                shape.points.emplace_back(left + std::max(0, r.Short(kHeaderSize + 2 * i)),
                                          top + std::max(0, r.Short(kHeaderSize + 2 * (n + i))));
        }
        return shape;
    }
    default: return std::nullopt;
    }
}

ImageJMetadata EncodeImageJOverlay(const std::vector<OverlayShape>& shapes, bool bigEndianFile)
{
    ImageJMetadata metadata;
    if (shapes.empty()) return metadata;
    PutBigOrLittle(metadata.bytes, kMagic, bigEndianFile);
    PutBigOrLittle(metadata.bytes, kOverlay, bigEndianFile);
    PutBigOrLittle(metadata.bytes, static_cast<std::uint32_t>(shapes.size()), bigEndianFile);
    metadata.counts.push_back(static_cast<std::uint32_t>(metadata.bytes.size()));
    for (const OverlayShape& shape : shapes) {
        const QByteArray roi = EncodeImageJRoi(shape);
        metadata.counts.push_back(static_cast<std::uint32_t>(roi.size()));
        metadata.bytes.append(roi);
    }
    return metadata;
}

std::vector<OverlayShape> DecodeImageJOverlay(const std::vector<std::uint32_t>& counts, const QByteArray& bytes,
                                              bool bigEndianFile)
{
    std::vector<OverlayShape> shapes;
    if (counts.empty()) return shapes;
    const std::uint32_t header = counts[0];
    if (header < 12 || header > kMaxHeader || header > static_cast<std::uint32_t>(bytes.size())) return shapes;
    if (ReadBigOrLittle(bytes, 0, bigEndianFile) != kMagic) return shapes;
    const std::uint32_t types = (header - 4) / 8;
    qint64 at = header;   // where the next part starts
    std::size_t part = 1; // its size in `counts`
    for (std::uint32_t t = 0; t < types; ++t) {
        const std::uint32_t type = ReadBigOrLittle(bytes, 4 + 8 * t, bigEndianFile);
        const std::uint32_t count = ReadBigOrLittle(bytes, 8 + 8 * t, bigEndianFile);
        for (std::uint32_t k = 0; k < count; ++k, ++part) {
            if (part >= counts.size()) return shapes;
            const qint64 size = counts[part];
            if (at + size > bytes.size()) return shapes;
            if (type == kOverlay)
                if (auto shape = DecodeImageJRoi(bytes.mid(at, size))) shapes.push_back(std::move(*shape));
            at += size;
        }
    }
    return shapes;
}
