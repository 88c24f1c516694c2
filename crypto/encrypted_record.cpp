#include "crypto/encrypted_record.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "crypto/password_key.h"
#include "crypto/record_blob.h"
#include "crypto/wipe.h"
#include "store/object_store.h"

namespace {

constexpr WORD kBlobType = CEVT_BLOB;

// The seven texts in the order a record is encrypted, with the BLOB that holds each one. Field 1
// and field 2 cross (0x102 and 0x101); stored records depend on it.
struct TextMap {
    WORD textId;
    WORD blobId;
};
constexpr TextMap kTexts[7] = {{1, 0x102}, {2, 0x101}, {3, 0x103}, {4, 0x104},
                               {7, 0x107}, {8, 0x108}, {9, 0x109}};
// The BLOBs in the order a record is decrypted: slot i of the store holds BLOB kBlobIds[i].
constexpr WORD kBlobIds[7] = {0x101, 0x102, 0x103, 0x104, 0x107, 0x108, 0x109};
constexpr WORD kVerifierId = 0x106;

int textIndex(WORD id) {
    for (int i = 0; i < 7; ++i)
        if (kTexts[i].textId == id) return i;
    return -1;
}

int slotIndex(WORD blobId) {
    for (int i = 0; i < 7; ++i)
        if (kBlobIds[i] == blobId) return i;
    return -1;
}

CEPROPID tag(WORD id, WORD type) { return (static_cast<CEPROPID>(id) << 16) | type; }

void append(CryptRecord *work, CEPROPID propid, WORD flags) {
    CEPROPVAL &v = work->list[work->count++];
    v = CEPROPVAL{};
    v.propid = propid;
    v.wFlags = flags;
}

std::u16string_view view(const WCHAR *text) {
    return {reinterpret_cast<const char16_t *>(text), static_cast<size_t>(lstrlenW(text))};
}

// A record's blocks laid side by side for one run of the cipher, wiped when it goes.
struct JoinedBlocks {
    std::uint8_t bytes[7 * kTextBlobMax + kVerifierSize];
    std::size_t used = 0;
    JoinedBlocks() = default;
    ~JoinedBlocks() { secureWipe(bytes, used); }
    JoinedBlocks(const JoinedBlocks &) = delete;
    JoinedBlocks &operator=(const JoinedBlocks &) = delete;
    // Appends the bytes, zero-padded to a whole block.
    void add(const std::uint8_t *data, std::size_t n) {
        const std::size_t padded = (n + 7) / 8 * 8;
        if (n) std::memcpy(bytes + used, data, n);
        std::memset(bytes + used + n, 0, padded - n);
        used += padded;
    }
    void run(const PasswordKeys &keys, int mode) {
        if (used)
            cipherWithKeys(std::span<std::uint8_t>(bytes, used), static_cast<std::int32_t>(used),
                           keys, mode);
    }
};

}  // namespace

void LoadCryptRecord(ObjectStore *store, CryptRecord *work, const CEPROPVAL *props, WORD count) {
    for (auto &text : work->text) text[0] = 0;
    for (BlobSlot &slot : store->blobs) slot.length = 0;
    store->verifier.length = 0;
    work->flag = 1;
    work->count = 0;
    bool flagSeen = false;
    for (WORD i = 0; i < count; ++i) {
        const CEPROPVAL &p = props[i];
        const WORD id = PropIDFromPropID(p.propid);
        const WORD type = TypeFromPropID(p.propid);
        if (type == CEVT_LPWSTR) {
            int t = textIndex(id);
            if (t >= 0) CopyStoredText(work->text[t], p);
        } else if (type == kBlobType) {
            const BYTE *data = p.val.blob.lpb;
            DWORD n = data ? p.val.blob.dwCount : 0;
            if (id == kVerifierId) {
                n = std::min<DWORD>(n, sizeof store->verifier.data);
                if (n) std::memcpy(store->verifier.data, data, n);
                store->verifier.length = n;
            } else if (int s = slotIndex(id); s >= 0) {
                n = std::min<DWORD>(n, sizeof store->blobs[s].data);
                if (n) std::memcpy(store->blobs[s].data, data, n);
                store->blobs[s].length = n;
            }
        } else if (id == PropIDFromPropID(PROP_ENCRYPT) && !flagSeen) {
            // By its number, in any integer type, and the first of that number, exactly as the
            // list and the editor read it.
            work->flag = StoredEncryptFlag(p);
            flagSeen = true;
        }
    }
}

WORD EncryptRecord(ObjectStore *store, CryptRecord *work) {
    work->count = 0;
    if (work->flag == 0) return 0;
    // In encrypted form already: it carries the verifier, or BLOBs without one (a damaged
    // record the opening pass left alone; a verifier added now would vouch for texts that were
    // never checked).
    if (store->verifier.length != 0) return 0;
    for (const BlobSlot &slot : store->blobs)
        if (slot.length != 0) return 0;
    // The record's texts and the verifier side by side, encrypted in one run of the cipher
    // instead of one run (and one key schedule) for each.
    JoinedBlocks joined;
    std::size_t at[7] = {}, size[7] = {};
    for (int i = 0; i < 7; ++i) {
        const std::u16string_view text = view(work->text[textIndex(kTexts[i].textId)]);
        if (text.empty() || text.size() > kTextMaxUnits) continue;
        at[i] = joined.used;
        size[i] = layoutTextBlob(text, joined.bytes + joined.used);
        joined.used += size[i];
    }
    const std::size_t verifierAt = joined.used;
    joined.used += layoutTextBlob(kCheckText, joined.bytes + joined.used);
    { joined.run(store->keys, 1); }
    for (int i = 0; i < 7; ++i) {
        if (size[i] == 0) continue;
        BlobSlot &slot = store->blobs[slotIndex(kTexts[i].blobId)];
        std::memcpy(slot.data, joined.bytes + at[i], size[i]);
        slot.length = static_cast<DWORD>(size[i]);
        append(work, tag(kTexts[i].textId, CEVT_LPWSTR), CEDB_PROPDELETE);
        append(work, tag(kTexts[i].blobId, kBlobType), 0);
        work->list[work->count - 1].val.blob = {slot.length, slot.data};
    }
    std::memcpy(store->verifier.data, joined.bytes + verifierAt, kVerifierSize);
    store->verifier.length = kVerifierSize;
    append(work, PROP_VERIFIER, 0);
    work->list[work->count - 1].val.blob = {kVerifierSize, store->verifier.data};
    return work->count;
}

int DecryptRecord(ObjectStore *store, CryptRecord *work) {
    work->count = 0;
    // Every BLOB of the record and the verifier in one run of the cipher. A BLOB whose size is
    // not a multiple of 8 is read zero-padded to its last block, as a single one is.
    JoinedBlocks joined;
    std::size_t at[7] = {}, length[7] = {};
    for (int s = 0; s < 7; ++s) {
        const BlobSlot &slot = store->blobs[s];
        length[s] = std::min<std::size_t>(slot.length, kTextBlobMax);
        at[s] = joined.used;
        joined.add(slot.data, length[s]);
    }
    // BLOBs without a verifier cannot be shown to belong to this password: decrypting them under
    // a wrong one would write garbage over the only copy of the texts.
    if (store->verifier.length == 0) return joined.used != 0 ? kUnverifiable : 0;
    const std::size_t verifierAt = joined.used;
    joined.add(store->verifier.data, std::min<std::size_t>(store->verifier.length, kVerifierSize));
    { joined.run(store->keys, 0); }
    // The test of the record's password, made before anything of the record is written. A
    // verifier shorter than 32 bytes counts as zero-padded after its decrypted blocks.
    std::uint8_t plain[kVerifierSize] = {};
    std::memcpy(plain, joined.bytes + verifierAt,
                std::min(joined.used - verifierAt, kVerifierSize));
    const bool right = isCheckText(plain);
    secureWipe(plain, sizeof plain);
    if (!right) return kVerifierMismatch;
    for (int s = 0; s < 7; ++s) {
        if (length[s] == 0) continue;
        const WORD blobId = kBlobIds[s];
        const WORD textId = blobId == 0x101 ? 2 : blobId == 0x102 ? 1 : blobId - 0x100;
        WCHAR *text = work->text[textIndex(textId)];
        // The text is the units up to the first zero unit, at most 255 of them.
        const std::size_t units = std::min(length[s] / 2, kTextMaxUnits);
        std::memset(text, 0, 256 * sizeof(WCHAR));
        for (std::size_t u = 0; u < units; ++u) {
            const std::uint8_t *b = joined.bytes + at[s] + 2 * u;
            text[u] = static_cast<WCHAR>(b[0] | (b[1] << 8));
            if (!text[u]) break;
        }
        append(work, tag(blobId, kBlobType), CEDB_PROPDELETE);
        append(work, tag(textId, CEVT_LPWSTR), 0);
        work->list[work->count - 1].val.lpwstr = text;
    }
    append(work, PROP_VERIFIER, CEDB_PROPDELETE);
    return work->count;
}

std::u16string DecryptedField1(const ObjectStore *store) {
    const BlobSlot &slot = store->blobs[slotIndex(0x102)];
    if (!slot.length) return {};
    return decodeTextBlob(std::span<const std::uint8_t>(slot.data, slot.length), store->keys);
}
