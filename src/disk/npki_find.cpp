#include "disk/npki_find.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>
#include <utility>

#include "asn1/time_value.h"
#include "bignum/bignum.h"
#include "pkcs/prikey.h"
#include "platform/file.h"
#include "x509/cert_text.h"
#include "x509/x509_cert.h"
#include "x509/x509_name.h"
#include "x509/x509_vid.h"

namespace quillon {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNameIgnoringCase(const PathText& name, const char* wanted) {
    const size_t length = std::strlen(wanted);
    if (name.size() != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (AsciiLower(name[i]) != AsciiLower(wanted[i])) return false;
    return true;
}

// Of the regular files answering to `wanted`, the first in byte order: on a file system that
// tells case apart, signCert.der and SIGNCERT.DER may both be there.
const FolderEntry* FindFile(const FolderEntries& entries, const char* wanted) {
    const FolderEntry* found = nullptr;
    for (const FolderEntry& entry : entries)
        if (entry.kind == FolderEntryKind::kFile && SameNameIgnoringCase(entry.name, wanted) &&
            (!found || entry.name < found->name))
            found = &entry;
    return found;
}

void Join(PathText* path, const PathText& name) {
    if (!path->empty() && path->back() != kPathSeparator) path->push_back(kPathSeparator);
    path->append(name);
}

bool Inside(const PathText& resolved, const PathText& root) {
    if (resolved.size() < root.size() || resolved.compare(0, root.size(), root) != 0) return false;
    return resolved.size() == root.size() || root.back() == kPathSeparator || resolved[root.size()] == kPathSeparator;
}

// Text of a name as the subject and issuer queries render it; empty when it has no EUC-KR form.
// No name renders longer than four times the certificate it comes from.
void NameText(const PointerList* name, uint32_t certificate_length, PathText* out) {
    out->assign(size_t{certificate_length} * 4 + 256, '\0');
    const int written = X509Name_ToText(name, out->data(), static_cast<int32_t>(out->size()));
    out->resize(written == 1 ? std::strlen(out->c_str()) : 0);
}

void SerialText(const BigNum* serial, PathText* out) {
    const int bytes = (BIGNUM_NumBits(serial) + 7) / 8;
    out->assign(8 * (static_cast<size_t>(bytes) / 4 + 2) + 2, '\0');  // the hex writer's room rule
    const int32_t length = X509_AppendHex(serial, out->data(), 0, static_cast<int32_t>(out->size()));
    out->resize(length > 0 ? static_cast<size_t>(length) : 0);
}

bool Before(const std::tm& a, const std::tm& b) {
    const int x[] = {a.tm_year, a.tm_mon, a.tm_mday, a.tm_hour, a.tm_min, a.tm_sec};
    const int y[] = {b.tm_year, b.tm_mon, b.tm_mday, b.tm_hour, b.tm_min, b.tm_sec};
    return std::lexicographical_compare(std::begin(x), std::end(x), std::begin(y), std::end(y));
}

struct Place {
    PathText path;      // as walked from the root given
    PathText resolved;  // where it is, links resolved
};

class Search {
public:
    Search(int64_t now, NpkiPairs* out) : now_(now), out_(out) {}

    bool truncated() const { return truncated_; }

    void Root(const char* root) {
        Place top;
        top.path = root;
        if (stopped_ || top.path.empty() || !FOLDER_Resolve(root, &top.resolved)) return;
        root_ = top.resolved;
        FolderEntries authorities;
        if (!List(top, &authorities)) return;
        for (const FolderEntry& authority : authorities) {
            Place ca;
            if (authority.kind != FolderEntryKind::kFolder || !Enter(top, authority, &ca)) continue;
            FolderEntries users;
            if (!List(ca, &users)) continue;
            for (const FolderEntry& user : users) {
                Place holders;
                if (user.kind != FolderEntryKind::kFolder || !SameNameIgnoringCase(user.name, "USER") ||
                    !Enter(ca, user, &holders))
                    continue;
                FolderEntries subjects;
                if (!List(holders, &subjects)) continue;
                for (const FolderEntry& subject : subjects) {
                    Place folder;
                    if (subject.kind == FolderEntryKind::kFolder && Enter(holders, subject, &folder)) Pair(folder);
                    if (stopped_) return;
                }
            }
        }
    }

private:
    void Stop() { stopped_ = truncated_ = true; }

    bool List(const Place& place, FolderEntries* entries) {
        if (stopped_) return false;
        if (budget_ == 0) {
            Stop();
            return false;
        }
        bool more = false;
        if (!FOLDER_List(place.path.c_str(), std::min(kNpkiFolderEntryMax, budget_), entries, &more)) return false;
        budget_ -= entries->size();
        truncated_ |= more;
        return true;
    }

    // The entry as a place below `parent`; false for a link that leads nowhere or out of the root.
    bool Enter(const Place& parent, const FolderEntry& entry, Place* child) {
        child->path = parent.path;
        Join(&child->path, entry.name);
        if (!entry.link) {
            child->resolved = parent.resolved;
            Join(&child->resolved, entry.name);
            return true;
        }
        return FOLDER_Resolve(child->path.c_str(), &child->resolved) && Inside(child->resolved, root_);
    }

    void Pair(const Place& folder) {
        FolderEntries files;
        if (!List(folder, &files)) return;
        const FolderEntry* cert_entry = FindFile(files, "signCert.der");
        const FolderEntry* key_entry = FindFile(files, "signPri.key");
        Place cert_place, key_place;
        if (!cert_entry || !key_entry || !Enter(folder, *cert_entry, &cert_place) || !Enter(folder, *key_entry, &key_place))
            return;
        uint8_t* data = nullptr;
        uint32_t length = 0;
        if (!FILE_ReadAll(cert_place.path.c_str(), &data, &length, kNpkiFileMax)) return;
        const MemBlock cert_bytes(data);
        const X509CertPtr cert = X509_DecodeBytes(data, length);
        const X509Tbs* tbs = cert ? cert->tbs : nullptr;
        if (!tbs || !tbs->validity) return;
        NpkiPair pair{};
        if (!X509_TimeText(tbs->validity->notBefore, pair.not_before) ||
            !X509_TimeText(tbs->validity->notAfter, pair.not_after))
            return;
        std::tm after{}, current{};
        if (!TIME_ParseShifted(tbs->validity->notAfter, 0, &after) || !TIME_UtcFromCount(now_, &current)) return;
        pair.expired = Before(after, current);
        pair.cert_path = std::move(cert_place.path);
        pair.resolved_cert = std::move(cert_place.resolved);
        pair.key_path = std::move(key_place.path);
        NameText(tbs->subject, length, &pair.subject);
        NameText(tbs->issuer, length, &pair.issuer);
        SerialText(tbs->serialNumber, &pair.serial);
        int hash_nid = 0;
        MemBytes vid;
        switch (X509_GetVid(cert.get(), &hash_nid, &vid)) {
            case VidResult::kMatch: pair.vid = 1; break;
            case VidResult::kAbsent: pair.vid = 0; break;
            default: pair.vid = -1; break;  // memory failures are caught by the caller's count
        }
        Key(pair.key_path, &pair);
        out_->push_back(std::move(pair));
        if (out_->size() >= kNpkiPairMax) Stop();
    }

    static void Key(const PathText& path, NpkiPair* pair) {
        uint8_t* data = nullptr;
        uint32_t length = 0;
        if (!FILE_ReadAll(path.c_str(), &data, &length, kNpkiFileMax)) {
            pair->key_state = NpkiKeyState::kUnreadable;
            return;
        }
        const MemBlock key_bytes(data);  // wiped on release: the file may hold a plain key
        KeyFileInfo info{};
        if (!PRIKEY_DescribeDer(data, length, &info)) {
            pair->key_state = NpkiKeyState::kNotAKey;
            return;
        }
        pair->key_state = NpkiKeyState::kRead;
        pair->scheme_nid = info.scheme_nid;
        pair->cipher_index = info.cipher_index;
        pair->random_num = info.random_num;
    }

    int64_t now_;
    NpkiPairs* out_;
    PathText root_;
    size_t budget_ = kNpkiEntryBudget;
    bool truncated_ = false;
    bool stopped_ = false;
};

}  // namespace

NpkiResult NPKI_Find(const char* const* roots, size_t count, int64_t now, NpkiPairs* out, bool* truncated) {
    const unsigned long failures = MEM_FailureCount();
    out->clear();
    *truncated = false;
    Search search(now, out);
    if (count == 0) {
        PathList defaults;
        FOLDER_NpkiRoots(&defaults);
        for (const PathText& root : defaults) search.Root(root.c_str());
    } else {
        for (size_t i = 0; i < count; ++i) search.Root(roots[i]);
    }
    std::sort(out->begin(), out->end(), [](const NpkiPair& a, const NpkiPair& b) { return a.cert_path < b.cert_path; });
    // The same files reached again (two roots, or a link inside a root) keep their first path.
    std::set<PathText, std::less<>, MemAllocator<PathText>> seen;
    size_t kept = 0;
    for (size_t i = 0; i < out->size(); ++i) {
        if (!seen.insert((*out)[i].resolved_cert).second) continue;
        if (kept != i) (*out)[kept] = std::move((*out)[i]);
        ++kept;
    }
    out->erase(out->begin() + static_cast<std::ptrdiff_t>(kept), out->end());
    // Decoders report exhausted memory as bad input: a search that lost an allocation would
    // otherwise pass over pairs it should have listed.
    if (MEM_FailureCount() != failures) {
        out->clear();
        return NpkiResult::kMemory;
    }
    *truncated = search.truncated();
    return NpkiResult::kDone;
}

}  // namespace quillon
