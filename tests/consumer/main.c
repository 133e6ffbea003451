/* Uses the installed header and library: a Base64 round trip over random bytes. */
#include <stdio.h>
#include <string.h>

#include <quilloncrypto.h>

int main(void) {
    unsigned char bytes[57];
    if (GetRandomByte(bytes, (int32_t)sizeof bytes) != 1) return 1;
    BINSTR raw, text, back;
    BINSTR_Create(&raw);
    BINSTR_Create(&text);
    BINSTR_Create(&back);
    int ok = BINSTR_SetData(bytes, sizeof bytes, &raw) == QC_OK && BASE64_Encode(&raw, &text) == 76 &&
             BASE64_Decode(&text, &back) == (int32_t)sizeof bytes && memcmp(back.data, bytes, sizeof bytes) == 0;
    BINSTR_Delete(&back);
    BINSTR_Delete(&text);
    BINSTR_Delete(&raw);
    puts(ok ? "consumer: OK" : "consumer: FAILED");
    return ok ? 0 : 1;
}
