#include "signature.h"

#include <string.h>

// ------------------------------------------------------------------ SHA-256

static const uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

static uint32_t Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

static void Sha256Block(uint32_t h[8], const unsigned char *p)
{
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    memcpy(v, h, sizeof v);
    for (int i = 0; i < 64; ++i) {
        uint32_t s1 = Rotate(v[4], 6) ^ Rotate(v[4], 11) ^ Rotate(v[4], 25);
        uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
        uint32_t t1 = v[7] + s1 + choice + RoundConstants[i] + w[i];
        uint32_t s0 = Rotate(v[0], 2) ^ Rotate(v[0], 13) ^ Rotate(v[0], 22);
        uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        memmove(v + 1, v, 7 * sizeof v[0]);
        v[4] += t1;
        v[0] = t1 + s0 + majority;
    }
    for (int i = 0; i < 8; ++i) h[i] += v[i];
}

void Sha256Begin(Sha256State *state)
{
    static const uint32_t Initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    memcpy(state->h, Initial, sizeof Initial);
    state->length = 0;
    state->used = 0;
}

void Sha256Add(Sha256State *state, const void *data, size_t size)
{
    const unsigned char *p = (const unsigned char *)data;
    state->length += size;
    while (size > 0) {
        size_t take = SHA256_BLOCK_SIZE - state->used;
        if (take > size) take = size;
        memcpy(state->block + state->used, p, take);
        state->used += take;
        p += take;
        size -= take;
        if (state->used == SHA256_BLOCK_SIZE) {
            Sha256Block(state->h, state->block);
            state->used = 0;
        }
    }
}

void Sha256End(Sha256State *state, unsigned char digest[SHA256_SIZE])
{
    uint64_t bits = state->length * 8;
    unsigned char pad[SHA256_BLOCK_SIZE + 8] = {0x80};
    size_t padding = (state->used < 56 ? 56 : 120) - state->used;
    for (int i = 0; i < 8; ++i) pad[padding + i] = (unsigned char)(bits >> (56 - 8 * i));
    Sha256Add(state, pad, padding + 8);
    for (int i = 0; i < 32; ++i) digest[i] = (unsigned char)(state->h[i / 4] >> (24 - 8 * (i % 4)));
}

// --------------------------------------------------------------- the image

static uint32_t Little(const unsigned char *p, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

ImageKind ReadImageLayout(const unsigned char *head, size_t headSize, uint64_t fileSize, ImageLayout *layout)
{
    if (headSize < 0x40 || head[0] != 'M' || head[1] != 'Z') return IMAGE_NO_PROGRAM;
    uint32_t pe = Little(head + 0x3C, 4);
    // The signature, the file header, and the optional header's fields up to
    // the first data directory of either form.
    if (pe > headSize || headSize - pe < 24 + 2 || memcmp(head + pe, "PE\0\0", 4) != 0) return IMAGE_NO_PROGRAM;
    uint32_t optionalSize = Little(head + pe + 20, 2), optional = pe + 24;
    uint32_t magic = Little(head + optional, 2);
    if (magic != 0x10B && magic != 0x20B) return IMAGE_NO_PROGRAM;
    uint32_t countAt = optional + (magic == 0x10B ? 92 : 108), directories = countAt + 4;
    uint32_t entry = directories + 4 * 8;               // the certificate table is entry 4
    if (entry + 8 > headSize) return IMAGE_NO_PROGRAM;  // headers cut short
    if (Little(head + countAt, 4) < 5 || entry + 8 > optional + optionalSize) return IMAGE_UNSIGNED;
    layout->checksumAt = optional + 64;
    layout->tableEntryAt = entry;
    // Its place is a file offset, not an address: the table is never mapped.
    layout->tableAt = Little(head + entry, 4);
    layout->tableSize = Little(head + entry + 4, 4);
    if (layout->tableAt == 0 && layout->tableSize == 0) return IMAGE_UNSIGNED;
    if (layout->tableAt < entry + 8 || layout->tableSize < 8 ||
        (uint64_t)layout->tableAt + layout->tableSize != fileSize)
        return IMAGE_BAD_TABLE;
    return IMAGE_SIGNED;
}

void AddImageBytes(Sha256State *state, const ImageLayout *layout, uint64_t offset, const unsigned char *bytes,
                   size_t size)
{
    const uint64_t skipped[3][2] = {
        {layout->checksumAt, layout->checksumAt + 4ull},
        {layout->tableEntryAt, layout->tableEntryAt + 8ull},
        {layout->tableAt, (uint64_t)layout->tableAt + layout->tableSize},
    };
    uint64_t at = offset, end = offset + size;
    for (const auto &skip : skipped) {
        if (at < skip[0] && at < end) {
            uint64_t stop = skip[0] < end ? skip[0] : end;
            Sha256Add(state, bytes + (at - offset), (size_t)(stop - at));
        }
        if (at < skip[1]) at = skip[1];
    }
    if (at < end) Sha256Add(state, bytes + (at - offset), (size_t)(end - at));
}

// ------------------------------------------------------- the signed digest

// A cursor over DER: the bytes left of the element being read. Lengths are
// cut to the bytes there are, so a table read only in part still yields
// what lies in that part.
struct Der {
    const unsigned char *at;
    size_t size;
};

// Takes the next element, which must have the tag; its contents in inner.
static bool Take(Der *der, unsigned char tag, Der *inner)
{
    if (der->size < 2 || der->at[0] != tag) return false;
    size_t length = der->at[1], header = 2;
    if (length & 0x80) {
        size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 4 || der->size < 2 + bytes) return false;  // indefinite, or too long
        length = 0;
        for (size_t i = 0; i < bytes; ++i) length = length << 8 | der->at[2 + i];
        header += bytes;
    }
    size_t left = der->size - header;
    inner->at = der->at + header;
    inner->size = length < left ? length : left;
    der->at += header + inner->size;
    der->size = length < left ? left - length : 0;
    return true;
}

static bool TakeOid(Der *der, const unsigned char *oid, size_t size)
{
    Der value;
    return Take(der, 0x06, &value) && value.size == size && memcmp(value.at, oid, size) == 0;
}

DigestKind SignedDigest(const unsigned char *table, size_t size, const unsigned char **digest)
{
    static const unsigned char SignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
    static const unsigned char IndirectData[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
    static const unsigned char Sha256[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
    // WIN_CERTIFICATE: length, revision 2.0, a PKCS#7 SignedData.
    if (size < 8 || Little(table + 4, 2) != 0x0200 || Little(table + 6, 2) != 0x0002) return DIGEST_NONE;
    size_t length = Little(table, 4);
    if (length < 8) return DIGEST_NONE;
    Der der = {table + 8, (length < size ? length : size) - 8};
    Der info, signedData, skipped, content, indirect, digestInfo, algorithm, value;
    // ContentInfo { signedData, [0] SignedData { version, digestAlgorithms,
    // ContentInfo { SpcIndirectDataContent, [0] { data, DigestInfo } } } }
    if (!Take(&der, 0x30, &info) || !TakeOid(&info, SignedData, sizeof SignedData) || !Take(&info, 0xA0, &der) ||
        !Take(&der, 0x30, &signedData) || !Take(&signedData, 0x02, &skipped) || !Take(&signedData, 0x31, &skipped) ||
        !Take(&signedData, 0x30, &content) || !TakeOid(&content, IndirectData, sizeof IndirectData) ||
        !Take(&content, 0xA0, &der) || !Take(&der, 0x30, &indirect) || !Take(&indirect, 0x30, &skipped) ||
        !Take(&indirect, 0x30, &digestInfo) || !Take(&digestInfo, 0x30, &algorithm))
        return DIGEST_NONE;
    bool sha256 = TakeOid(&algorithm, Sha256, sizeof Sha256);
    if (!Take(&digestInfo, 0x04, &value)) return DIGEST_NONE;
    if (!sha256) return DIGEST_OTHER;
    if (value.size != SHA256_SIZE) return DIGEST_NONE;
    *digest = value.at;
    return DIGEST_SHA256;
}

SignatureVerdict CompareDigests(DigestKind kind, const unsigned char *signedDigest,
                                const unsigned char fileDigest[SHA256_SIZE])
{
    if (kind == DIGEST_NONE) return SIGNATURE_DAMAGED;
    if (kind == DIGEST_OTHER) return SIGNATURE_UNCHECKED;
    return memcmp(signedDigest, fileDigest, SHA256_SIZE) == 0 ? SIGNATURE_MATCHES : SIGNATURE_CHANGED;
}

#ifdef _WIN32
// ------------------------------------------------------------ the program

static bool ReadAt(HANDLE file, uint64_t offset, unsigned char *buffer, DWORD size, DWORD *got)
{
    LONG high = (LONG)(offset >> 32);
    if (SetFilePointer(file, (LONG)(DWORD)offset, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    return ReadFile(file, buffer, size, got, 0) != 0;
}

static SignatureVerdict JudgeProgram(HANDLE file)
{
    static unsigned char buffer[IMAGE_CHUNK_SIZE > SIGNATURE_READ_SIZE ? IMAGE_CHUNK_SIZE : SIGNATURE_READ_SIZE];
    DWORD high = 0, low = GetFileSize(file, &high), got = 0;
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return SIGNATURE_UNREADABLE;
    uint64_t size = (uint64_t)high << 32 | low;
    if (!ReadAt(file, 0, buffer, IMAGE_HEAD_SIZE, &got)) return SIGNATURE_UNREADABLE;
    ImageLayout layout;
    switch (ReadImageLayout(buffer, got, size, &layout)) {
    case IMAGE_NO_PROGRAM:
        return SIGNATURE_NO_PROGRAM;
    case IMAGE_UNSIGNED:
        return SIGNATURE_NONE;
    case IMAGE_BAD_TABLE:
        return SIGNATURE_DAMAGED;
    case IMAGE_SIGNED:
        break;
    }
    static unsigned char signedDigest[SHA256_SIZE];
    const unsigned char *digest = 0;
    DWORD part = layout.tableSize < (DWORD)SIGNATURE_READ_SIZE ? layout.tableSize : (DWORD)SIGNATURE_READ_SIZE;
    if (!ReadAt(file, layout.tableAt, buffer, part, &got) || got != part) return SIGNATURE_UNREADABLE;
    DigestKind kind = SignedDigest(buffer, got, &digest);
    if (kind != DIGEST_SHA256) return CompareDigests(kind, digest, signedDigest);
    memcpy(signedDigest, digest, SHA256_SIZE);

    Sha256State state;
    Sha256Begin(&state);
    for (uint64_t at = 0; at < layout.tableAt; at += got) {
        if (!ReadAt(file, at, buffer, IMAGE_CHUNK_SIZE, &got) || got == 0) return SIGNATURE_UNREADABLE;
        AddImageBytes(&state, &layout, at, buffer, got);
    }
    unsigned char fileDigest[SHA256_SIZE];
    Sha256End(&state, fileDigest);
    return CompareDigests(kind, signedDigest, fileDigest);
}

SignatureVerdict CheckOpenProgramSignature(HANDLE file)
{
    SignatureVerdict verdict = JudgeProgram(file);
    SetFilePointer(file, 0, 0, FILE_BEGIN);
    return verdict;
}

SignatureVerdict CheckProgramSignature(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, 0);
    if (file == INVALID_HANDLE_VALUE) return SIGNATURE_UNREADABLE;
    SignatureVerdict verdict = JudgeProgram(file);
    CloseHandle(file);
    return verdict;
}
#endif
