#include "app/BatchCommands.h"
#include "app/sharing/ShareControl.h"
#include "heights/HeightCalibration.h"
#include "heights/HeightExport.h"

#include "app/PictureDescription.h"
#include "app/stills/StillPicture.h"
#include "framework/RegularFile.h"
#include "measure/StageCalibration.h"
#include "media/PictureConversion.h"
#include "media/PictureFile.h"
#include "media/PictureWriter.h"
#include "processing/PictureCombining.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <optional>

namespace {

constexpr int kDone = 0, kFailed = 1, kBadUsage = 2;

int BadUsage(QTextStream& err, const QString& why)
{
    err << "qrv-dm500: " << why << "\n\n" << UsageText();
    err.flush();
    return kBadUsage;
}

int Failed(QTextStream& err, const QString& why)
{
    err << "qrv-dm500: " << why << '\n';
    err.flush();
    return kFailed;
}

// Why an output may not be written: it is one of the inputs (also through another name or
// a link), or two outputs are one file. Empty when it may.
QString OverwritesInput(const QString& output, const QStringList& inputs, const QStringList& otherOutputs = {})
{
    for (const QString& input : inputs)
        if (IsSameFile(output, input))
            return QStringLiteral("%1 is the input %2: choose another output, the input is left as it is")
                .arg(output, input);
    for (const QString& other : otherOutputs)
        if (QFileInfo(output).absoluteFilePath() == QFileInfo(other).absoluteFilePath() || IsSameFile(output, other))
            return QStringLiteral("%1 and %2 are one file: choose two outputs").arg(output, other);
    return {};
}

// The end of a command that combined its inputs: the inputs it left out, each with the
// reason, on standard output, and the exit code (1 when it left one out).
int DoneLeavingOut(const CombinedPictures& combined, QTextStream& out)
{
    for (const QString& line : combined.outcomes) out << line << '\n';
    out.flush();
    return combined.leftOut.isEmpty() ? kDone : kFailed;
}

// Progress lines on standard error, as they come.
CombineProgress ProgressTo(QTextStream& err)
{
    return [&err](const QString& line, int, int) {
        if (!line.isEmpty()) {
            err << line << '\n';
            err.flush();
        }
        return true;
    };
}

QString ScaleText(const PictureMetadata& metadata)
{
    return metadata.HasScale() ? QStringLiteral("%1 um a pixel").arg(metadata.millimetresPerPixel * 1000.0, 0, 'g', 7)
                               : QStringLiteral("no scale");
}

// --convert OUT IN [--magnification N] [--nominal]
int Convert(const QStringList& arguments, const QString& calibrationPath, QTextStream& err)
{
    QStringList files;
    std::optional<int> magnification;
    bool nominal = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--magnification")) {
            bool number = false;
            const int value = i + 1 < arguments.size() ? arguments[i + 1].toInt(&number) : 0;
            if (!number || value <= 0)
                return BadUsage(err, QStringLiteral("--magnification needs a whole number above 0"));
            magnification = value;
            ++i;
        } else if (argument == QLatin1String("--nominal")) {
            nominal = true;
        } else if (argument.startsWith(QLatin1String("--"))) {
            return BadUsage(err, QStringLiteral("unknown option %1").arg(argument));
        } else {
            files << argument;
        }
    }
    if (files.size() != 2) return BadUsage(err, QStringLiteral("--convert takes an output file and an input file"));
    const QString& output = files[0];
    const QString& input = files[1];
    if (!PictureFormatOf(output))
        return BadUsage(err, QStringLiteral("%1: the output's extension must be .bmp, .jpg, .tif or .png").arg(output));
    if (const QString why = OverwritesInput(output, {input}); !why.isEmpty()) return BadUsage(err, why);

    err << "converting " << input << " to " << output << '\n';
    err.flush();
    // The scale: the calibration of the magnification asked for; else that of the
    // magnification in the input's name; else the scale the input carries.
    const CalibrationStore calibrations(calibrationPath);
    if (magnification && !calibrations.Find(*magnification) && !nominal)
        return Failed(
            err,
            QStringLiteral("there is no calibration for %1X (--nominal takes the built-in scale)").arg(*magnification));
    const int named = MagnificationInName(input);
    const ConversionOutcome converted =
        SavePictureAs(input, output, SameFormat::Convert, [&](const PictureMetadata& carried, QSize size) {
            PictureMetadata metadata = carried;
            metadata.captured = carried.captured.isValid() ? carried.captured : QFileInfo(input).lastModified();
            if (magnification) {
                metadata.millimetresPerPixel = 0; // the magnification asked for wins over what IN carries
                metadata.magnification = *magnification;
                return DescribePicture(metadata, *magnification, size, calibrations, nominal);
            }
            if (named > 0 && (calibrations.Find(named) || nominal)) {
                metadata.millimetresPerPixel = 0;
                return DescribePicture(metadata, named, size, calibrations, nominal);
            }
            if (named > 0) metadata.magnification = named;
            return metadata;
        });
    if (converted.failure == ConversionOutcome::Reading)
        return Failed(err, QStringLiteral("cannot read %1: %2").arg(input, converted.reason));
    if (converted.failure != ConversionOutcome::None)
        return Failed(err, QStringLiteral("cannot write %1: %2").arg(output, converted.reason));
    const PictureMetadata& metadata = converted.metadata;
    err << "wrote " << output << " (" << converted.size.width() << " x " << converted.size.height() << ", "
        << ScaleText(metadata) << ")\n";
    err.flush();
    return kDone;
}

// --stack OUT INPUT... [--depth-map FILE]
int Stack(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QStringList files;
    QString depthMap;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--depth-map")) {
            if (i + 1 >= arguments.size()) return BadUsage(err, QStringLiteral("--depth-map needs a file"));
            depthMap = arguments[++i];
            if (!PictureFormatOf(depthMap))
                return BadUsage(
                    err,
                    QStringLiteral("%1: the depth map's extension must be .bmp, .jpg, .tif or .png").arg(depthMap));
        } else if (argument.startsWith(QLatin1String("--"))) {
            return BadUsage(err, QStringLiteral("unknown option %1").arg(argument));
        } else {
            files << argument;
        }
    }
    if (files.size() < 2) return BadUsage(err, QStringLiteral("--stack takes an output file and at least one input"));
    const QString output = files.takeFirst();
    if (!PictureFormatOf(output))
        return BadUsage(err, QStringLiteral("%1: the output's extension must be .bmp, .jpg, .tif or .png").arg(output));

    if (const QString why = OverwritesInput(output, files); !why.isEmpty()) return BadUsage(err, why);
    if (!depthMap.isEmpty())
        if (const QString why = OverwritesInput(depthMap, files, {output}); !why.isEmpty()) return BadUsage(err, why);

    const CombinedPictures stack = StackPictureFiles(files, ProgressTo(err));
    if (stack.picture.isNull()) return Failed(err, stack.failure);
    // The result carries what the first picture did (its scale, its magnification).
    QString error;
    if (!WritePictureFile(output, stack.picture, stack.metadata, &error))
        return Failed(err, QStringLiteral("cannot write %1: %2").arg(output, error));
    if (!depthMap.isEmpty() && !WritePictureFile(depthMap, stack.depthMap, stack.metadata, &error))
        return Failed(err, QStringLiteral("cannot write %1: %2").arg(depthMap, error));
    err << "wrote " << output << " from " << stack.used << " of " << files.size() << " pictures";
    if (!stack.leftOut.isEmpty()) err << " (" << stack.leftOut.size() << " left out)";
    err << '\n';
    err.flush();
    return DoneLeavingOut(stack, out);
}

// --mosaic OUT INPUT...
int MosaicOf(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QStringList files;
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("--")))
            return BadUsage(err, QStringLiteral("unknown option %1").arg(argument));
        files << argument;
    }
    if (files.size() < 2) return BadUsage(err, QStringLiteral("--mosaic takes an output file and at least one input"));
    const QString output = files.takeFirst();
    if (!PictureFormatOf(output))
        return BadUsage(err, QStringLiteral("%1: the output's extension must be .bmp, .jpg, .tif or .png").arg(output));

    if (const QString why = OverwritesInput(output, files); !why.isEmpty()) return BadUsage(err, why);

    const CombinedPictures mosaic = MosaicOfPictureFiles(files, ProgressTo(err));
    if (mosaic.picture.isNull()) return Failed(err, mosaic.failure);
    QString error;
    if (!WritePictureFile(output, mosaic.picture, mosaic.metadata, &error))
        return Failed(err, QStringLiteral("cannot write %1: %2").arg(output, error));
    err << "wrote " << output << " (" << mosaic.picture.width() << " x " << mosaic.picture.height() << ", "
        << mosaic.used << " of " << files.size() << " pictures placed)\n";
    err.flush();
    return DoneLeavingOut(mosaic, out);
}

// --heights OUT.tif INPUT... [--mesh OUT.ply|OUT.stl]
int Heights(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QStringList files;
    QString mesh;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--mesh")) {
            if (i + 1 >= arguments.size()) return BadUsage(err, QStringLiteral("--mesh needs a file"));
            mesh = arguments[++i];
            if (!IsMeshName(mesh))
                return BadUsage(err, QStringLiteral("%1: the mesh's extension must be .ply or .stl").arg(mesh));
        } else if (argument.startsWith(QLatin1String("--"))) {
            return BadUsage(err, QStringLiteral("unknown option %1").arg(argument));
        } else {
            files << argument;
        }
    }
    if (files.size() < 2) return BadUsage(err, QStringLiteral("--heights takes an output file and the pictures"));
    const QString output = files.takeFirst();
    if (!output.endsWith(QLatin1String(".tif"), Qt::CaseInsensitive) &&
        !output.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive))
        return BadUsage(err, QStringLiteral("%1: the height map is a TIFF (.tif)").arg(output));
    if (const QString why = OverwritesInput(output, files); !why.isEmpty()) return BadUsage(err, why);
    if (!mesh.isEmpty())
        if (const QString why = OverwritesInput(mesh, files, {output}); !why.isEmpty()) return BadUsage(err, why);

    // The growth per micrometre of the magnification in the first picture's name, when it
    // has a height calibration; else the nominal one, said as such.
    const QString calibrationPath = HeightCalibrationStore::DefaultPath();
    if (const QString notice = HeightCalibrationStore::Recover(calibrationPath); !notice.isEmpty())
        err << "qrv-dm500: " << notice << '\n';
    const HeightCalibrationStore calibrations(calibrationPath);
    const int magnification = MagnificationInName(files.front());
    const HeightScale scale = calibrations.ScaleFor(magnification);
    std::optional<HeightMap> heights;
    const CombinedPictures stack = StackPictureFiles(files, scale, heights, ProgressTo(err));
    if (stack.picture.isNull()) return Failed(err, stack.failure);
    if (!heights) return Failed(err, QStringLiteral("no heights: they need three pictures or more at different focus"));
    QString error;
    if (!WriteHeightTiff(output, *heights, &error))
        return Failed(err, QStringLiteral("cannot write %1: %2").arg(output, error));
    if (!mesh.isEmpty() && !WriteHeightMesh(mesh, *heights, stack.picture, &error))
        return Failed(err, QStringLiteral("cannot write %1: %2").arg(mesh, error));
    const auto [low, high] = heights->Range();
    err << "wrote " << output << ": heights " << low << " to " << high << " um, " << qRound(100 * heights->KnownShare())
        << " % of the picture known, from " << stack.used << " of " << files.size() << " pictures"
        << (scale.nominal ? " (nominal growth: no height calibration for this magnification)" : "") << '\n';
    err.flush();
    return DoneLeavingOut(stack, out);
}

} // namespace

std::optional<quint16> SharePortOption(const QString& argument)
{
    if (argument == QLatin1String("--share")) return ShareControl::kDefaultPort;
    if (!argument.startsWith(QLatin1String("--share="))) return std::nullopt;
    bool ok = false;
    const int port = argument.mid(8).toInt(&ok);
    if (!ok || port < 1 || port > 65535) return std::nullopt;
    return static_cast<quint16>(port);
}

QString UsageText()
{
    return QStringLiteral("Usage: qrv-dm500 [--simulate[=micrometer,uneven,blank,raw,relief,sweep,stage,path]]\n"
                          "                 [--share[=PORT]] [--stream=ADDRESS]\n"
                          "       qrv-dm500 --convert OUT IN [--magnification N] [--nominal]\n"
                          "       qrv-dm500 --stack OUT INPUT... [--depth-map FILE]\n"
                          "       qrv-dm500 --mosaic OUT INPUT...\n"
                          "       qrv-dm500 --heights OUT.tif INPUT... [--mesh OUT.ply|OUT.stl]\n"
                          "       qrv-dm500 --help | --version\n"
                          "\n"
                          "  --simulate        add the simulated microscope (a stage micrometer, an uneven lamp,\n"
                          "                    clear glass, uncompressed frames, a relief specimen, the focus\n"
                          "                    turning by itself, a stage moved by Ctrl+arrows, or moving along\n"
                          "                    a scanning path by itself)\n"
                          "  --share           share the live picture and the pictures taken with the browsers\n"
                          "                    of the local network at once (port 8080, or PORT); prints\n"
                          "                    \"sharing URL code CODE\": the address and its access code\n"
                          "  --stream          send the live picture as H.264 to a streaming server at ADDRESS\n"
                          "                    (rtmp://server/app/key, rtmps://..., srt://...), connecting\n"
                          "                    again by itself when the server drops it\n"
                          "  --convert         write the picture IN (BMP, JPEG, TIFF or PNG) as OUT, in the format\n"
                          "                    of OUT's extension (.bmp, .jpg, .tif, .png), with the scale of the\n"
                          "                    calibration of magnification N, or of the magnification in IN's\n"
                          "                    name (_200X_), or the scale IN carries; TIFF and PNG keep it;\n"
                          "                    --nominal takes the built-in scale of the magnification where it\n"
                          "                    has no calibration\n"
                          "  --stack           merge pictures taken at different focus into OUT, sharp wherever\n"
                          "                    one of them is (all of one size; aligned first); --depth-map writes\n"
                          "                    which picture each pixel came from, first black, last white;\n"
                          "                    prints \"left out NAME: why\" for each input it could not use\n"
                          "                    (unreadable, another size, not part of the focus series)\n"
                          "  --mosaic          lay out pictures taken while sliding the sample (in any order,\n"
                          "                    each overlapping another by 15 % or more) as one picture OUT;\n"
                          "                    prints for each input \"placed NAME X Y\" (its top-left in OUT, in\n"
                          "                    pixels) or \"not placed NAME: why\"\n"
                          "  --heights         the heights of a focus stack (pictures as for --stack, three or\n"
                          "                    more) as a 32-bit TIFF in micrometres that ImageJ reads (unknown\n"
                          "                    where no picture was sharp), from the picture's growth as the\n"
                          "                    focus turns and the height calibration of the magnification in\n"
                          "                    the first picture's name (else the nominal growth); --mesh also\n"
                          "                    writes the surface as PLY (with colours) or STL\n"
                          "  --help            show this text\n"
                          "  --version         show the version and where the language file and manual are\n"
                          "\n"
                          "OUT is never one of the inputs (the command refuses it) and is written whole or not\n"
                          "at all.\n"
                          "\n"
                          "Exit status: 0 done with every input, 1 the command failed (the reason on standard\n"
                          "error) or left an input out (OUT is written from the others), 2 usage.\n");
}

bool IsBatchCommand(const QStringList& arguments)
{
    for (const QString& argument : arguments.mid(1))
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
            argument == QLatin1String("--convert") || argument == QLatin1String("--stack") ||
            argument == QLatin1String("--mosaic") || argument == QLatin1String("--heights"))
            return true;
    return false;
}

int RunBatchCommand(const QStringList& arguments, const QString& calibrationPath, QTextStream& out, QTextStream& err)
{
    QCoreApplication::setApplicationVersion(QStringLiteral(QRV_VERSION)); // the files name their maker
    const QStringList rest = arguments.mid(1);
    if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h"))) {
        out << UsageText();
        out.flush();
        return kDone;
    }
    if (rest.value(0) == QLatin1String("--convert")) return Convert(rest.mid(1), calibrationPath, err);
    if (rest.value(0) == QLatin1String("--stack")) return Stack(rest.mid(1), out, err);
    if (rest.value(0) == QLatin1String("--mosaic")) return MosaicOf(rest.mid(1), out, err);
    if (rest.value(0) == QLatin1String("--heights")) return Heights(rest.mid(1), out, err);
    return BadUsage(err, QStringLiteral("the command (--convert, --stack, --mosaic, --heights) comes first"));
}

QString UnknownWindowOption(const QStringList& arguments)
{
    // Qt's own options (QGuiApplication, QApplication and the X11 platform), with one dash or
    // two; those that take a value take the next argument.
    static const QStringList withValue = {"platform",      "platformpluginpath",
                                          "platformtheme", "plugin",
                                          "qmljsdebugger", "qwindowgeometry",
                                          "qwindowicon",   "qwindowtitle",
                                          "session",       "display",
                                          "geometry",      "style",
                                          "stylesheet",    "name",
                                          "title",         "visual"};
    static const QStringList alone = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1Char('-'))) continue;
        if (argument == QLatin1String("--simulate") || argument.startsWith(QLatin1String("--simulate=")) ||
            argument == QLatin1String("--version") || SharePortOption(argument) ||
            argument.startsWith(QLatin1String("--stream=")))
            continue;
        QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        const bool hasValue = equals >= 0;
        if (hasValue) name.truncate(equals);
        if (withValue.contains(name)) {
            if (!hasValue) ++i;
            continue;
        }
        if (alone.contains(name) && !hasValue) continue;
        return argument;
    }
    return {};
}
