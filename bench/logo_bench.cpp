// Time per operation of the steps an import goes through, on data in memory: the
// EDC/ECC of the 12 logo sectors, the BMP codec, the console's key, and the whole
// import of a bitmap into an image prefix.
#include "sample_disc.h"

#include "logo/picture/bitmap_exchange.h"
#include "logo/console/console_view.h"
#include "logo/disc/disc_image_layout.h"
#include "logo/disc/sector_checks.h"

#include <benchmark/benchmark.h>

namespace tolvane {
namespace {

using bench::sampleLogo;
using bench::validPrefix;

constexpr Byte kKey = 0x0D;

// What an import costs in EDC/ECC: every logo sector checked as read, then rewritten.
void SectorChecks_CheckAndRewrite12(benchmark::State& state) {
    const ImagePrefix asRead = validPrefix();
    ImagePrefix patched = asRead;
    insertLogo(sampleLogo(1), patched);
    if (refreshCheckFields(patched, asRead) != kLogoSectors) state.SkipWithError("the sample sectors are not valid");
    for (auto _ : state) benchmark::DoNotOptimize(refreshCheckFields(patched, asRead));
}
BENCHMARK(SectorChecks_CheckAndRewrite12)->Unit(benchmark::kMicrosecond);

void SectorChecks_Check12(benchmark::State& state) {
    const ImagePrefix prefix = validPrefix();
    for (auto _ : state)
        for (std::size_t n = 0; n < kLogoSectors; ++n)
            benchmark::DoNotOptimize(inspectSector(rawSector(prefix.bytes(), n)));
}
BENCHMARK(SectorChecks_Check12)->Unit(benchmark::kMicrosecond);

void SectorChecks_Rewrite12(benchmark::State& state) {
    ImagePrefix prefix = validPrefix();
    for (auto _ : state)
        for (std::size_t n = 0; n < kLogoSectors; ++n)
            benchmark::DoNotOptimize(writeCheckFields(rawSector(prefix.bytes(), n)));
}
BENCHMARK(SectorChecks_Rewrite12)->Unit(benchmark::kMicrosecond);

// One EDC over the bytes a Mode 2 Form 1 sector's covers.
void SectorChecks_Edc(benchmark::State& state) {
    const ImagePrefix prefix = validPrefix();
    const auto covered = prefix.bytes().subspan(16, 2056);
    for (auto _ : state) benchmark::DoNotOptimize(computeEdc(covered));
}
BENCHMARK(SectorChecks_Edc)->Unit(benchmark::kMicrosecond);

void Bitmap_Encode(benchmark::State& state) {
    const GreyPicture picture = pictureOf(sampleLogo(2));
    for (auto _ : state) benchmark::DoNotOptimize(encodeBitmap(picture, builtInBitmapHeader()));
}
BENCHMARK(Bitmap_Encode)->Unit(benchmark::kMicrosecond);

void Bitmap_Decode(benchmark::State& state) {
    const std::vector<Byte> file = encodeBitmap(pictureOf(sampleLogo(2)), builtInBitmapHeader());
    for (auto _ : state) benchmark::DoNotOptimize(decodeBitmap(file, "logo.bmp", kLogoShape));
}
BENCHMARK(Bitmap_Decode)->Unit(benchmark::kMicrosecond);

void ConsoleView_Decode(benchmark::State& state) {
    const LogoImage stored = sampleLogo(3);
    for (auto _ : state) benchmark::DoNotOptimize(decodeLogo(stored, kKey, state.range(0) != 0));
}
BENCHMARK(ConsoleView_Decode)->Arg(0)->Arg(1)->ArgName("pal")->Unit(benchmark::kMicrosecond);

void ConsoleView_Encode(benchmark::State& state) {
    const GreyPicture shown = decodeLogo(sampleLogo(3), kKey, state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(encodeLogo(shown, kKey));
}
BENCHMARK(ConsoleView_Encode)->Arg(0)->Arg(1)->ArgName("pal")->Unit(benchmark::kMicrosecond);

// The whole import in memory: the bitmap decoded, the logo put into a copy of
// the prefix, the check fields of its sectors recomputed.
void Import_InMemory(benchmark::State& state) {
    const ImagePrefix asRead = validPrefix();
    const std::vector<Byte> file = encodeBitmap(pictureOf(sampleLogo(4)), builtInBitmapHeader());
    for (auto _ : state) {
        ImagePrefix prefix = asRead;
        insertLogo(logoOf(decodeBitmap(file, "logo.bmp", kLogoShape)), prefix);
        benchmark::DoNotOptimize(refreshCheckFields(prefix, asRead));
        benchmark::DoNotOptimize(prefix.bytes().data());
    }
}
BENCHMARK(Import_InMemory)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane
