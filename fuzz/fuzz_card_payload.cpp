// What a card file yields, as the storage layer reads it: the DER object is found inside the
// payload or refused, never out of bounds; the random-number record likewise.
#include <cstdint>
#include <cstdlib>

#include "card/card_storage.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t offset = 0, length = 0;
    if (CARD_FindObject(data, size, &offset, &length) == 1) {
        if (length < 2 || offset > size || length > size - offset || data[offset] != 0x30) std::abort();
    }
    uint8_t random[kCardRandomSize];
    CARD_ParseRandomRecord(data, size, random);
    return 0;
}
