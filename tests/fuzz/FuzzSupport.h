#pragma once
// What every harness needs: the input written to a file (the code under test reads files),
// and a Qt application object for the harnesses that need one.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Writes the input to a file named `name` in a folder of the harness's own and returns its path.
QString WriteInput(const char* name, const std::uint8_t* data, std::size_t size);
// A QApplication on the offscreen platform, made once.
void EnsureApplication();
