#include "framework/WindowSystem.h"

#include <QGuiApplication>

bool ProgramPlacesWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
