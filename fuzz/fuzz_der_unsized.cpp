// DER_ParseUnsized on arbitrary bytes, against a bounded model of the header: a refused header
// is refused having read no further than its disqualifying octet, and an accepted one yields
// exactly the declared element, read from a block that holds nothing more. Inputs that declare
// more than they hold break the caller's promise and are not fed to the reader.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/mem.h"
#include "asn1/der.h"

using namespace quillon;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

enum class Verdict { kIncomplete, kRefused, kDeclared };

// How the header at `data` reads within `size` bytes; `bytes` is how many the reader may look at
// (up to the disqualifying octet when refused, the whole element when declared).
Verdict Model(const uint8_t* data, size_t size, size_t& bytes) {
    if (size < 1) return Verdict::kIncomplete;
    if ((data[0] & 0x1F) == 0x1F) return bytes = 1, Verdict::kRefused;
    if (size < 2) return Verdict::kIncomplete;
    size_t header = 2;
    uint64_t length = data[1];
    if (data[1] & 0x80) {
        const size_t n = data[1] & 0x7F;
        if (n == 0 || n > 4) return bytes = 2, Verdict::kRefused;
        if (size < 2 + n) return Verdict::kIncomplete;
        length = 0;
        for (size_t i = 0; i < n; ++i) length = length << 8 | data[2 + i];
        header += n;
    }
    if (header + length > kDerUnsizedMax) return bytes = header, Verdict::kRefused;
    if (header + length > size) return Verdict::kIncomplete;
    bytes = header + static_cast<size_t>(length);
    return Verdict::kDeclared;
}

uint8_t* ExactCopy(const uint8_t* data, size_t size) {
    auto* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(copy, data, size);
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t bytes = 0;
    const Verdict verdict = Model(data, size, bytes);
    if (verdict == Verdict::kIncomplete) return 0;

    uint8_t* exact = ExactCopy(data, bytes);
    const size_t declared = DER_UnsizedLength(exact);
    DerElement* element = DER_ParseUnsized(exact);
    if (verdict == Verdict::kRefused) {
        Check(declared == 0 && element == nullptr);
    } else {
        Check(declared == bytes && element != nullptr);
        uint8_t* out = nullptr;
        Check(DER_ToBytes(element, &out) == static_cast<int32_t>(bytes) && std::memcmp(out, exact, bytes) == 0);
        MEM_Free(out);
        // The walk stays inside the element whatever its items claim; a whole walk ends at its end.
        const int count = DER_ItemCount(element);
        for (int index = 0; index <= count; ++index) {
            auto* item = static_cast<AsnValue*>(DER_GetItem(element, index, DER_ANY));
            Check(index < count || count == 0 || item == nullptr);
            ASNVALUE_Free(item);
        }
        DER_Free(element);
        // Trailing bytes change nothing.
        uint8_t* whole = ExactCopy(data, size);
        Check(DER_UnsizedLength(whole) == bytes);
        std::free(whole);
    }
    std::free(exact);
    Check(MEM_LiveBlocks() == 0);
    return 0;
}
