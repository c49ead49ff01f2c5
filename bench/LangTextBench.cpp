// One language-text lookup in the shipped English file, as the program makes over a
// hundred of them at start-up. Target: under 20 microseconds.
#include "framework/LangText.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

void LanguageTextLookup(benchmark::State& state)
{
    SelectLanguageFile(QCoreApplication::applicationDirPath() + "/..", 0x0409);
    for (auto _ : state)
        benchmark::DoNotOptimize(LangText("SureDeleteAll", 64, "Are you sure you want to delete all files?"));
}
BENCHMARK(LanguageTextLookup)->Unit(benchmark::kMicrosecond);

} // namespace
