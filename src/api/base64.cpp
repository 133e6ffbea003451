// BASE64_*: count shape; the output record is left empty on failure.
#include "text/base64.h"
#include "api/export_guard.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

template <class Codec>
int32_t Run(Codec codec, const BINSTR* input, BINSTR* output) {
    if (!input || !output) return 0;
    return GuardCount([&]() -> int32_t {
        output->data = nullptr;
        output->length = 0;
        size_t length = 0;
        uint8_t* bytes = codec(input->data, input->length, &length);
        if (!bytes) return 0;
        output->data = bytes;
        output->length = static_cast<uint32_t>(length);
        return static_cast<int32_t>(length);
    });
}

}  // namespace

extern "C" QUILLON_API int32_t BASE64_Encode(const BINSTR* input, BINSTR* output) {
    return Run(BASE64_EncodeBytes, input, output);
}

extern "C" QUILLON_API int32_t BASE64_Decode(const BINSTR* input, BINSTR* output) {
    return Run(BASE64_DecodeBytes, input, output);
}
