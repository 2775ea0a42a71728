// The target grammar: ParseTargetCodes and HasTargetCode against a model of
// the grammar with the list's limits (five entries of fifteen characters).
// Input: target text, NUL, code string, NUL, a second target text (parsed
// after the first, as a second call goes on from the count).
#include <string.h>

#include <vector>

#include "fuzz.h"
#include "setup1.h"

struct ModelList {
    std::vector<std::string> entries;
    char edition = ' ';
};

static void ModelParse(ModelList *list, const std::string &text)
{
    // Entries past the last slot are dropped, characters past 15 too.
    std::string current;
    bool keep = list->entries.size() < TARGET_SLOTS;
    for (char c : text) {
        if (c == ' ') break;
        if (c == '+') {
            if (keep) list->entries.push_back(current);
            current.clear();
            keep = list->entries.size() < TARGET_SLOTS;
            continue;
        }
        if (c == '3' || c == '4' || c == 'N') list->edition = c;
        if (current.size() < TARGET_CODE_SIZE - 1) current += c;
    }
    if (keep) list->entries.push_back(current);
}

static bool IsRunChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

static std::string Run(const std::string &text)
{
    size_t n = 0;
    while (n < text.size() && IsRunChar(text[n])) ++n;
    return text.substr(0, n);
}

static int ModelMatch(const ModelList &list, const std::string &code)
{
    std::string codeRun = Run(code);
    for (const std::string &entry : list.entries) {
        bool all = true;
        for (char c : Run(entry))
            if (codeRun.find(c) == std::string::npos) all = false;
        if (all) return 1;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string first = NextField(&data, &size);
    std::string code = NextField(&data, &size);
    std::string second = NextField(&data, &size);
    // The plan's buffer holds at most 259 characters of target text.
    if (first.size() > TARGET_TEXT_SIZE - 1) first.resize(TARGET_TEXT_SIZE - 1);
    if (second.size() > TARGET_TEXT_SIZE - 1) second.resize(TARGET_TEXT_SIZE - 1);

    memset(&PhaseTwoPlan.TargetList, 0x5A, sizeof PhaseTwoPlan.TargetList);
    PhaseTwoPlan.TargetList.count = 0;
    PhaseTwoPlan.EditionLetter = ' ';
    ModelList model;

    EXPECT(ParseTargetCodes(first.c_str()) == 1);
    ModelParse(&model, first);
    if (!second.empty()) {
        EXPECT(ParseTargetCodes(second.c_str()) == 1);
        ModelParse(&model, second);
    }

    EXPECT(PhaseTwoPlan.TargetList.count >= 1 && PhaseTwoPlan.TargetList.count <= TARGET_SLOTS);
    EXPECT((size_t)PhaseTwoPlan.TargetList.count == model.entries.size());
    for (int i = 0; i < PhaseTwoPlan.TargetList.count; ++i) {
        EXPECT(strnlen(PhaseTwoPlan.TargetList.entries[i], TARGET_CODE_SIZE) < TARGET_CODE_SIZE);
        EXPECT(model.entries[i] == PhaseTwoPlan.TargetList.entries[i]);
    }
    EXPECT(PhaseTwoPlan.EditionLetter == model.edition);
    EXPECT(HasTargetCode(code.c_str()) == ModelMatch(model, code));
    EXPECT(HasTargetCode("S") == ModelMatch(model, "S"));
    return 0;
}
