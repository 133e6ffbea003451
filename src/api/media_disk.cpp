// MEDIA_DISK_*: code shape. Files are read whole through the platform's file API; key files
// are secrets at rest, and the allocator wipes their bytes when they are released.
#include <cstring>
#include <ctime>

#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/key_codes.h"
#include "asn1/object_table.h"
#include "core/mem.h"
#include "disk/npki_find.h"
#include "pkcs/prikey.h"
#include "platform/file.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

bool ReadFile(const char* path, MemBytes& file) {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (FILE_ReadAll(path, &data, &length) != 1) return false;
    file.Reset(data, length);
    return true;
}

static_assert(QC_NPKI_FOLDER_ENTRY_MAX == kNpkiFolderEntryMax && QC_NPKI_ENTRY_BUDGET == kNpkiEntryBudget &&
                  QC_NPKI_PAIR_MAX == kNpkiPairMax,
              "the documented bounds are the search's");

char* CopyText(const char* text, size_t length) {
    auto* copy = static_cast<char*>(MEM_Alloc(length + 1));
    if (!copy) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

char* CopyText(const PathText& text) { return CopyText(text.data(), text.size()); }

void FreeEntry(NpkiEntry* entry) {
    for (char* text : {entry->cert_path, entry->key_path, entry->subject, entry->issuer, entry->serial,
                       entry->not_before, entry->not_after, entry->key_scheme})
        MEM_Free(text);
}

void FreeList(NpkiList* list) {
    for (uint32_t i = 0; i < list->count; ++i) FreeEntry(&list->entries[i]);
    MEM_Free(list->entries);
    MEM_Free(list);
}
using NpkiListPtr = Owned<NpkiList, FreeList>;

int32_t KeyCipher(const NpkiPair& pair) {
    switch (pair.key_state) {
        case NpkiKeyState::kRead: return pair.scheme_nid == 0 ? QC_ERR_MALFORMED_DER : pair.cipher_index;
        case NpkiKeyState::kUnreadable: return QC_ERR_FILE_READ;
        case NpkiKeyState::kNotAKey: break;
    }
    return QC_ERR_MALFORMED_DER;
}

// Fills a zeroed record; false when a copy cannot be allocated (what was copied stays for FreeEntry).
bool FillEntry(const NpkiPair& pair, NpkiEntry* entry) {
    const bool read = pair.key_state == NpkiKeyState::kRead;
    const char* scheme = read && pair.scheme_nid != 0 ? OBJ_Row(pair.scheme_nid)->long_name : "";
    entry->expired = pair.expired ? 1 : 0;
    entry->vid = pair.vid;
    entry->key_cipher = KeyCipher(pair);
    entry->key_plain = read && pair.scheme_nid == 0 ? 1 : 0;
    entry->random_num = read ? pair.random_num : -1;
    return (entry->cert_path = CopyText(pair.cert_path)) && (entry->key_path = CopyText(pair.key_path)) &&
           (entry->subject = CopyText(pair.subject)) && (entry->issuer = CopyText(pair.issuer)) &&
           (entry->serial = CopyText(pair.serial)) &&
           (entry->not_before = CopyText(pair.not_before, std::strlen(pair.not_before))) &&
           (entry->not_after = CopyText(pair.not_after, std::strlen(pair.not_after))) &&
           (entry->key_scheme = CopyText(scheme, std::strlen(scheme)));
}

}  // namespace

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadCert(const char* path, BINSTR* out) {
    if (!path || !out) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        BINSTR_Delete(out);
        MemBytes file;
        if (!ReadFile(path, file)) return QC_ERR_FILE_READ;
        const uint32_t length = file.length;
        BINSTR_Adopt(out, file.Release(), length);
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadPriKey(const char* path, const char* password, BINSTR* out) {
    if (!path || !password || !out) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        MemBytes file;
        if (!ReadFile(path, file)) return QC_ERR_FILE_READ;
        const size_t password_length = std::strlen(password);
        if (password_length == 0) return QC_ERR_DECRYPT_KEY;
        MemBytes plain;
        const KeyError result =
            PRIKEY_DecryptDer(PasswordBytes(password), password_length, file.data, file.length, &plain);
        return KEY_Deliver(result, &plain, out);
    });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(const char* path, const char* password) {
    if (!path || !password) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        MemBytes file;
        if (!ReadFile(path, file)) return QC_ERR_FILE_READ;
        const size_t password_length = std::strlen(password);
        if (password_length == 0) return QC_ERR_DECRYPT_KEY;
        int32_t index = 0;
        if (!PRIKEY_CipherIndexDer(PasswordBytes(password), password_length, file.data, file.length, &index))
            return QC_ERR_MALFORMED_DER;
        return index;
    });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_FindCertificates(const char* const* roots, int32_t root_count, NpkiList** out) {
    if (!out || root_count < 0 || (root_count > 0 && !roots)) return QC_ERR_NULL_ARGUMENT;
    for (int32_t i = 0; i < root_count; ++i)
        if (!roots[i]) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&]() -> int32_t {
        NpkiPairs pairs;
        bool truncated = false;
        const auto now = static_cast<int64_t>(std::time(nullptr));
        if (NPKI_Find(roots, static_cast<size_t>(root_count), now, &pairs, &truncated) != NpkiResult::kDone)
            return QC_ERR_ALLOC;
        NpkiListPtr list(MEM_New<NpkiList>());
        if (!list) return QC_ERR_ALLOC;
        list->truncated = truncated ? 1 : 0;
        if (!pairs.empty()) {
            list->entries = static_cast<NpkiEntry*>(MEM_Calloc(pairs.size(), sizeof(NpkiEntry)));
            if (!list->entries) return QC_ERR_ALLOC;
        }
        for (const NpkiPair& pair : pairs) {
            // Counted before filling, so that a record left half-filled is released too.
            NpkiEntry* entry = &list->entries[list->count++];
            if (!FillEntry(pair, entry)) return QC_ERR_ALLOC;
        }
        *out = list.release();
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_FreeCertificates(NpkiList* list) {
    if (!list) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        FreeList(list);
        return QC_OK;
    });
}
