#include "heights/HeightExport.h"

#include "framework/RegularFile.h"
#include "media/PictureWriter.h"
#include "media/TiffFile.h"

#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Grid {
    int step = 1;
    int columns = 0, rows = 0;
    std::vector<int> vertexOf; // grid point -> vertex number, -1 where the height is unknown
    struct Vertex {
        float x, y, z;
        QRgb colour;
    };
    std::vector<Vertex> vertices;
    std::vector<std::array<int, 3>> triangles;
};

Grid GridOf(const HeightMap& map, const QImage& colours, int largestSide)
{
    Grid grid;
    grid.step = std::max(1, (std::max(map.width, map.height) + largestSide - 1) / largestSide);
    grid.columns = (map.width - 1) / grid.step + 1;
    grid.rows = (map.height - 1) / grid.step + 1;
    grid.vertexOf.assign(static_cast<std::size_t>(grid.columns) * grid.rows, -1);
    const double across = map.micrometresPerPixel > 0 ? map.micrometresPerPixel : 1;
    const QImage picture = colours.size() == QSize(map.width, map.height) ? colours : QImage();
    for (int r = 0; r < grid.rows; ++r)
        for (int c = 0; c < grid.columns; ++c) {
            const int x = c * grid.step, y = r * grid.step;
            if (!map.Known(x, y)) continue;
            grid.vertexOf[static_cast<std::size_t>(r) * grid.columns + c] = static_cast<int>(grid.vertices.size());
            // x to the right, y away from the viewer (the picture's top is far), z up.
            grid.vertices.push_back({static_cast<float>(x * across), static_cast<float>((map.height - 1 - y) * across),
                                     map.At(x, y), picture.isNull() ? qRgb(200, 200, 200) : picture.pixel(x, y)});
        }
    auto at = [&](int c, int r) { return grid.vertexOf[static_cast<std::size_t>(r) * grid.columns + c]; };
    for (int r = 0; r + 1 < grid.rows; ++r)
        for (int c = 0; c + 1 < grid.columns; ++c) {
            const int a = at(c, r), b = at(c + 1, r), d = at(c, r + 1), e = at(c + 1, r + 1);
            // Counter-clockwise seen from above (z up, y flipped).
            if (a >= 0 && d >= 0 && b >= 0) grid.triangles.push_back({a, d, b});
            if (b >= 0 && d >= 0 && e >= 0) grid.triangles.push_back({b, d, e});
        }
    return grid;
}

template <typename T>
void Append(QByteArray& bytes, T value)
{
    value = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void AppendFloat(QByteArray& bytes, float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Append(bytes, bits);
}

QByteArray Ply(const Grid& grid)
{
    QByteArray bytes = "ply\nformat binary_little_endian 1.0\ncomment heights in micrometres\n"
                       "element vertex " +
                       QByteArray::number(static_cast<qlonglong>(grid.vertices.size())) +
                       "\nproperty float x\nproperty float y\nproperty float z\n"
                       "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                       "element face " +
                       QByteArray::number(static_cast<qlonglong>(grid.triangles.size())) +
                       "\nproperty list uchar int vertex_indices\nend_header\n";
    bytes.reserve(bytes.size() + static_cast<qsizetype>(grid.vertices.size() * 15 + grid.triangles.size() * 13));
    for (const Grid::Vertex& v : grid.vertices) {
        AppendFloat(bytes, v.x);
        AppendFloat(bytes, v.y);
        AppendFloat(bytes, v.z);
        bytes.append(static_cast<char>(qRed(v.colour)));
        bytes.append(static_cast<char>(qGreen(v.colour)));
        bytes.append(static_cast<char>(qBlue(v.colour)));
    }
    for (const auto& t : grid.triangles) {
        bytes.append(static_cast<char>(3));
        for (const int i : t) Append(bytes, static_cast<std::int32_t>(i));
    }
    return bytes;
}

QByteArray Stl(const Grid& grid)
{
    QByteArray bytes(80, '\0');
    const QByteArray header = "heights in micrometres";
    std::memcpy(bytes.data(), header.constData(), static_cast<std::size_t>(header.size()));
    Append(bytes, static_cast<std::uint32_t>(grid.triangles.size()));
    bytes.reserve(bytes.size() + static_cast<qsizetype>(grid.triangles.size() * 50));
    for (const auto& t : grid.triangles) {
        const Grid::Vertex &a = grid.vertices[static_cast<std::size_t>(t[0])],
                           &b = grid.vertices[static_cast<std::size_t>(t[1])],
                           &c = grid.vertices[static_cast<std::size_t>(t[2])];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
        float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (length > 0) nx /= length, ny /= length, nz /= length;
        for (const float f : {nx, ny, nz, a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z}) AppendFloat(bytes, f);
        Append(bytes, static_cast<std::uint16_t>(0));
    }
    return bytes;
}

} // namespace

bool WriteHeightTiff(const QString& path, const HeightMap& map, QString* error)
{
    if (map.Empty()) {
        if (error) *error = QStringLiteral("no heights");
        return false;
    }
    return WriteByNameWhole(
        path,
        [&](const QString& temporary, QString* why) {
            return WriteValueTiff(temporary, map.width, map.height, map.micrometres.data(),
                                  map.micrometresPerPixel / 1000, why);
        },
        error);
}

bool IsMeshName(const QString& path)
{
    return path.endsWith(QLatin1String(".ply"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".stl"), Qt::CaseInsensitive);
}

bool WriteHeightMesh(const QString& path, const HeightMap& map, const QImage& colours, QString* error, int largestSide)
{
    if (!IsMeshName(path)) {
        if (error) *error = QStringLiteral("a mesh is written as .ply or .stl");
        return false;
    }
    const Grid grid = GridOf(map, colours, std::max(2, largestSide));
    if (grid.triangles.empty()) {
        if (error) *error = QStringLiteral("no heights to make a surface of");
        return false;
    }
    const bool ply = path.endsWith(QLatin1String(".ply"), Qt::CaseInsensitive);
    return WriteFileWhole(path, ply ? Ply(grid) : Stl(grid), error);
}
