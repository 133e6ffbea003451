#include "x509/x509_crl.h"

#include <algorithm>
#include <cstring>

#include "asn1/der.h"
#include "asn1/time_value.h"

namespace quillon {
namespace {

// More extensions than any real list carries are refused (each is checked against the others).
constexpr int kMaxExtensions = 64;
constexpr uint8_t kIdCe[] = {0x55, 0x1D};  // 2.5.29
constexpr uint8_t kCrlNumber = 20, kReasonCode = 21, kInvalidityDate = 24, kDeltaIndicator = 27,
                  kIssuingPoint = 28, kCertificateIssuer = 29, kIssuerAltName = 18, kFreshestCrl = 46,
                  kAuthorityKeyId = 35;

// The id-ce arc number of an extension's OID, or -1 for any other OID.
int IdCeNumber(const DerView& oid) {
    if (oid.length != 3 || std::memcmp(oid.contents, kIdCe, 2) != 0) return -1;
    return oid.contents[2];
}

bool ReadTime(DerCursor* cursor, int64_t* out) {
    DerView time;
    if (!DERVIEW_Next(cursor, &time)) return false;
    return TIME_CountFromDer(time.identifier, time.contents, time.length, out) == 1;
}

}  // namespace

bool X509_ReadExtension(const DerView& extension, int* number, bool* critical, DerView* value) {
    if (extension.identifier != kDerSequenceId) return false;
    DerCursor items = DERVIEW_Items(extension);
    DerView oid, flag;
    if (!DERVIEW_NextIf(&items, DER_OID, &oid) || oid.length == 0) return false;
    *critical = false;
    if (DERVIEW_NextIf(&items, DER_BOOLEAN, &flag)) {
        if (flag.length != 1 || flag.contents[0] != 0xFF) return false;  // DER: only TRUE is written
        *critical = true;
    }
    DerView octets;
    if (!DERVIEW_NextIf(&items, DER_OCTET_STRING, &octets) || items.left != 0) return false;
    if (!DERVIEW_Read(octets.contents, octets.length, value) || value->size != octets.length) return false;
    *number = IdCeNumber(oid);
    return true;
}

namespace {

// Walks an Extensions SEQUENCE, refusing an extension seen twice (by its OID bytes).
template <class Visit>
bool ForEachExtension(const DerView& extensions, Visit&& visit) {
    if (extensions.identifier != kDerSequenceId || extensions.length == 0) return false;
    DerCursor list = DERVIEW_Items(extensions);
    DerView extension;
    int seen = 0;
    while (DERVIEW_Next(&list, &extension)) {
        if (++seen > kMaxExtensions) return false;
        DerCursor later = list;
        DerView other;
        const DerView oid = [&] {
            DerView v{};
            DerCursor c = DERVIEW_Items(extension);
            DERVIEW_Next(&c, &v);
            return v;
        }();
        while (DERVIEW_Next(&later, &other)) {
            DerCursor c = DERVIEW_Items(other);
            DerView o;
            if (DERVIEW_Next(&c, &o) && DERVIEW_Equal(o, oid)) return false;
        }
        int number;
        bool critical;
        DerView value;
        if (!X509_ReadExtension(extension, &number, &critical, &value) || !visit(number, critical, value)) return false;
    }
    return !list.failed;
}

bool DecodeEntry(const DerView& element, uint32_t version, X509CrlEntry* entry, uint32_t* flags) {
    if (element.identifier != kDerSequenceId) return false;
    DerCursor items = DERVIEW_Items(element);
    DerView serial, extensions;
    int64_t revoked;
    if (!DERVIEW_NextIf(&items, DER_INTEGER, &serial) || serial.length == 0 || !ReadTime(&items, &revoked))
        return false;
    *entry = X509CrlEntry{serial.contents, serial.length, kCrlNoReason};
    if (DERVIEW_Next(&items, &extensions)) {
        if (version < 2 || items.left != 0) return false;
        const bool ok = ForEachExtension(extensions, [&](int number, bool critical, const DerView& value) {
            switch (number) {
                case kReasonCode:
                    if (value.identifier != DER_ENUMERATED || value.length != 1 || value.contents[0] > 10 ||
                        value.contents[0] == 7)
                        return false;
                    entry->reason = value.contents[0];
                    return true;
                case kCertificateIssuer: *flags |= kCrlIndirect; return true;
                case kInvalidityDate: return true;
                default:
                    if (critical) *flags |= kCrlUnknownCritical;
                    return true;
            }
        });
        if (!ok) return false;
    }
    return !items.failed;
}

bool DecodeIssuingPoint(const DerView& value, X509Crl* crl) {
    if (value.identifier != kDerSequenceId) return false;
    DerCursor items = DERVIEW_Items(value);
    DerView item;
    int last = -1;
    while (DERVIEW_Next(&items, &item)) {
        const int tag = item.identifier & kDerTagNumberMask;
        if ((item.identifier & kDerClassMask) != kDerContextClass || tag <= last || tag > 5) return false;
        last = tag;
        if (tag == 0) {
            if (item.identifier != 0xA0) return false;
            crl->distribution_point = item;
            continue;
        }
        if (tag == 3) {
            crl->flags |= kCrlOnlySomeReasons;
            continue;
        }
        if (item.identifier != (kDerContextClass | tag) || item.length != 1 || item.contents[0] != 0xFF) return false;
        crl->flags |= tag == 1 ? kCrlOnlyUserCerts : tag == 2 ? kCrlOnlyCaCerts : tag == 4 ? kCrlIndirect
                                                                                              : kCrlOnlyAttributeCerts;
    }
    return !items.failed;
}

bool DecodeListExtension(int number, bool critical, const DerView& value, X509Crl* crl) {
    switch (number) {
        case kAuthorityKeyId: {
            if (value.identifier != kDerSequenceId) return false;
            DerCursor items = DERVIEW_Items(value);
            DerView key_id;
            if (DERVIEW_NextIf(&items, 0x80, &key_id)) crl->key_id = key_id;
            return true;
        }
        case kCrlNumber: return value.identifier == DER_INTEGER && value.length > 0 && value.length <= 20;
        case kDeltaIndicator: crl->flags |= kCrlDelta; return true;
        case kIssuingPoint: return DecodeIssuingPoint(value, crl);
        case kIssuerAltName:
        case kFreshestCrl: return true;
        default:
            if (critical) crl->flags |= kCrlUnknownCritical;
            return true;
    }
}

bool EntryBefore(const X509CrlEntry& a, const X509CrlEntry& b) {
    if (a.serial_length != b.serial_length) return a.serial_length < b.serial_length;
    return std::memcmp(a.serial, b.serial, a.serial_length) < 0;
}

bool DecodeInto(X509Crl* crl) {
    DerView whole;
    if (!DERVIEW_Read(crl->der, crl->der_size, &whole) || whole.identifier != kDerSequenceId) return false;
    DerCursor outer = DERVIEW_Items(whole);
    if (!DERVIEW_NextIf(&outer, kDerSequenceId, &crl->tbs) ||
        !DERVIEW_NextIf(&outer, kDerSequenceId, &crl->outer_algorithm) ||
        !DERVIEW_NextIf(&outer, DER_BIT_STRING, &crl->signature) || outer.left != 0)
        return false;
    DerCursor tbs = DERVIEW_Items(crl->tbs);
    DerView version;
    crl->version = 1;
    if (DERVIEW_NextIf(&tbs, DER_INTEGER, &version)) {
        if (version.length != 1 || version.contents[0] != 1) return false;  // only v2 is written out
        crl->version = 2;
    }
    if (!DERVIEW_NextIf(&tbs, kDerSequenceId, &crl->inner_algorithm) ||
        !DERVIEW_NextIf(&tbs, kDerSequenceId, &crl->issuer) || crl->issuer.length == 0 ||
        !ReadTime(&tbs, &crl->this_update))
        return false;
    if (tbs.left && (tbs.at[0] == 0x17 || tbs.at[0] == 0x18)) {
        if (!ReadTime(&tbs, &crl->next_update)) return false;
        crl->has_next_update = true;
    }
    DerView revoked{}, extensions{};
    const bool has_revoked = DERVIEW_NextIf(&tbs, kDerSequenceId, &revoked);
    if (DERVIEW_NextIf(&tbs, kDerExplicit0Id, &extensions)) {
        DerView list;
        if (crl->version < 2 || !DERVIEW_Read(extensions.contents, extensions.length, &list) ||
            list.size != extensions.length ||
            !ForEachExtension(list, [&](int number, bool critical, const DerView& value) {
                return DecodeListExtension(number, critical, value, crl);
            }))
            return false;
    }
    if (tbs.left != 0 || tbs.failed) return false;
    if (!has_revoked) return true;
    // Counted first, then filled, so one block holds every entry.
    uint32_t count = 0;
    DerCursor walk = DERVIEW_Items(revoked);
    DerView element;
    while (DERVIEW_Next(&walk, &element)) ++count;
    if (walk.failed) return false;
    if (count == 0) return true;  // an empty list where the field should be absent: nothing revoked
    crl->entries = static_cast<X509CrlEntry*>(MEM_Calloc(count, sizeof(X509CrlEntry)));
    if (!crl->entries) return false;
    walk = DERVIEW_Items(revoked);
    for (uint32_t i = 0; DERVIEW_Next(&walk, &element); ++i)
        if (!DecodeEntry(element, crl->version, &crl->entries[i], &crl->flags)) return false;
    crl->entry_count = count;
    std::sort(crl->entries, crl->entries + count, EntryBefore);
    return true;
}

}  // namespace

X509Crl* X509Crl_Decode(const uint8_t* der, size_t available) {
    DerView whole;
    if (!DERVIEW_Read(der, available, &whole)) return nullptr;
    X509CrlPtr crl(MEM_New<X509Crl>());
    if (!crl || !(crl->der = static_cast<uint8_t*>(MEM_Alloc(whole.size)))) return nullptr;
    std::memcpy(crl->der, der, whole.size);
    crl->der_size = whole.size;
    return DecodeInto(crl.get()) ? crl.release() : nullptr;
}

void X509Crl_Free(X509Crl* crl) {
    if (!crl) return;
    MEM_Free(crl->entries);
    MEM_Free(crl->der);
    MEM_Free(crl);
}

const X509CrlEntry* X509Crl_Find(const X509Crl* crl, const uint8_t* serial, uint32_t length) {
    if (!crl || !crl->entry_count) return nullptr;
    const X509CrlEntry key{serial, length, kCrlNoReason};
    const X509CrlEntry* end = crl->entries + crl->entry_count;
    const X509CrlEntry* at = std::lower_bound(static_cast<const X509CrlEntry*>(crl->entries), end, key, EntryBefore);
    return at != end && !EntryBefore(key, *at) ? at : nullptr;
}

}  // namespace quillon
