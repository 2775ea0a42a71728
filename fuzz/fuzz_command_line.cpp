// The second phase's command line: whatever the values, the line fits its
// buffer, is exactly the pieces in order, has the program quoted exactly
// when the program path holds a blank, and is empty when refused.
// Input: two bytes of line size, then staging folder, run, own command
// line, target and source folder, separated by NUL.
#include <string.h>

#include "fuzz.h"
#include "paths.h"
#include "staging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    size_t lineSize = ((size_t)data[0] | ((size_t)data[1] << 8)) % 700;
    data += 2;
    size -= 2;
    std::string directory = NextField(&data, &size);
    std::string run = NextField(&data, &size);
    std::string own = NextField(&data, &size);
    std::string target = NextField(&data, &size);
    std::string source = NextField(&data, &size);

    char *line = (char *)malloc(lineSize ? lineSize : 1);
    memset(line, 0x5A, lineSize ? lineSize : 1);
    int built = BuildPhaseTwoCommandLine(line, lineSize, directory.c_str(), run.c_str(), own.c_str(), target.c_str(),
                                         source.c_str());

    // The program path must fit a path buffer on its own.
    std::string program = ModelJoin(directory, run, SingleByteRule);
    bool programFits = directory.size() < PATH_SIZE && program.size() < PATH_SIZE;
    bool quoted = program.find(' ') != std::string::npos;
    std::string want = quoted ? "\"" + program + "\"" : program;
    if (!own.empty()) want += " " + own;
    want += " -p" + target + " " + source;
    bool fits = programFits && lineSize > 0 && want.size() < lineSize;

    EXPECT(built == (fits ? 1 : 0));
    if (lineSize == 0) {
        EXPECT(line[0] == 0x5A);
    } else if (built) {
        EXPECT(strlen(line) < lineSize);
        EXPECT(want == line);
        if (quoted) EXPECT(line[0] == '"');
    } else {
        EXPECT(line[0] == '\0');
    }
    free(line);
    return 0;
}
