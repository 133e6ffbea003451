#include "x509/x509_name.h"

#include <cstring>

#include "core/mem.h"
#include "text/ksx1001.h"
#include "asn1/object_table.h"
#include "x509/text_writer.h"
#include "x509/x509_cert.h"

namespace quillon {
namespace {

using Entry = Owned<X509NameEntry, X509_FreeNameEntry>;

constexpr uint32_t kBmpStringTag = 30;

}  // namespace

int X509Name_Decode(const DerElement* name, PointerList** out) {
    if (!name || !out) return 0;
    const int count = DER_ItemCount(name);
    if (count <= 0) return 0;
    X509NamePtr list(PLIST_New());
    if (!list) return 0;
    for (int i = 0; i < count; ++i) {
        DerElementPtr set(static_cast<DerElement*>(DER_GetItem(name, i, DER_SET)));
        if (!set) return 0;
        DerElementPtr attribute(static_cast<DerElement*>(DER_GetItem(set.get(), 0, DER_SEQUENCE)));
        if (!attribute) return 0;
        AsnValuePtr object(static_cast<AsnValue*>(DER_GetItem(attribute.get(), 0, DER_OID)));
        AsnValuePtr value(static_cast<AsnValue*>(DER_GetItem(attribute.get(), 1, DER_ANY)));
        if (!object || !value) return 0;
        Entry entry(MEM_New<X509NameEntry>());
        if (!entry) return 0;
        entry->object = object.release();
        entry->value = value.release();
        if (PLIST_Push(list.get(), entry.get()) == 0) return 0;
        entry.release();
    }
    *out = list.release();
    return 1;
}

DerElement* X509Name_Encode(const PointerList* name) {
    const int count = X509_ListCount(name);
    if (count <= 0) return nullptr;
    DerElementPtr out(DER_New());
    if (!out) return nullptr;
    for (int i = 0; i < count; ++i) {
        const auto* entry = static_cast<const X509NameEntry*>(X509_ListGet(name, i));
        if (!entry || !entry->object || !entry->value) return nullptr;
        DerElementPtr attribute(DER_New());
        DerElementPtr set(DER_New());
        if (!attribute || !set) return nullptr;
        if (!DER_Append(attribute.get(), DER_OID, entry->object, static_cast<int32_t>(entry->object->length)) ||
            !DER_Append(attribute.get(), DER_ANY, entry->value, static_cast<int32_t>(entry->value->length)) ||
            !DER_AppendToSet(set.get(), DER_SEQUENCE, attribute.get(), 0) ||
            !DER_Append(out.get(), DER_SET, set.get(), 0))
            return nullptr;
    }
    return out.release();
}

int X509Name_ToText(const PointerList* name, char* buffer, int32_t size) {
    if (!buffer) return 0;
    TextWriter text(buffer, size);
    const int count = X509_ListCount(name);
    for (int i = count - 1; i >= 0; --i) {
        const auto* entry = static_cast<const X509NameEntry*>(X509_ListGet(name, i));
        if (!entry || !entry->object || !entry->value) return 0;
        const int nid = OBJ_NidFromValue(entry->object);
        if (!text.Put(OBJ_Row(nid)->short_name) || !text.PutChar('=')) return 0;
        const AsnValue* value = entry->value;
        if (nid == NID_C) {
            if (value->length && !value->data) return 0;
            if (!text.Put(value->data, value->length)) return 0;
        } else {
            // BMPString values are UCS-2; everything else is read as UTF-8, which ASCII is.
            // A failed conversion stores nothing; a failed allocation stores null.
            uint8_t untouched;
            uint8_t* converted = &untouched;
            const uint32_t n = value->type == kBmpStringTag ? KSX_FromBmp(value->data, value->length, &converted)
                                                             : KSX_FromUtf8(value->data, value->length, &converted);
            if (converted == &untouched) return 0;
            if (!converted) return -1;
            MemBlock owner(converted);
            if (!text.Put(converted, n)) return 0;
        }
        if (i > 0 && !text.PutChar(',')) return 0;
    }
    return text.Finish(2) ? 1 : 0;  // the name text keeps a spare byte
}

}  // namespace quillon
