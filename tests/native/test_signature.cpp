#include <string.h>

#include <string>

#include "../../tools/check/signature.h"
#include "testing.h"

static std::string Hex(const unsigned char *bytes, size_t size)
{
    std::string text;
    for (size_t i = 0; i < size; ++i)
        text += "0123456789abcdef"[bytes[i] >> 4], text += "0123456789abcdef"[bytes[i] & 15];
    return text;
}

// The hash of data, added piece bytes at a time.
static std::string Sha256Of(const std::string &data, size_t piece)
{
    Sha256State state;
    memset(&state, MARKER, sizeof state);
    Sha256Begin(&state);
    for (size_t at = 0; at < data.size(); at += piece)
        Sha256Add(&state, data.data() + at, data.size() - at < piece ? data.size() - at : piece);
    unsigned char digest[SHA256_SIZE + 1];
    memset(digest, MARKER, sizeof digest);
    Sha256End(&state, digest);
    CHECK(digest[SHA256_SIZE] == (unsigned char)MARKER);
    return Hex(digest, SHA256_SIZE);
}

TEST_CASE("Sha256 gives the published digests, whatever pieces the data comes in")
{
    static const struct {
        std::string data;
        const char *want;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto &c : cases)
        for (size_t piece : {1u, 63u, 64u, 65u, 1000u}) {
            if (c.data.size() > 1000 && piece < 63) continue;
            INFO(c.data.size(), " bytes in pieces of ", piece);
            CHECK(Sha256Of(c.data, piece) == c.want);
        }
}

static void Put(std::string *bytes, size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) (*bytes)[at + i] = (char)(value >> (8 * i));
}

// The headers of an image: PE32 (0x10B) or PE32+ (0x20B), the optional
// header of the usual size, its directory count and certificate entry.
static std::string Headers(uint32_t magic, uint32_t count, uint32_t tableAt, uint32_t tableSize)
{
    std::string head(0x400, '\0');
    head[0] = 'M', head[1] = 'Z';
    Put(&head, 0x3C, 0x80, 4);
    memcpy(&head[0x80], "PE\0\0", 4);
    uint32_t optional = 0x80 + 24, directories = optional + (magic == 0x10B ? 96 : 112);
    Put(&head, 0x80 + 20, directories + 16 * 8 - optional, 2);
    Put(&head, optional, magic, 2);
    Put(&head, directories - 4, count, 4);
    Put(&head, directories + 4 * 8, tableAt, 4);
    Put(&head, directories + 4 * 8 + 4, tableSize, 4);
    return head;
}

TEST_CASE("ReadImageLayout finds the checksum and a certificate table at the end of the file")
{
    std::string notPe = Headers(0x10B, 16, 0, 0);
    notPe[0x81] = 'X';
    static const struct {
        const char *what;
        std::string head;
        uint64_t fileSize;
        ImageKind want;
        uint32_t checksumAt, entryAt;
    } cases[] = {
        {"PE32, signed", Headers(0x10B, 16, 0x7800, 0x5F0), 0x7DF0, IMAGE_SIGNED, 0xD8, 0x118},
        {"PE32+, signed", Headers(0x20B, 16, 0x7800, 0x5F0), 0x7DF0, IMAGE_SIGNED, 0xD8, 0x128},
        {"PE32, unsigned", Headers(0x10B, 16, 0, 0), 0x7800, IMAGE_UNSIGNED, 0xD8, 0x118},
        {"four directories", Headers(0x10B, 4, 0x7800, 0x5F0), 0x7DF0, IMAGE_UNSIGNED, 0, 0},
        {"table before the end", Headers(0x10B, 16, 0x7800, 0x5F0), 0x8000, IMAGE_BAD_TABLE, 0xD8, 0x118},
        {"table past the end", Headers(0x10B, 16, 0x7800, 0x5F0), 0x7C00, IMAGE_BAD_TABLE, 0xD8, 0x118},
        {"table in the headers", Headers(0x10B, 16, 0x100, 0x7CF0), 0x7DF0, IMAGE_BAD_TABLE, 0xD8, 0x118},
        {"table offset near 4 GiB", Headers(0x10B, 16, 0xFFFFFFF0, 0x20), 0x10, IMAGE_BAD_TABLE, 0xD8, 0x118},
        {"no PE signature", notPe, 0x7800, IMAGE_NO_PROGRAM, 0, 0},
        {"text", std::string(100, 'M'), 100, IMAGE_NO_PROGRAM, 0, 0},
        {"a ROM image", Headers(0x107, 16, 0, 0), 0x7800, IMAGE_NO_PROGRAM, 0, 0},
        {"cut short", Headers(0x10B, 16, 0x7800, 0x5F0).substr(0, 0x100), 0x7DF0, IMAGE_NO_PROGRAM, 0, 0},
    };
    for (const auto &c : cases) {
        ImageLayout layout = {0, 0, 0, 0};
        ImageKind got = ReadImageLayout((const unsigned char *)c.head.data(), c.head.size(), c.fileSize, &layout);
        INFO(Text(c.what), ": got ", (int)got, ", wanted ", (int)c.want, "; checksum at ", layout.checksumAt,
             ", entry at ", layout.tableEntryAt);
        CHECK(got == c.want);
        CHECK(layout.checksumAt == c.checksumAt);
        CHECK(layout.tableEntryAt == c.entryAt);
    }
}

TEST_CASE("AddImageBytes leaves out the checksum, the table's entry and the table, in pieces of any size")
{
    std::string file(300, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = (char)(i * 7 + 1);
    const ImageLayout layout = {10, 60, 240, 60};
    std::string kept = file.substr(0, 10) + file.substr(14, 46) + file.substr(68, 172);
    for (size_t piece : {1u, 4u, 7u, 64u, 300u}) {
        Sha256State state;
        Sha256Begin(&state);
        for (size_t at = 0; at < file.size(); at += piece)
            AddImageBytes(&state, &layout, at, (const unsigned char *)file.data() + at,
                          file.size() - at < piece ? file.size() - at : piece);
        unsigned char digest[SHA256_SIZE];
        Sha256End(&state, digest);
        INFO("pieces of ", piece);
        CHECK(Hex(digest, SHA256_SIZE) == Sha256Of(kept, 64));
    }
}

// One DER element; lengths of 128 bytes and more in the long form.
static std::string Der(unsigned char tag, const std::string &content)
{
    std::string out(1, (char)tag);
    if (content.size() < 0x80)
        out += (char)content.size();
    else
        out += "\x82", out += (char)(content.size() >> 8), out += (char)content.size();
    return out + content;
}

static const std::string SignedDataOid("\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02", 9);
static const std::string IndirectOid("\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x04", 10);
static const std::string Sha256Oid("\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9);
static const std::string Sha1Oid("\x2B\x0E\x03\x02\x1A", 5);

// A certificate table as a signer writes it, with certificates after the
// signed content.
static std::string Table(const std::string &contentOid, const std::string &hashOid, const std::string &digest,
                         const char *revision = "\x00\x02")
{
    std::string indirect =
        Der(0x30, Der(0x30, Der(0x06, "\x2B\x06\x01\x04\x01\x82\x37\x02\x01\x0F") + std::string(200, '\x05')) +
                      Der(0x30, Der(0x30, Der(0x06, hashOid) + std::string("\x05\x00", 2)) + Der(0x04, digest)));
    std::string signedData = Der(0x02, "\x01") + Der(0x31, std::string(15, '\x30')) +
                             Der(0x30, Der(0x06, contentOid) + Der(0xA0, indirect)) +
                             Der(0xA0, std::string(1500, '\x30'));
    std::string pkcs7 = Der(0x30, Der(0x06, SignedDataOid) + Der(0xA0, Der(0x30, signedData)));
    std::string table(8, '\0');
    Put(&table, 0, (uint32_t)(8 + pkcs7.size()), 4);
    table[4] = revision[0], table[5] = revision[1], table[6] = 2;
    return table + pkcs7;
}

TEST_CASE("SignedDigest finds the digest of SpcIndirectDataContent, also in a table read in part")
{
    const std::string digest(32, '\xD1');
    const std::string good = Table(IndirectOid, Sha256Oid, digest);
    static const struct {
        const char *what;
        std::string table;
        DigestKind want;
    } cases[] = {
        {"SHA-256", good, DIGEST_SHA256},
        {"its first 400 bytes", good.substr(0, 400), DIGEST_SHA256},
        {"cut inside the digest", good.substr(0, good.find(digest) + 20), DIGEST_NONE},
        {"SHA-1", Table(IndirectOid, Sha1Oid, std::string(20, '\xD1')), DIGEST_OTHER},
        {"other content", Table(SignedDataOid, Sha256Oid, digest), DIGEST_NONE},
        {"digest of 31 bytes", Table(IndirectOid, Sha256Oid, digest.substr(1)), DIGEST_NONE},
        {"revision 1.0", Table(IndirectOid, Sha256Oid, digest, "\x00\x01"), DIGEST_NONE},
        {"empty", std::string(), DIGEST_NONE},
        {"zeros", std::string(64, '\0'), DIGEST_NONE},
    };
    for (const auto &c : cases) {
        const unsigned char *found = 0;
        DigestKind got = SignedDigest((const unsigned char *)c.table.data(), c.table.size(), &found);
        INFO(Text(c.what), ": got ", (int)got, ", wanted ", (int)c.want);
        CHECK(got == c.want);
        if (c.want == DIGEST_SHA256) CHECK((found && Hex(found, 32) == Hex((const unsigned char *)digest.data(), 32)));
    }
}
