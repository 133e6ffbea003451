#include "asn1/der_view.h"

#include <cstring>

#include "asn1/der.h"

namespace quillon {

bool DERVIEW_Read(const uint8_t* bytes, size_t available, DerView* out) {
    if (!bytes || available < 2 || (bytes[0] & kDerTagNumberMask) == kDerTagNumberMask) return false;
    size_t header = 2;
    uint32_t length = bytes[1];
    if (length >= 0x80) {
        const size_t n = length & 0x7F;
        if (n == 0 || n > 4 || available - 2 < n) return false;  // indefinite, or too wide
        length = 0;
        for (size_t i = 0; i < n; ++i) length = (length << 8) | bytes[2 + i];
        if (length > kDerMaxLength) return false;
        header += n;
    }
    if (available - header < length) return false;
    *out = DerView{bytes[0], bytes, bytes + header, length, header + length};
    return true;
}

bool DERVIEW_Next(DerCursor* cursor, DerView* out) {
    if (cursor->failed || cursor->left == 0) return false;
    if (!DERVIEW_Read(cursor->at, cursor->left, out)) {
        cursor->failed = true;
        return false;
    }
    cursor->at += out->size;
    cursor->left -= out->size;
    return true;
}

bool DERVIEW_NextIf(DerCursor* cursor, uint8_t identifier, DerView* out) {
    if (cursor->failed || cursor->left == 0 || cursor->at[0] != identifier) return false;
    return DERVIEW_Next(cursor, out);
}

bool DERVIEW_Equal(const DerView& a, const DerView& b) {
    return a.size == b.size && (a.size == 0 || std::memcmp(a.start, b.start, a.size) == 0);
}

}  // namespace quillon
