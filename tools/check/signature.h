// A program's Authenticode signature, read as far as the checker needs it:
// where its headers keep the checksum and the certificate table, the hash
// that Windows computes over the image, and the digest that the signature
// carries. The signature's certificates and cryptography are left to
// osslsigncode (tools/sign verifies what it signs): a digest that no longer
// matches the file is what a program changed after signing shows.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum {
    SHA256_SIZE = 32,
    SHA256_BLOCK_SIZE = 64,
    IMAGE_HEAD_SIZE = 4096,       // the headers read to find the layout
    SIGNATURE_READ_SIZE = 65536,  // the part of a certificate table read for its digest
    IMAGE_CHUNK_SIZE = 65536,     // the piece of a program hashed at a time
};

struct Sha256State {
    uint32_t h[8];
    uint64_t length;  // bytes added so far
    unsigned char block[SHA256_BLOCK_SIZE];
    size_t used;  // bytes of block filled
};
void Sha256Begin(Sha256State *state);
void Sha256Add(Sha256State *state, const void *data, size_t size);
void Sha256End(Sha256State *state, unsigned char digest[SHA256_SIZE]);

enum ImageKind {
    IMAGE_NO_PROGRAM,  // no PE image's headers
    IMAGE_UNSIGNED,    // no certificate table
    IMAGE_SIGNED,      // a certificate table at the end of the file, after the headers
    IMAGE_BAD_TABLE,   // a certificate table elsewhere, or running past the end
};
struct ImageLayout {
    uint32_t checksumAt;    // file offsets of the optional header's checksum,
    uint32_t tableEntryAt;  // of the certificate table's directory entry
    uint32_t tableAt, tableSize;
};
// What the headers say, from the first headSize bytes of a file of fileSize
// bytes; layout is filled for IMAGE_SIGNED and IMAGE_BAD_TABLE.
ImageKind ReadImageLayout(const unsigned char *head, size_t headSize, uint64_t fileSize, ImageLayout *layout);
// Adds the size bytes at offset of a signed image to its Authenticode hash:
// all but the checksum, the table's directory entry and the table.
void AddImageBytes(Sha256State *state, const ImageLayout *layout, uint64_t offset, const unsigned char *bytes,
                   size_t size);

enum DigestKind { DIGEST_NONE, DIGEST_SHA256, DIGEST_OTHER };
// The image digest that the PKCS#7 signature of a certificate table signed
// (its first size bytes are enough); DIGEST_SHA256 with digest pointing into
// table, DIGEST_OTHER for another hash, DIGEST_NONE when it can't be read.
DigestKind SignedDigest(const unsigned char *table, size_t size, const unsigned char **digest);

enum SignatureVerdict {
    SIGNATURE_NO_PROGRAM,
    SIGNATURE_NONE,        // a program without a signature
    SIGNATURE_MATCHES,     // the signed digest is the file's
    SIGNATURE_CHANGED,     // the file changed after signing
    SIGNATURE_DAMAGED,     // a certificate table Windows does not take, or no signature in it
    SIGNATURE_UNCHECKED,   // signed with a hash other than SHA-256
    SIGNATURE_UNREADABLE,  // the file can't be read
};
// The verdict from the digest a signature carries and the file's own hash.
SignatureVerdict CompareDigests(DigestKind kind, const unsigned char *signedDigest,
                                const unsigned char fileDigest[SHA256_SIZE]);

#ifdef _WIN32
#include <windows.h>
// The verdict on a file open for reading; its file pointer ends at the start.
SignatureVerdict CheckOpenProgramSignature(HANDLE file);
SignatureVerdict CheckProgramSignature(const char *path);
#endif
