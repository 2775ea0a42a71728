// Throughput of the copy engine against CopyFileA on the same files, for
// tools/bench-copy. usage: bench_copy SOURCE_DIR DEST_DIR ROUNDS
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "staging.h"

static double Now()
{
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return (double)t.QuadPart / (double)f.QuadPart;
}

static void Empty(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + "\\" + found.cFileName).c_str());
    while (FindNextFileA(h, &found));
    FindClose(h);
}

static double ByCopyFileSpec(const std::string &src, const std::string &dst)
{
    double start = Now();
    int result = CopyFileSpec((src + "\\*").c_str(), dst.c_str());
    double took = Now() - start;
    if (result != 0) printf("CopyFileSpec result %d\n", result);
    return took;
}

static double ByCopyFileA(const std::string &src, const std::string &dst)
{
    double start = Now();
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((src + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const char *name = found.cAlternateFileName[0] ? found.cAlternateFileName : found.cFileName;
        if (!CopyFileA((src + "\\" + name).c_str(), (dst + "\\" + name).c_str(), FALSE)) printf("CopyFileA failed\n");
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return Now() - start;
}

int main(int argc, char **argv)
{
    if (argc < 5 || atoi(argv[3]) < 1) {
        printf("usage: bench_copy SOURCE_DIR DEST_DIR ROUNDS MEGABYTES\n");
        return 2;
    }
    std::string src = argv[1], dst = argv[2];
    int rounds = atoi(argv[3]);
    double megabytes = atof(argv[4]);
    CreateDirectoryA(dst.c_str(), 0);
    // One round first to warm the cache for both.
    Empty(dst);
    ByCopyFileSpec(src, dst);
    Empty(dst);
    ByCopyFileA(src, dst);
    std::vector<double> specTimes, apiTimes, ratios;
    for (int round = 1; round <= rounds; ++round) {
        // Alternate the order so that neither always runs second.
        double spec = 0, api = 0;
        for (int pass = 0; pass < 2; ++pass) {
            Empty(dst);
            if ((pass + round) % 2)
                spec = ByCopyFileSpec(src, dst);
            else
                api = ByCopyFileA(src, dst);
        }
        printf("round %d: CopyFileSpec %.1f MB/s (%.3f s), CopyFileA %.1f MB/s (%.3f s), ratio %.3f\n", round,
               megabytes / spec, spec, megabytes / api, api, api / spec);
        fflush(stdout);
        specTimes.push_back(spec);
        apiTimes.push_back(api);
        ratios.push_back(api / spec);
    }
    std::sort(ratios.begin(), ratios.end());
    std::sort(specTimes.begin(), specTimes.end());
    std::sort(apiTimes.begin(), apiTimes.end());
    double spec = specTimes[specTimes.size() / 2], api = apiTimes[apiTimes.size() / 2];
    printf("median: CopyFileSpec %.1f MB/s, CopyFileA %.1f MB/s, CopyFileSpec/CopyFileA throughput %.3f "
           "(median of the rounds' ratios %.3f)\n",
           megabytes / spec, megabytes / api, api / spec, ratios[ratios.size() / 2]);
    printf("spec-seconds %.4f\n", spec);
    Empty(dst);
    RemoveDirectoryA(dst.c_str());
    return 0;
}
