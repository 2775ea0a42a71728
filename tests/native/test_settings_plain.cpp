#include <string.h>

#include "paths.h"
#include "settings/settings.h"
#include "testing.h"

TEST_CASE("ComposeAssertionText cuts to its buffer")
{
    static const struct {
        const char *module;
        int line;
        const char *want;
    } cases[] = {
        {"M", 0, "Assertion failure in module M at line 0"},
        {"", -12, "Assertion failure in module  at line -12"},
        {"X", 2147483647, "Assertion failure in module X at line 2147483647"},
        {"X", -2147483647 - 1, "Assertion failure in module X at line -2147483648"},
    };
    for (const auto &c : cases) {
        char text[PATH_SIZE];
        ComposeAssertionText(text, sizeof text, c.module, c.line);
        CHECK(Text(text) == c.want);
    }
    std::string longModule(300, 'm');
    char text[PATH_SIZE + 1];
    memset(text, MARKER, sizeof text);
    ComposeAssertionText(text, PATH_SIZE, longModule.c_str(), 7);
    CHECK(strlen(text) == 255u);
    CHECK(text[PATH_SIZE] == MARKER);
    char tiny[4];
    memset(tiny, MARKER, sizeof tiny);
    ComposeAssertionText(tiny, 3, "M", 1);
    CHECK(Bytes(tiny, 4) == Bytes("As\0Z", 4));
}
