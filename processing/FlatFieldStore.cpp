#include "processing/FlatFieldStore.h"

#include "framework/DamagedFiles.h"
#include "framework/RegularFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cmath>

namespace {
const QByteArray kMagic("QRVFLAT1");
constexpr int kHeaderBytes = 8 + 4 * 3;
constexpr qint64 kMaxFileBytes = 256ll * 1024 * 1024;
constexpr int kMaxSide = 16384;

void PutSamples(QByteArray& out, const std::vector<float>& values)
{
    for (const float value : values) {
        const auto sample = static_cast<quint16>(std::lround(std::clamp(value, 0.0f, 255.99f) * 256.0f));
        char bytes[2];
        qToLittleEndian(sample, bytes);
        out.append(bytes, 2);
    }
}
} // namespace

QString FlatFieldStore::PathFor(const std::string& identity, int width, int height) const
{
    // The identity can hold any characters; its hash names the file.
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(identity), QCryptographicHash::Sha1).toHex();
    return folder_ +
           QStringLiteral("/flatfield-%1-%2x%3.bin").arg(QString::fromLatin1(hash.left(16))).arg(width).arg(height);
}

QByteArray FlatFieldStore::Encode(const FlatFieldReference& reference)
{
    QByteArray payload;
    payload.reserve(static_cast<qsizetype>((reference.white.size() + reference.dark.size()) * 2));
    PutSamples(payload, reference.white);
    PutSamples(payload, reference.dark);
    QByteArray file = kMagic;
    char number[4];
    for (const qint32 value : {static_cast<qint32>(reference.width), static_cast<qint32>(reference.height),
                               static_cast<qint32>(reference.dark.empty() ? 0 : 1)}) {
        qToLittleEndian(value, number);
        file.append(number, 4);
    }
    return file + qCompress(payload);
}

std::optional<FlatFieldReference> FlatFieldStore::Decode(const QByteArray& bytes, QString* error)
{
    auto fail = [error](const char* why) -> std::optional<FlatFieldReference> {
        if (error) *error = QString::fromLatin1(why);
        return std::nullopt;
    };
    if (bytes.size() < kHeaderBytes || !bytes.startsWith(kMagic)) return fail("not a flat-field reference");
    const auto* header = reinterpret_cast<const uchar*>(bytes.constData()) + 8;
    const qint32 width = qFromLittleEndian<qint32>(header);
    const qint32 height = qFromLittleEndian<qint32>(header + 4);
    const qint32 hasDark = qFromLittleEndian<qint32>(header + 8);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || (hasDark != 0 && hasDark != 1))
        return fail("the reference's size is not a picture's");
    const qint64 values = static_cast<qint64>(width) * height * 3;
    const qint64 expected = values * 2 * (hasDark ? 2 : 1);
    // qCompress keeps the uncompressed size in its first four bytes: checked before it
    // allocates anything.
    const QByteArray packed = bytes.mid(kHeaderBytes);
    if (packed.size() < 4 || qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(packed.constData())) != expected)
        return fail("the reference is damaged");
    const QByteArray payload = qUncompress(packed);
    if (payload.size() != expected) return fail("the reference is damaged");
    FlatFieldReference reference;
    reference.width = width;
    reference.height = height;
    const auto* samples = reinterpret_cast<const uchar*>(payload.constData());
    auto read = [&](std::vector<float>& into, qint64 from) {
        into.resize(static_cast<std::size_t>(values));
        for (qint64 i = 0; i < values; ++i)
            into[static_cast<std::size_t>(i)] = qFromLittleEndian<quint16>(samples + 2 * (from + i)) / 256.0f;
    };
    read(reference.white, 0);
    if (hasDark) read(reference.dark, values);
    return reference;
}

bool FlatFieldStore::Save(const std::string& identity, const FlatFieldReference& reference, QString* error) const
{
    if (!QDir().mkpath(folder_)) {
        if (error) *error = QStringLiteral("the folder %1 cannot be made").arg(folder_);
        return false;
    }
    return WriteFileWhole(PathFor(identity, reference.width, reference.height), Encode(reference), error);
}

std::optional<FlatFieldReference> FlatFieldStore::Load(const std::string& identity, int width, int height,
                                                       QString* error) const
{
    const QString path = PathFor(identity, width, height);
    if (!QFile::exists(path)) return std::nullopt;
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxFileBytes);
    if (!bytes) {
        if (error) *error = QStringLiteral("%1 cannot be read").arg(path);
        return std::nullopt;
    }
    std::optional<FlatFieldReference> reference = Decode(*bytes, error);
    if (reference && (reference->width != width || reference->height != height)) {
        if (error) *error = QStringLiteral("%1 is for another capture size").arg(path);
        return std::nullopt;
    }
    return reference;
}

bool FlatFieldStore::Remove(const std::string& identity, int width, int height) const
{
    return QFile::remove(PathFor(identity, width, height));
}

QStringList FlatFieldStore::KeepDamagedFilesAside() const
{
    QStringList notices;
    const QFileInfoList files = QDir(folder_).entryInfoList({QStringLiteral("flatfield-*.bin")}, QDir::Files);
    for (const QFileInfo& file : files) {
        QString reason = QStringLiteral("it cannot be read");
        const std::optional<QByteArray> bytes = ReadRegularFile(file.filePath(), kMaxFileBytes);
        if (bytes && Decode(*bytes, &reason)) continue;
        const QString aside = KeepDamagedAside(file.filePath());
        notices << (aside.isEmpty()
                        ? QStringLiteral("%1 is damaged (%2) and could not be kept aside").arg(file.filePath(), reason)
                        : QStringLiteral("the even-light reference %1 was damaged (%2); it is kept as %3, and "
                                         "even light is off for its microscope until a new reference is taken")
                              .arg(file.filePath(), reason, aside));
    }
    return notices;
}
