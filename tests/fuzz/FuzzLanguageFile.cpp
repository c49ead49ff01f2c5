// A language file next to the program: every lookup the program makes must survive it.
#include "FuzzSupport.h"
#include "framework/LangText.h"

#include <QFileInfo>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = WriteInput("English1252.ini", data, size);
    SelectLanguageFile(QFileInfo(path).path(), 0x0409);
    char buffer[30];
    for (const char* key : {"File", "MsgTitle", "ConnectMsg", "SureDeleteAll", "", "  file  "})
        GetLangText(key, buffer, sizeof buffer, "default");
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const int codePage : {1252, 936, 932, 1251, 65001}) DecodeCodePage(bytes, codePage);
    LangText("Open", 64, "Open...");
    return 0;
}
