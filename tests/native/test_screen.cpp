#include <string.h>

#include "backdrop.h"
#include "native.h"
#include "prompt.h"

TEST_CASE("BandHeight is the screen height over 192, with 1 raised to 2")
{
    static const struct { int height, want; } cases[] = {
        {0, 0}, {191, 0}, {192, 2}, {383, 2}, {384, 2}, {480, 2}, {575, 2},
        {576, 3}, {600, 3}, {768, 4}, {1024, 5}, {1200, 6},
    };
    for (const auto &c : cases) {
        INFO("height ", c.height);
        CHECK(BandHeight(c.height) == c.want);
    }
}

TEST_CASE("GradientBands gives the bands of the screen heights in the table")
{
    static const struct { int height, count, lastIntensity; } cases[] = {
        {480, 240, 16}, {600, 200, 56}, {768, 192, 64}, {1024, 205, 51}, {550, 255, 1},
    };
    for (const auto &c : cases) {
        GradientBand bands[256];
        memset(bands, 0x5A, sizeof bands);
        INFO("height ", c.height);
        int count = GradientBands(c.height, bands);
        REQUIRE(count == c.count);
        CHECK(bands[count - 1].intensity == c.lastIntensity);
        CHECK(bands[255].top == 0x5A5A5A5A);  // the room for 255 was kept to
    }
}

TEST_CASE("GradientBands keeps to 255 bands that join from the top down at every height")
{
    for (int height = 0; height <= 4000; ++height) {
        GradientBand bands[256];
        memset(bands, 0x5A, sizeof bands);
        int count = GradientBands(height, bands);
        INFO("height ", height);
        REQUIRE(count >= 1);
        REQUIRE(count <= 255);
        CHECK(bands[255].top == 0x5A5A5A5A);
        int s = BandHeight(height);
        CHECK(bands[0].top == 0);
        CHECK(bands[0].bottom == s + 2);
        for (int i = 0; i < count; ++i) {
            CHECK(bands[i].intensity == 255 - i);
            if (i > 0) {
                CHECK(bands[i].top == bands[i - 1].bottom - 1);
                CHECK(bands[i].bottom == bands[i - 1].bottom + s);
            }
        }
        // It ends when the bands pass the screen or the blue runs out.
        CHECK((bands[count - 1].bottom - 1 > height || count == 255));
        if (count > 1) CHECK(bands[count - 2].bottom - 1 <= height);
    }
}

TEST_CASE("DialogPlacement centres across, a third down, or on the remembered centre")
{
    static const struct { int sw, sh, w, h; DialogPoint centre; DialogPoint want; } cases[] = {
        {640, 480, 400, 300, {-1, -1}, {120, 60}},
        {640, 480, 400, 301, {-1, 7}, {120, 59}},
        {800, 600, 1000, 700, {-1, -1}, {0, 0}},
        {640, 480, 401, 301, {320, 240}, {120, 90}},
        {640, 480, 400, 300, {100, 50}, {0, 0}},
        {640, 480, 400, 300, {-2, -1}, {0, 0}},
        {640, 480, 100, 100, {900, 900}, {850, 850}},
        {0, 0, 0, 0, {-1, -1}, {0, 0}},
        {641, 481, 0, 0, {-1, -1}, {320, 160}},
    };
    for (const auto &c : cases) {
        INFO("screen ", c.sw, "x", c.sh, " dialog ", c.w, "x", c.h, " centre ", c.centre.x, ",", c.centre.y);
        DialogPoint got = DialogPlacement(c.sw, c.sh, c.w, c.h, c.centre);
        CHECK(got.x == c.want.x);
        CHECK(got.y == c.want.y);
    }
}
