// The band rule worked out by hand, for the tests of the bands themselves and
// for those that read the bands back from a real screen: S = H / 192 (1
// becomes 2), the first band S + 1 rows, the others S, until a band starts
// below the screen or intensity 1 has been drawn.
#pragma once

struct BandCase {
    int height, bandHeight, count, lastIntensity;
};
static const BandCase BandCases[] = {
    {0, 0, 1, 255},    {100, 0, 255, 1},  {191, 0, 255, 1},  {192, 2, 96, 160},  {300, 2, 150, 106},
    {383, 2, 192, 64}, {384, 2, 192, 64}, {480, 2, 240, 16}, {550, 2, 255, 1},   {575, 2, 255, 1},
    {576, 3, 192, 64}, {600, 3, 200, 56}, {768, 4, 192, 64}, {1024, 5, 205, 51}, {1200, 6, 200, 56},
};

static inline const BandCase *FindBandCase(int height)
{
    for (const auto &c : BandCases)
        if (c.height == height) return &c;
    return 0;
}
