#pragma once

#include <optional>
// Commands that run without a window, for scripts: --help; --convert, which writes a picture
// in another format with the scale of its calibration; --stack, which merges pictures taken
// at different focus into one sharp picture; --mosaic, which lays out pictures taken while
// sliding the sample as one. Usage on --help (exit 0); a
// command that fails says why on standard error (exit 1); a command written wrongly gets
// the usage (exit 2). Progress goes to standard error.

#include <QString>
#include <QStringList>
#include <QTextStream>

// Whether the command line asks for a command that runs without a window.
bool IsBatchCommand(const QStringList& arguments);

// Runs it and gives the exit code. `calibrationPath`: the stage calibrations' file.
int RunBatchCommand(const QStringList& arguments, const QString& calibrationPath, QTextStream& out, QTextStream& err);

QString UsageText();

// The first option on a command line for the window that neither the program nor Qt knows
// (empty when there is none): the program then prints the usage and exits with 2 rather than
// start its window.
QString UnknownWindowOption(const QStringList& arguments);

// The port of `--share` or `--share=PORT` (the default one without a number); none for
// another argument or a port that is not one.
std::optional<quint16> SharePortOption(const QString& argument);
