// Certificate and key pairs in NPKI folders: <root>/<CA>/USER/<subject>/signCert.der and
// signPri.key, every name matched without regard to ASCII case.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/folder.h"

namespace quillon {

// Bounds of one search: entries read from any one folder, entries read in all, pairs found.
// Reaching one stops the search with what was found so far, marked truncated.
inline constexpr size_t kNpkiFolderEntryMax = 10000;
inline constexpr size_t kNpkiEntryBudget = 200000;
inline constexpr size_t kNpkiPairMax = 10000;
// Larger certificate files are not certificates; larger key files are not read.
inline constexpr uint32_t kNpkiFileMax = 64 * 1024;

enum class NpkiKeyState : uint8_t {
    kRead,        // an accepted EncryptedPrivateKeyInfo, or a plain PrivateKeyInfo
    kUnreadable,  // the file cannot be read (or is larger than kNpkiFileMax)
    kNotAKey,     // read, but neither
};

struct NpkiPair {
    PathText cert_path, key_path;  // the root as given, then the names as found
    PathText resolved_cert;        // links resolved: the same file reached twice is listed once
    PathText subject, issuer, serial;  // as the certificate queries render them; empty when not renderable
    char not_before[20];
    char not_after[20];
    bool expired;  // `now` is past notAfter
    int vid;       // the certificate carries a VID: 1, none: 0, its subjectAltName does not decode: -1
    NpkiKeyState key_state;
    int scheme_nid;        // kRead: the scheme's NID, 0 for a plain key
    int32_t cipher_index;  // kRead and encrypted: as the cipher-index query reports
    int random_num;        // kRead: 1, 0, or -1 when the key is encrypted
};
using NpkiPairs = std::vector<NpkiPair, MemAllocator<NpkiPair>>;

enum class NpkiResult : uint8_t { kDone, kMemory };

// Searches `roots` (count of them; none: the platform's NPKI folders). Roots that are missing or
// unreadable, folders without both files, unreadable folders and certificates that do not decode
// are passed over; links and junctions are followed only where they lead inside their root.
// *out holds the pairs sorted by certificate path; *truncated tells whether a bound stopped the
// search. `now` is seconds since 1970 (UTC). kMemory when any allocation failed on the way:
// a search that lost memory reports nothing rather than a list with gaps.
NpkiResult NPKI_Find(const char* const* roots, size_t count, int64_t now, NpkiPairs* out, bool* truncated);

}  // namespace quillon
