#include "x509/x509_name_key.h"

#include "asn1/der.h"
#include "asn1/der_view.h"

namespace quillon {
namespace {

constexpr uint8_t kPrintableId = 0x13, kUtf8Id = 0x0C;

void PutLength(Bytes* out, size_t length) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(length >> shift));
}

// Folded, collapsed and trimmed text; other bytes (UTF-8 beyond ASCII) pass as they are.
void PutNormalised(Bytes* out, const uint8_t* text, uint32_t length) {
    const size_t mark = out->size();
    PutLength(out, 0);
    bool pending_space = false;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = text[i];
        if (c == ' ') {
            pending_space = out->size() > mark + 4;
            continue;
        }
        if (pending_space) out->push_back(' ');
        pending_space = false;
        if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c + ('a' - 'A'));
        out->push_back(c);
    }
    const size_t written = out->size() - mark - 4;
    for (int i = 0; i < 4; ++i) (*out)[mark + i] = static_cast<uint8_t>(written >> (24 - 8 * i));
}

}  // namespace

bool X509Name_MatchKey(const uint8_t* name, size_t size, Bytes* out) {
    DerView whole;
    if (!DERVIEW_Read(name, size, &whole) || whole.identifier != kDerSequenceId) return false;
    out->clear();
    DerCursor rdns = DERVIEW_Items(whole);
    DerView rdn;
    while (DERVIEW_Next(&rdns, &rdn)) {
        if (rdn.identifier != kDerSetId || rdn.length == 0) return false;
        out->push_back(0x31);
        DerCursor attributes = DERVIEW_Items(rdn);
        DerView attribute;
        while (DERVIEW_Next(&attributes, &attribute)) {
            DerCursor parts = DERVIEW_Items(attribute);
            DerView type, value;
            if (attribute.identifier != kDerSequenceId || !DERVIEW_NextIf(&parts, DER_OID, &type) ||
                !DERVIEW_Next(&parts, &value) || parts.left != 0)
                return false;
            out->insert(out->end(), type.start, type.start + type.size);
            if (value.identifier == kPrintableId || value.identifier == kUtf8Id) {
                out->push_back(0);
                PutNormalised(out, value.contents, value.length);
            } else {
                out->push_back(1);
                PutLength(out, value.size);
                out->insert(out->end(), value.start, value.start + value.size);
            }
        }
        if (attributes.failed) return false;
    }
    return !rdns.failed;
}

uint64_t X509Name_KeyHash(const Bytes& key) {
    uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (uint8_t byte : key) hash = (hash ^ byte) * 0x100000001b3ULL;
    return hash;
}

}  // namespace quillon
