#pragma once
// Localised texts: one INI file per language next to the executable, section "Zentrix".
// Every lookup sees the file as it is on disk (it is parsed again whenever it changed).
// Every call site carries its English default.

#include <QString>
#include <cstdint>

class QLocale;

// The language identifier of the system's default language, in the classic
// primary (low 10 bits) / sublanguage (bits 10..15) layout.
std::uint16_t LanguageIdForLocale(const QLocale& locale);
std::uint16_t SystemLanguageId();

// File name of the language file for a language identifier, e.g. "German1252.ini".
QString LanguageFileName(std::uint16_t languageId);
// The code page that a language file name carries ("Chinese936.ini" -> 936; 1252 if none).
int CodePageOfLanguageFile(const QString& fileName);

// Builds the language file path and the help file path from the program directory and the
// given language (the system's by default). Called once at start-up.
void SelectLanguageFile(const QString& programDirectory, std::uint16_t languageId = SystemLanguageId());
QString LanguageFilePath();
QString HelpFilePath();

// Copies the text of `key` (or `defaultText`) into `buffer`, zeroed first over its full size,
// cut to size - 1 bytes. Returns the number of bytes copied.
int GetLangText(const char* key, char* buffer, int size, const char* defaultText);

// GetLangText into a buffer of `size` bytes, converted from the language file's code page
// for display.
QString LangText(const char* key, int size, const char* defaultText);

// Converts bytes in a Windows code page to Unicode; bytes that do not convert become U+FFFD.
QString DecodeCodePage(const QByteArray& bytes, int codePage);
