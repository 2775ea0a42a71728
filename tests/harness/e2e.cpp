#include "e2e.h"

#include <stdio.h>
#include <string.h>

#include "test_args.h"

std::string TestOption(const char *name)
{
    std::string prefix = std::string("--") + name + "=";
    for (int i = 1; i < TestArgc; ++i) {
        if (strncmp(TestArgv[i], prefix.c_str(), prefix.size()) != 0) continue;
        std::string value = TestArgv[i] + prefix.size();
        if (!value.empty() && value[0] == '/') {
            value = "Z:" + value;
            for (char &c : value)
                if (c == '/') c = '\\';
        }
        return value;
    }
    return std::string();
}

std::string ReadWholeFile(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return data;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
    fclose(f);
    return data;
}
