// The path helpers on buffers of every size, each an exact heap block so
// that the address sanitizer stops a write past its end. Invariants: nothing
// is ever longer than its buffer, a refused join leaves the path as it was,
// and every result is the one the path rules give.
// Each input runs under two lead-byte rules: none, and code page 932's.
// Input: two bytes of buffer size, then path text, NUL, name text.
#include <string.h>

#include "fuzz.h"
#include "paths.h"

struct Block {
    char *p;
    size_t size;
    explicit Block(size_t n) : p((char *)malloc(n ? n : 1)), size(n) { memset(p, 0x5A, n ? n : 1); }
    ~Block() { free(p); }
};

static void CheckJoin(const std::string &path, const std::string &name, size_t size, bool terminated, LeadByteRule rule)
{
    Block block(size);
    if (terminated && size > 0)
        CopyText(block.p, size, path.c_str());
    else if (size > 0)
        memset(block.p, 'U', size);  // no terminator within the buffer
    std::string before(block.p, size ? size : 1);
    std::string held = terminated && size > 0 ? std::string(block.p) : std::string();

    int joined = JoinPathIn(block.p, size, name.c_str());
    std::string want = ModelJoin(held, name, rule);
    if (joined) {
        EXPECT(terminated && size > 0);
        EXPECT(want.size() < size);
        EXPECT(want == block.p);
    } else {
        EXPECT(memcmp(before.data(), block.p, before.size()) == 0);
        EXPECT(!terminated || size == 0 || want.size() >= size);
    }
}

static void CheckUnder(LeadByteRule rule, size_t bufferSize, const std::string &path, const std::string &name)
{
    IsLeadByte = rule;
    CheckJoin(path, name, bufferSize, true, rule);
    CheckJoin(path, name, bufferSize, false, rule);
    CheckJoin(path, name, PATH_SIZE, true, rule);
    if (path.size() < PATH_SIZE) {
        char buffer[PATH_SIZE];
        memcpy(buffer, path.c_str(), path.size() + 1);
        int joined = JoinPath(buffer, name.c_str());
        std::string want = ModelJoin(path, name, rule);
        EXPECT(joined == (want.size() < PATH_SIZE));
        EXPECT(std::string(buffer) == (joined ? want : path));
    }

    // FileNamePart and DirectoryPart on an exact copy of the path.
    Block copy(path.size() + 1);
    memcpy(copy.p, path.c_str(), path.size() + 1);
    const char *start = FileNamePart(static_cast<const char *>(copy.p));
    EXPECT(start >= copy.p && start <= copy.p + path.size());
    EXPECT((size_t)(start - copy.p) == ModelNameStart(path, rule));
    EXPECT(FileNamePart(copy.p) == start);
    EXPECT(DirectoryPart(copy.p) == copy.p);
    EXPECT(ModelDirectory(path, rule) == copy.p);

    // DriveRoot: never past its buffer; a root it gives is a prefix of the
    // path or of the current directory (the name stands in for it), plus
    // at most the separator it adds.
    Block root(bufferSize);
    if (DriveRoot(root.p, bufferSize, path.c_str(), name.c_str())) {
        EXPECT(bufferSize > 0 && strlen(root.p) < bufferSize);
        if (root.p[0] && !(root.p[1] == ':' && root.p[2] == '\\' && root.p[3] == 0)) {
            std::string got = root.p;
            got.pop_back();
            EXPECT(path.compare(0, got.size(), got) == 0 || name.compare(0, got.size(), got) == 0);
        }
    } else {
        EXPECT(bufferSize == 0 || root.p[0] == 0);
    }
    PathClimbsOut(path.c_str());

    // CopyText and AppendText: cut to the buffer, say whether all fit.
    Block text(bufferSize);
    int fit = CopyText(text.p, bufferSize, path.c_str());
    if (bufferSize == 0) {
        EXPECT(fit == 0 && text.p[0] == 0x5A);
    } else {
        EXPECT(fit == (path.size() < bufferSize));
        EXPECT(std::string(text.p) == path.substr(0, bufferSize - 1));
        std::string held = text.p;
        int appended = AppendText(text.p, bufferSize, name.c_str());
        std::string whole = held + name;
        EXPECT(appended == (whole.size() < bufferSize));
        EXPECT(std::string(text.p) == whole.substr(0, bufferSize - 1));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    size_t bufferSize = ((size_t)data[0] | ((size_t)data[1] << 8)) % 600;
    data += 2;
    size -= 2;
    std::string path = NextField(&data, &size);
    std::string name = NextField(&data, &size);
    LeadByteRule saved = IsLeadByte;
    CheckUnder(SingleByteRule, bufferSize, path, name);
    CheckUnder(CodePage932Rule, bufferSize, path, name);
    IsLeadByte = saved;
    return 0;
}
