/* Base64-encodes a buffer through the public API and prints the text. */
#include <stdio.h>
#include <string.h>

#include "quilloncrypto.h"

int main(void) {
    const char* message = "Hello, Quillon!";
    BINSTR input, encoded;
    BINSTR_Create(&input);
    BINSTR_Create(&encoded);

    if (BINSTR_SetData((const unsigned char*)message, (uint32_t)strlen(message), &input) != QC_OK) return 1;
    int32_t chars = BASE64_Encode(&input, &encoded);
    if (chars == 0) {
        BINSTR_Delete(&input);
        return 1;
    }
    printf("%s (%d characters)\n", (const char*)encoded.data, chars);

    BINSTR_Delete(&encoded);
    BINSTR_Delete(&input);
    return 0;
}
