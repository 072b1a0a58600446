// Speed of the icon library's hot paths: reading an ICO file, decoding an
// image, making a 32-pixel picture of it and converting it to a bitmap.
// Usage: bench_icons FILE.ico [benchmark options]
#include "icons/advancedicon.h"
#include "icons/i2bconvert.h"
#include "icons/icontools.h"
#include "platform/iconobject.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

using namespace vexillo;

namespace {

std::string g_file;

void BM_LoadFromFile(benchmark::State &state)
{
    TAdvancedIcon icon;
    for (auto _ : state)
        benchmark::DoNotOptimize(icon.LoadFromFile(g_file));
}

// Decodes an image, at `size` by `size` pixels or, at 0, at its own size.
void Decode(const TIconImage &image, int size)
{
    const UniqueIcon h(CreateIconFromResourceEx(ByteView(image.Data.data(), image.StoredSize()), true,
                                                kIconFormatVersion, size, size, LR_DEFAULTCOLOR));
    benchmark::DoNotOptimize(h.get());
}

// Decodes every image of the icon at its own size.
void BM_DecodeImages(benchmark::State &state)
{
    TAdvancedIcon icon;
    icon.LoadFromFile(g_file);
    for (auto _ : state)
        for (uint16_t i = 0; i < icon.Images.Count; ++i)
            Decode(*icon.Images.GetItem(i), 0);
}

// Decodes the first image scaled to 32 by 32, as a page of the catalogue does.
void BM_Decode32(benchmark::State &state)
{
    TAdvancedIcon icon;
    icon.LoadFromFile(g_file);
    for (auto _ : state)
        Decode(*icon.Images.GetItem(0), 32);
}

void BM_IconToBitmap(benchmark::State &state)
{
    TAdvancedIcon icon;
    icon.LoadFromFile(g_file);
    auto graphic = icon.Images.GetItem(0)->CreateGraphic();
    for (auto _ : state) {
        TBitmap bitmap;
        IconToBitmap(*graphic, clWhite, bitmap);
        benchmark::DoNotOptimize(bitmap.Surface().Pixels.data());
    }
}

BENCHMARK(BM_LoadFromFile);
BENCHMARK(BM_DecodeImages);
BENCHMARK(BM_Decode32);
BENCHMARK(BM_IconToBitmap);

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: bench_icons FILE.ico [benchmark options]\n");
        return 2;
    }
    g_file = argv[1];
    argv[1] = argv[0];
    ++argv;
    --argc;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
