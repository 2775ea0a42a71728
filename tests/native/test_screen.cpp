#include <string.h>

#include "backdrop.h"
#include "band_cases.h"
#include "prompt.h"
#include "testing.h"

TEST_CASE("BandHeight is the screen height over 192, with 1 raised to 2")
{
    static const struct {
        int height, want;
    } cases[] = {
        {0, 0},   {191, 0}, {192, 2}, {383, 2}, {384, 2},  {480, 2},
        {575, 2}, {576, 3}, {600, 3}, {768, 4}, {1024, 5}, {1200, 6},
    };
    for (const auto &c : cases) {
        INFO("height ", c.height);
        CHECK(BandHeight(c.height) == c.want);
    }
}

TEST_CASE("GradientBands gives the bands of the screen heights in the table")
{
    for (const auto &c : BandCases) {
        INFO("height ", c.height);
        GradientBand bands[256];
        memset(bands, MARKER, sizeof bands);
        int count = GradientBands(c.height, bands);
        REQUIRE(count >= 1);
        REQUIRE(count <= 255);
        REQUIRE(count == c.count);
        CHECK(bands[0].top == 0);
        CHECK(bands[0].bottom == c.bandHeight + 2);
        CHECK(bands[count - 1].intensity == c.lastIntensity);
        GradientBand untouched;
        memset(&untouched, MARKER, sizeof untouched);
        CHECK(memcmp(&bands[count], &untouched, sizeof untouched) == 0);
        CHECK(bands[255].top == 0x5A5A5A5A);  // the room for 255 was kept to
        for (int i = 1; i < count; ++i) {
            INFO("band ", i);
            CHECK(bands[i].intensity == 255 - i);
            CHECK(bands[i].top == bands[i - 1].bottom - 1);
            CHECK(bands[i].bottom == bands[i - 1].bottom + c.bandHeight);
            CHECK(bands[i - 1].bottom - 1 <= c.height);  // no band after one that ends below the screen
        }
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

TEST_CASE("DialogPlacement: centred across and a third down, or on the remembered centre, never before 0, 0")
{
    static const struct {
        int screenWidth, screenHeight, width, height;
        DialogPoint centre, want;
    } cases[] = {
        {640, 480, 285, 300, {-1, -1}, {177, 60}},
        {640, 480, 190, 181, {-1, -1}, {225, 99}},  // (480 - 181) / 3 = 99.67 truncated
        {641, 480, 0, 0, {-1, -1}, {320, 160}},
        {641, 481, 0, 0, {-1, -1}, {320, 160}},
        {640, 480, 640, 480, {-1, -1}, {0, 0}},
        {640, 480, 700, 500, {-1, -1}, {0, 0}},  // larger than the screen
        {800, 600, 1000, 700, {-1, -1}, {0, 0}},
        {640, 480, 643, 100, {-1, -1}, {0, 126}},  // -3 / 2 is -1, then 0
        {640, 480, 100, 482, {-1, -1}, {270, 0}},
        {320, 200, 285, 300, {-1, -1}, {17, 0}},
        {640, 480, 400, 300, {-1, -1}, {120, 60}},
        {0, 0, 0, 0, {-1, -1}, {0, 0}},
        {640, 480, 285, 300, {-1, 400}, {177, 60}},  // x -1: nothing remembered, whatever y is
        {640, 480, 400, 301, {-1, 7}, {120, 59}},
        {640, 480, 285, 300, {320, 240}, {178, 90}},  // 320 + (-285) / 2 = 320 - 142
        {640, 480, 401, 301, {320, 240}, {120, 90}},
        {640, 480, 3, 3, {10, 10}, {9, 9}},         // -3 / 2 truncates towards zero
        {640, 480, 285, 300, {400, -1}, {258, 0}},  // y -1 is an ordinary centre
        {640, 480, 285, 300, {100, 50}, {0, 0}},
        {640, 480, 400, 300, {100, 50}, {0, 0}},
        {640, 480, 285, 300, {1000, 900}, {858, 750}},  // no limit at the right or bottom
        {640, 480, 100, 100, {900, 900}, {850, 850}},
        {640, 480, 285, 300, {-300, -400}, {0, 0}},
        {640, 480, 400, 300, {-2, -1}, {0, 0}},
    };
    for (const auto &c : cases) {
        INFO("screen ", c.screenWidth, "x", c.screenHeight, " dialog ", c.width, "x", c.height, " centre ", c.centre.x,
             ",", c.centre.y);
        DialogPoint got = DialogPlacement(c.screenWidth, c.screenHeight, c.width, c.height, c.centre);
        CHECK(got.x == c.want.x);
        CHECK(got.y == c.want.y);
    }
}

TEST_CASE("TrimBlanks removes blanks before and after a typed path, none inside")
{
    static const struct {
        const char *text, *want;
    } cases[] = {
        {"C:\\ZSTAGE6  ", "C:\\ZSTAGE6"},
        {"  C:\\ZSTAGE6", "C:\\ZSTAGE6"},
        {" \tC:\\MY STAGE\t ", "C:\\MY STAGE"},
        {"   ", ""},
        {"", ""},
        {"C:\\X", "C:\\X"},
    };
    for (const auto &c : cases) {
        char text[PATH_SIZE + 1];
        memset(text, MARKER, sizeof text);
        strcpy(text, c.text);
        INFO("TrimBlanks(\"", c.text, "\")");
        TrimBlanks(text);
        CHECK(Text(text) == c.want);
        CHECK(text[strlen(c.text) + 1] == MARKER);
    }
}
