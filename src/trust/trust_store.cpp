#include "trust/trust_store.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

#include "asn1/der.h"
#include "asn1/der_view.h"
#include "asn1/time_value.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "text/pem.h"
#include "x509/x509_cert.h"
#include "x509/x509_crl.h"
#include "x509/x509_name_key.h"
#include "x509/x509_verify.h"

namespace quillon {
namespace {

template <class T>
using Vec = std::vector<T, MemAllocator<T>>;
template <class V>
using Map = std::unordered_map<uint64_t, V, std::hash<uint64_t>, std::equal_to<uint64_t>,
                               MemAllocator<std::pair<const uint64_t, V>>>;
using MultiMap = std::unordered_multimap<uint64_t, uint32_t, std::hash<uint64_t>, std::equal_to<uint64_t>,
                                         MemAllocator<std::pair<const uint64_t, uint32_t>>>;

// keyUsage bits in the first octet of the BIT STRING.
constexpr uint8_t kKeyCertSign = 0x04, kCrlSign = 0x02;
// id-ce numbers.
constexpr int kSubjectKeyId = 14, kKeyUsage = 15, kSubjectDirectory = 9, kSubjectAltName = 17,
              kIssuerAltName = 18, kBasicConstraints = 19, kCrlPoints = 31, kPolicies = 32, kPolicyMappings = 33,
              kAuthorityKeyId = 35, kPolicyConstraints = 36, kExtKeyUsage = 37, kFreshestCrl = 46,
              kInhibitAnyPolicy = 54;
// Searches give up after this many certificates tried as issuers, whatever the pool holds.
constexpr int kSearchBudget = 4096;
constexpr uint32_t kTarget = 0xFFFFFFFF;  // the certificate being verified, outside the pool

template <class T, class... Args>
T* NewObject(Args&&... args) {
    void* block = MEM_Alloc(sizeof(T));
    if (!block) throw std::bad_alloc();
    try {
        return new (block) T(std::forward<Args>(args)...);
    } catch (...) {
        MEM_Free(block);
        throw;
    }
}
template <class T>
void DeleteObject(T* object) {
    if (!object) return;
    object->~T();
    MEM_Free(object);
}

struct Cert {
    X509CertPtr cert;
    Bytes der;
    Bytes subject_key, issuer_key;
    uint64_t issuer_hash = 0;
    DerView serial{}, ski{}, aki{}, crl_points{};
    int64_t not_before = 0, not_after = 0;
    bool trusted = false, self_issued = false, v1 = false, ca = false, has_ku = false, unknown_critical = false;
    bool dead = false;  // explored once without reaching a root, and no bound was in the way
    int path_len = -1;
    uint8_t ku = 0;
    uint32_t index = kTarget;  // place in the pool
};

struct CrlRecord {
    X509CrlPtr crl;
    Bytes issuer_key;
};

bool ReadTime(DerCursor* cursor, int64_t* out) {
    DerView time;
    return DERVIEW_Next(cursor, &time) && TIME_CountFromDer(time.identifier, time.contents, time.length, out);
}

bool ReadCertExtensions(const DerView& extensions, Cert* c) {
    DerView list;
    if (!DERVIEW_Read(extensions.contents, extensions.length, &list) || list.size != extensions.length ||
        list.identifier != kDerSequenceId)
        return false;
    DerCursor items = DERVIEW_Items(list);
    DerView extension;
    while (DERVIEW_Next(&items, &extension)) {
        int number;
        bool critical;
        DerView value;
        if (!X509_ReadExtension(extension, &number, &critical, &value)) return false;
        switch (number) {
            case kSubjectKeyId:
                if (value.identifier != DER_OCTET_STRING) return false;
                c->ski = value;
                break;
            case kAuthorityKeyId: {
                if (value.identifier != kDerSequenceId) return false;
                DerCursor parts = DERVIEW_Items(value);
                DerView id;
                if (DERVIEW_NextIf(&parts, 0x80, &id)) c->aki = id;
                break;
            }
            case kKeyUsage:
                if (value.identifier != DER_BIT_STRING || value.length < 1) return false;
                c->has_ku = true;
                c->ku = value.length > 1 ? value.contents[1] : 0;
                break;
            case kBasicConstraints: {
                if (value.identifier != kDerSequenceId) return false;
                DerCursor parts = DERVIEW_Items(value);
                DerView flag, length;
                if (DERVIEW_NextIf(&parts, DER_BOOLEAN, &flag))
                    c->ca = flag.length == 1 && flag.contents[0] != 0;
                if (DERVIEW_NextIf(&parts, DER_INTEGER, &length)) {
                    if (length.length == 0 || (length.contents[0] & 0x80)) return false;
                    int64_t n = 0;
                    for (uint32_t i = 0; i < length.length; ++i) n = std::min<int64_t>((n << 8) | length.contents[i], 1 << 20);
                    c->path_len = static_cast<int>(n);
                }
                if (parts.left != 0) return false;
                break;
            }
            case kCrlPoints: c->crl_points = value; break;
            case kSubjectDirectory:
            case kSubjectAltName:
            case kIssuerAltName:
            case kPolicies:
            case kPolicyMappings:
            case kPolicyConstraints:
            case kExtKeyUsage:
            case kFreshestCrl:
            case kInhibitAnyPolicy: break;
            default:
                if (critical) c->unknown_critical = true;
        }
    }
    return !items.failed;
}

// Reads what validation needs straight from the encoding; the decoded certificate serves the
// signature checks.
bool LoadCert(const uint8_t* bytes, size_t available, Cert* c) {
    DerView whole;
    if (!DERVIEW_Read(bytes, available, &whole) || whole.identifier != kDerSequenceId) return false;
    c->der.assign(bytes, bytes + whole.size);
    c->cert = X509_DecodeBytes(c->der.data(), c->der.size());
    if (!c->cert) return false;
    DERVIEW_Read(c->der.data(), c->der.size(), &whole);
    DerCursor outer = DERVIEW_Items(whole);
    DerView tbs, version, algorithm, issuer, validity, subject, item;
    if (!DERVIEW_NextIf(&outer, kDerSequenceId, &tbs)) return false;
    DerCursor fields = DERVIEW_Items(tbs);
    c->v1 = !DERVIEW_NextIf(&fields, kDerExplicit0Id, &version);
    if (!DERVIEW_NextIf(&fields, DER_INTEGER, &c->serial) || !DERVIEW_NextIf(&fields, kDerSequenceId, &algorithm) ||
        !DERVIEW_NextIf(&fields, kDerSequenceId, &issuer) || !DERVIEW_NextIf(&fields, kDerSequenceId, &validity) ||
        !DERVIEW_NextIf(&fields, kDerSequenceId, &subject))
        return false;
    DerCursor times = DERVIEW_Items(validity);
    if (!ReadTime(&times, &c->not_before) || !ReadTime(&times, &c->not_after)) return false;
    if (!X509Name_MatchKey(issuer.start, issuer.size, &c->issuer_key) ||
        !X509Name_MatchKey(subject.start, subject.size, &c->subject_key))
        return false;
    c->issuer_hash = X509Name_KeyHash(c->issuer_key);
    c->self_issued = c->issuer_key == c->subject_key;
    while (DERVIEW_Next(&fields, &item))
        if (item.identifier == 0xA3 && !ReadCertExtensions(item, c)) return false;
    return !fields.failed;
}

bool SameView(const DerView& a, const DerView& b) {
    return a.length == b.length && std::memcmp(a.contents, b.contents, a.length) == 0;
}

}  // namespace

struct TrustStore {
    Vec<Cert*> certs;
    Vec<CrlRecord*> crls;
    MultiMap by_subject;      // subject key hash -> certificate
    MultiMap crls_by_issuer;  // issuer key hash -> CRL
    Map<uint8_t> signatures;      // (child, issuer) -> SignatureCheck, pool pairs only
    Map<uint8_t> crl_signatures;  // (CRL, issuer) -> SignatureCheck
    Vec<Bytes> path;
    int32_t reason = -1;
    ~TrustStore() {
        for (Cert* c : certs) DeleteObject(c);
        for (CrlRecord* r : crls) DeleteObject(r);
    }
};

namespace {

// One verification: the path being built and what the search met on the way, the first path that
// reached a root but did not hold among it.
struct Search {
    TrustStore* store;
    Cert* target;
    int64_t at;
    uint32_t flags;
    Vec<Cert*> path;
    Map<uint8_t> target_signatures;
    bool failed = false;
    TrustResult failure = TrustResult::kValid;
    Vec<Cert*> failed_path;
    int32_t failed_reason = -1;
    int budget = kSearchBudget;
    bool saw_bad_signature = false, saw_unsupported = false, cut_by_depth = false, memory = false;
};

SignatureCheck CachedSignature(Search& s, uint32_t child, const Cert* child_cert, uint32_t issuer) {
    Map<uint8_t>& cache = child == kTarget ? s.target_signatures : s.store->signatures;
    const uint64_t key = (uint64_t{child} << 32) | issuer;
    if (auto found = cache.find(key); found != cache.end()) return static_cast<SignatureCheck>(found->second);
    const SignatureCheck check = X509_VerifyIssuedBy(child_cert->cert.get(), s.store->certs[issuer]->cert.get());
    if (check == SignatureCheck::kMemory) {
        s.memory = true;
        return check;
    }
    cache.emplace(key, static_cast<uint8_t>(check));
    return check;
}

// Issuer candidates of `c` in the pool, best first: trusted before untrusted, a key identifier
// that matches before none, and a known different key identifier not at all.
void Candidates(const TrustStore* store, const Cert* c, Vec<uint32_t>* out) {
    out->clear();
    auto range = store->by_subject.equal_range(c->issuer_hash);
    for (auto it = range.first; it != range.second; ++it) {
        const Cert* candidate = store->certs[it->second];
        if (candidate->subject_key != c->issuer_key) continue;
        if (c->aki.length && candidate->ski.length && !SameView(c->aki, candidate->ski)) continue;
        out->push_back(it->second);
    }
    auto rank = [&](uint32_t index) {
        const Cert* candidate = store->certs[index];
        return (candidate->trusted ? 0 : 2) + (c->aki.length && candidate->ski.length ? 0 : 1);
    };
    std::stable_sort(out->begin(), out->end(), [&](uint32_t a, uint32_t b) { return rank(a) < rank(b); });
}

TrustResult Validate(TrustStore* store, const Vec<Cert*>& path, int64_t at, uint32_t flags);

// Depth-first from `c` (the last certificate on the path): true when the path reaches a trusted
// root and holds; a path that reaches one and fails validation is remembered, and the search goes
// on for another. *blocked tells the caller that a loop, the depth bound or the budget stopped a branch, so
// that a failure here does not prove `c` useless for every path.
bool Extend(Search& s, Cert* c, bool* blocked) {
    Vec<uint32_t> candidates;
    Candidates(s.store, c, &candidates);
    for (uint32_t next : candidates) {
        Cert* issuer = s.store->certs[next];
        if (std::find(s.path.begin(), s.path.end(), issuer) != s.path.end()) {
            *blocked = true;
            continue;
        }
        if (issuer->dead) continue;
        if (--s.budget < 0) {
            *blocked = true;
            return false;
        }
        const SignatureCheck check = CachedSignature(s, c->index, c, next);
        if (s.memory) return false;
        if (check != SignatureCheck::kValid) {
            (check == SignatureCheck::kUnsupported ? s.saw_unsupported : s.saw_bad_signature) = true;
            continue;
        }
        s.path.push_back(issuer);
        if (issuer->trusted) {
            s.store->reason = -1;
            const TrustResult verdict = Validate(s.store, s.path, s.at, s.flags);
            if (verdict == TrustResult::kValid) return true;
            if (verdict == TrustResult::kMemory) {
                s.memory = true;
                return false;
            }
            if (!s.failed) {
                s.failed = true;
                s.failure = verdict;
                s.failed_path = s.path;
                s.failed_reason = s.store->reason;
            }
            *blocked = true;  // these issuers may still serve a path that holds
            s.path.pop_back();
            continue;
        }
        if (s.path.size() - 1 >= static_cast<size_t>(kTrustMaxDepth)) {
            s.cut_by_depth = *blocked = true;
        } else {
            bool below = false;
            if (Extend(s, issuer, &below)) return true;
            if (s.memory) return false;
            if (below) *blocked = true;
            else issuer->dead = true;
        }
        s.path.pop_back();
    }
    return false;
}

bool InsideValidity(const Cert* c, int64_t at) { return c->not_before <= at && at <= c->not_after; }

// Whether the CRL's issuingDistributionPoint covers the certificate: the same distributionPoint
// in the certificate's crlDistributionPoints when the CRL names one, and the right kind.
bool InScope(const X509Crl* crl, const Cert* c) {
    if ((crl->flags & kCrlOnlyUserCerts) && c->ca) return false;
    if ((crl->flags & kCrlOnlyCaCerts) && !c->ca) return false;
    if (crl->flags & kCrlOnlyAttributeCerts) return false;
    if (!crl->distribution_point.size) return true;
    if (!c->crl_points.size || c->crl_points.identifier != kDerSequenceId) return false;
    DerCursor points = DERVIEW_Items(c->crl_points);
    DerView point;
    while (DERVIEW_Next(&points, &point)) {
        DerCursor parts = DERVIEW_Items(point);
        DerView name;
        if (DERVIEW_NextIf(&parts, kDerExplicit0Id, &name) && DERVIEW_Equal(name, crl->distribution_point))
            return true;
    }
    return false;
}

// Revocation of `c` by the CRLs of `issuer` (its pool index `issuer_index`).
TrustResult CheckRevocation(TrustStore* store, const Cert* c, uint32_t issuer_index, int64_t at, uint32_t flags) {
    const Cert* issuer = store->certs[issuer_index];
    TrustResult failure = TrustResult::kValid;
    const X509Crl* best = nullptr;
    auto range = store->crls_by_issuer.equal_range(X509Name_KeyHash(issuer->subject_key));
    for (auto it = range.first; it != range.second; ++it) {
        const CrlRecord* record = store->crls[it->second];
        const X509Crl* crl = record->crl.get();
        if (record->issuer_key != issuer->subject_key) continue;
        if (crl->key_id.length && issuer->ski.length && !SameView(crl->key_id, issuer->ski)) continue;
        TrustResult verdict = TrustResult::kValid;
        // Lists of a kind not read here are refused before their scope is, which they may widen.
        if (crl->flags & (kCrlDelta | kCrlIndirect | kCrlOnlySomeReasons)) {
            verdict = TrustResult::kUnsupported;
        } else if (!InScope(crl, c)) {
            continue;
        } else if (crl->flags & kCrlUnknownCritical) {
            verdict = TrustResult::kCritical;
        } else if (issuer->has_ku && !(issuer->ku & kCrlSign)) {
            verdict = TrustResult::kCrlInvalid;
        } else {
            const uint64_t key = (uint64_t{it->second} << 32) | issuer_index;
            SignatureCheck check;
            if (auto found = store->crl_signatures.find(key); found != store->crl_signatures.end()) {
                check = static_cast<SignatureCheck>(found->second);
            } else {
                check = X509_VerifySignedBy(crl->tbs, crl->inner_algorithm, crl->outer_algorithm, crl->signature,
                                            issuer->cert.get());
                if (check == SignatureCheck::kMemory) return TrustResult::kMemory;
                store->crl_signatures.emplace(key, static_cast<uint8_t>(check));
            }
            if (check != SignatureCheck::kValid) {
                verdict = TrustResult::kCrlInvalid;
            } else if (!(flags & kTrustIgnoreValidity) &&
                       (crl->this_update > at || (crl->has_next_update && crl->next_update < at))) {
                verdict = TrustResult::kCrlInvalid;
            }
        }
        if (verdict != TrustResult::kValid) {
            if (failure == TrustResult::kValid) failure = verdict;
            continue;
        }
        if (!best || crl->this_update > best->this_update) best = crl;
    }
    if (!best) {
        if (failure != TrustResult::kValid) return failure;
        return (flags & kTrustRequireCrl) ? TrustResult::kNoCrl : TrustResult::kValid;
    }
    const X509CrlEntry* entry = X509Crl_Find(best, c->serial.contents, c->serial.length);
    if (!entry || entry->reason == kCrlReasonRemoveFromCrl) return TrustResult::kValid;
    store->reason = entry->reason == kCrlNoReason ? 0 : entry->reason;
    return TrustResult::kRevoked;
}

// RFC 5280 6.1 on a built path (leaf first, trusted root last), without policies.
TrustResult Validate(TrustStore* store, const Vec<Cert*>& path, int64_t at, uint32_t flags) {
    const size_t n = path.size();
    for (const Cert* c : path)
        if (c->unknown_critical) return TrustResult::kCritical;
    // Issuers: CA, keyCertSign, and the non-self-issued intermediates below within pathLenConstraint.
    for (size_t i = 1; i < n; ++i) {
        const Cert* c = path[i];
        const bool v1_root = c->v1 && i == n - 1 && c->self_issued;
        if (!c->ca && !v1_root) return TrustResult::kNotCa;
        if (c->has_ku && !(c->ku & kKeyCertSign)) return TrustResult::kKeyUsage;
        if (c->path_len >= 0) {
            int below = 0;
            for (size_t j = 1; j < i; ++j) below += path[j]->self_issued ? 0 : 1;
            if (below > c->path_len) return TrustResult::kPathLength;
        }
    }
    if (!(flags & kTrustIgnoreValidity))
        for (const Cert* c : path)
            if (!InsideValidity(c, at)) return TrustResult::kValidity;
    for (size_t i = 0; i + 1 < n; ++i) {
        const TrustResult revocation = CheckRevocation(store, path[i], path[i + 1]->index, at, flags);
        if (revocation != TrustResult::kValid) return revocation;
    }
    return TrustResult::kValid;
}

// Certificates lent to one verification, taken out of the pool again (with whatever the caches
// learnt about them) when it ends.
struct Lent {
    TrustStore* store;
    size_t keep;
    ~Lent() {
        if (store->certs.size() == keep) return;
        for (size_t i = keep; i < store->certs.size(); ++i) {
            Cert* c = store->certs[i];
            auto range = store->by_subject.equal_range(X509Name_KeyHash(c->subject_key));
            for (auto it = range.first; it != range.second;)
                it = it->second >= keep ? store->by_subject.erase(it) : std::next(it);
            DeleteObject(c);
        }
        store->certs.resize(keep);
        auto lent = [&](uint64_t index) { return index != kTarget && index >= keep; };
        for (auto it = store->signatures.begin(); it != store->signatures.end();)
            it = lent(it->first >> 32) || lent(it->first & 0xFFFFFFFF) ? store->signatures.erase(it) : std::next(it);
        for (auto it = store->crl_signatures.begin(); it != store->crl_signatures.end();)
            it = lent(it->first & 0xFFFFFFFF) ? store->crl_signatures.erase(it) : std::next(it);
    }
};

TrustResult Verify(TrustStore* store, const uint8_t* der, size_t length, int64_t at, uint32_t flags,
                   const TrustExtra* extras, size_t extra_count) {
    store->path.clear();
    store->reason = -1;
    Cert target;
    const unsigned long failures = MEM_FailureCount();
    if (!LoadCert(der, length, &target))
        return MEM_FailureCount() != failures ? TrustResult::kMemory : TrustResult::kMalformed;
    Lent lent{store, store->certs.size()};
    for (size_t i = 0; i < extra_count; ++i) {
        store->certs.reserve(store->certs.size() + 1);
        Cert* c = NewObject<Cert>();
        bool loaded;
        try {
            loaded = LoadCert(extras[i].der, extras[i].length, c);
        } catch (...) {
            DeleteObject(c);
            throw;
        }
        if (!loaded) {
            DeleteObject(c);
            if (MEM_FailureCount() != failures) return TrustResult::kMemory;
            continue;
        }
        c->index = static_cast<uint32_t>(store->certs.size());
        store->certs.push_back(c);
        store->by_subject.emplace(X509Name_KeyHash(c->subject_key), c->index);
    }
    Search s{store, &target, at, flags, {}, {}};
    s.path.push_back(&target);
    // The certificate may be a trusted root itself.
    Cert* anchor = nullptr;
    auto range = store->by_subject.equal_range(X509Name_KeyHash(target.subject_key));
    for (auto it = range.first; it != range.second && !anchor; ++it)
        if (store->certs[it->second]->trusted && store->certs[it->second]->der == target.der)
            anchor = store->certs[it->second];
    if (anchor) {
        store->path.push_back(anchor->der);
        return Validate(store, Vec<Cert*>{anchor}, at, flags);
    }
    for (Cert* c : store->certs) c->dead = false;
    bool blocked = false;
    const bool found = Extend(s, &target, &blocked);
    if (s.memory) return TrustResult::kMemory;
    if (found || !s.failed) {
        for (const Cert* c : s.path) store->path.push_back(c->der);
        if (found) return TrustResult::kValid;
        if (s.cut_by_depth) return TrustResult::kPathLength;
        if (s.saw_bad_signature) return TrustResult::kSignature;
        return s.saw_unsupported ? TrustResult::kUnsupportedAlgorithm : TrustResult::kIssuer;
    }
    for (const Cert* c : s.failed_path) store->path.push_back(c->der);
    store->reason = s.failed_reason;
    return s.failure;
}

}  // namespace

TrustStore* TRUST_New() {
    try {
        return NewObject<TrustStore>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void TRUST_Free(TrustStore* store) { DeleteObject(store); }

namespace {

// Calls `add` with each DER item of the input: the PEM blocks of `label`, or the one DER element.
template <class Add>
TrustAdd ForEachItem(const uint8_t* bytes, size_t length, const char* label, Add&& add) {
    // DER opens with its SEQUENCE; anything else is read as PEM, explanatory text allowed.
    if (length && bytes[0] == kDerSequenceId) return add(bytes, length) ? TrustAdd::kAdded : TrustAdd::kMalformed;
    size_t offset = 0;
    int blocks = 0;
    for (;;) {
        uint8_t* der = nullptr;
        size_t der_length = 0;
        const int next = PEM_Next(bytes, length, &offset, label, &der, &der_length);
        if (next == 0) break;
        if (next < 0) return TrustAdd::kMalformed;
        MemBlock owned(der);
        if (!add(der, der_length)) return TrustAdd::kMalformed;
        ++blocks;
    }
    return blocks ? TrustAdd::kAdded : TrustAdd::kMalformed;
}

}  // namespace

TrustAdd TRUST_AddCertificates(TrustStore* store, const uint8_t* bytes, size_t length, bool trusted, int* count) {
    Vec<Cert*> loaded;
    const unsigned long failures = MEM_FailureCount();
    const TrustAdd result = [&] {
        try {
            return ForEachItem(bytes, length, "CERTIFICATE", [&](const uint8_t* der, size_t der_length) {
                loaded.reserve(loaded.size() + 1);  // so that the push cannot lose the object
                Cert* c = NewObject<Cert>();
                loaded.push_back(c);
                c->trusted = trusted;
                return LoadCert(der, der_length, c);
            });
        } catch (const std::bad_alloc&) {
            return TrustAdd::kMemory;
        }
    }();
    if (result != TrustAdd::kAdded) {
        for (Cert* c : loaded) DeleteObject(c);
        return MEM_FailureCount() != failures ? TrustAdd::kMemory : result;
    }
    try {
        store->certs.reserve(store->certs.size() + loaded.size());
        for (Cert* c : loaded) {
            c->index = static_cast<uint32_t>(store->certs.size());
            store->certs.push_back(c);
            store->by_subject.emplace(X509Name_KeyHash(c->subject_key), c->index);
        }
    } catch (const std::bad_alloc&) {
        // Whatever made it into the index is in the pool; the rest goes.
        for (Cert* c : loaded)
            if (std::find(store->certs.begin(), store->certs.end(), c) == store->certs.end()) DeleteObject(c);
        return TrustAdd::kMemory;
    }
    if (count) *count = static_cast<int>(loaded.size());
    return TrustAdd::kAdded;
}

TrustAdd TRUST_AddCrls(TrustStore* store, const uint8_t* bytes, size_t length, int* count) {
    Vec<CrlRecord*> loaded;
    const unsigned long failures = MEM_FailureCount();
    const TrustAdd result = [&] {
        try {
            return ForEachItem(bytes, length, "X509 CRL", [&](const uint8_t* der, size_t der_length) {
                loaded.reserve(loaded.size() + 1);
                CrlRecord* r = NewObject<CrlRecord>();
                loaded.push_back(r);
                r->crl.reset(X509Crl_Decode(der, der_length));
                return r->crl && X509Name_MatchKey(r->crl->issuer.start, r->crl->issuer.size, &r->issuer_key);
            });
        } catch (const std::bad_alloc&) {
            return TrustAdd::kMemory;
        }
    }();
    if (result != TrustAdd::kAdded) {
        for (CrlRecord* r : loaded) DeleteObject(r);
        return MEM_FailureCount() != failures ? TrustAdd::kMemory : result;
    }
    try {
        store->crls.reserve(store->crls.size() + loaded.size());
        for (CrlRecord* r : loaded) {
            store->crls_by_issuer.emplace(X509Name_KeyHash(r->issuer_key), static_cast<uint32_t>(store->crls.size()));
            store->crls.push_back(r);
        }
    } catch (const std::bad_alloc&) {
        for (CrlRecord* r : loaded)
            if (std::find(store->crls.begin(), store->crls.end(), r) == store->crls.end()) DeleteObject(r);
        return TrustAdd::kMemory;
    }
    if (count) *count = static_cast<int>(loaded.size());
    return TrustAdd::kAdded;
}

TrustFolder TRUST_AddFolder(TrustStore* store, const char* folder, int* count) {
    *count = 0;
    PathList files;
    try {
        FolderEntries entries;
        bool more = false;
        if (!FOLDER_List(folder, kFolderFileMax, &entries, &more)) return TrustFolder::kUnreadable;
        for (const FolderEntry& entry : entries) {
            if (entry.kind != FolderEntryKind::kFile) continue;
            PathText path(folder);
            if (!path.empty() && path.back() != '/' && path.back() != kPathSeparator) path.push_back(kPathSeparator);
            files.push_back(path + entry.name);
        }
        std::sort(files.begin(), files.end());
    } catch (const std::bad_alloc&) {
        return TrustFolder::kMemory;
    }
    for (const PathText& file : files) {
        uint8_t* bytes = nullptr;
        uint32_t length = 0;
        const unsigned long failures = MEM_FailureCount();
        if (FILE_ReadAll(file.c_str(), &bytes, &length) != 1) {
            if (MEM_FailureCount() != failures) return TrustFolder::kMemory;
            continue;  // a subfolder, or a file that cannot be read
        }
        MemBlock owned(bytes);
        int added = 0;
        const TrustAdd result = TRUST_AddCertificates(store, bytes, length, true, &added);
        if (result == TrustAdd::kMemory) return TrustFolder::kMemory;
        if (result == TrustAdd::kAdded) *count += added;
    }
    return TrustFolder::kRead;
}

TrustResult TRUST_VerifyCertificate(TrustStore* store, const uint8_t* der, size_t length, int64_t at,
                                    uint32_t flags, const TrustExtra* extras, size_t extra_count) {
    try {
        return Verify(store, der, length, at, flags, extras, extra_count);
    } catch (const std::bad_alloc&) {
        store->path.clear();
        return TrustResult::kMemory;
    }
}

size_t TRUST_PathLength(const TrustStore* store) { return store->path.size(); }

const Bytes* TRUST_PathCertificate(const TrustStore* store, size_t index) {
    return index < store->path.size() ? &store->path[index] : nullptr;
}

int32_t TRUST_RevocationReason(const TrustStore* store) { return store->reason; }

}  // namespace quillon
