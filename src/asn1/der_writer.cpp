#include "asn1/der_writer.h"

#include <algorithm>
#include <cstring>

#include "asn1/oid_text.h"

namespace quillon {

struct DerChunk {
    DerChunk* next;
};

enum class DerNodeKind : uint8_t { kConstructed, kSetOf, kPrimitive, kInteger, kEncoded, kElement };

struct DerNode {
    DerNode* next;  // next sibling
    DerNode* first;  // children, in write order
    DerNode* last;
    const uint8_t* bytes;  // primitive contents, or the whole of an encoded element
    const void* source;    // the BigNum of an INTEGER, or the DerElement
    uint8_t* at;           // where the last write put the node
    uint32_t length;       // of `bytes`
    uint32_t content_length;  // set by sizing
    uint32_t size;
    uint8_t header;  // identifier and length octets, set by sizing
    uint8_t identifier;
    DerNodeKind kind;
};

namespace {

using Kind = DerNodeKind;

constexpr size_t kAlign = alignof(std::max_align_t);
constexpr size_t kChunkRoom = 2048;  // a PKCS#7 or PKCS#12 tree fits in one

constexpr size_t RoundUp(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }
constexpr size_t kChunkHeader = RoundUp(sizeof(DerChunk));

// `n` bytes from the writer's chunks; null (and the writer failed) when memory runs out.
void* Take(DerWriter* w, size_t n) {
    if (!w || w->failed) return nullptr;
    n = RoundUp(n);
    if (!w->chunks || w->room - w->used < n) {
        const size_t room = std::max(n, kChunkRoom);
        auto* chunk = static_cast<DerChunk*>(MEM_Alloc(kChunkHeader + room));
        if (!chunk) {
            w->failed = true;
            return nullptr;
        }
        chunk->next = w->chunks;
        w->chunks = chunk;
        w->used = 0;
        w->room = room;
    }
    void* p = reinterpret_cast<uint8_t*>(w->chunks) + kChunkHeader + w->used;
    w->used += n;
    return p;
}

bool HasChildren(const DerNode* node) { return node->kind == Kind::kConstructed || node->kind == Kind::kSetOf; }

DerNode* Add(DerWriter* w, DerNode* parent, Kind kind, uint8_t identifier) {
    if (!w || w->failed) return nullptr;
    if (parent && !HasChildren(parent)) return DERW_Fail(w);
    auto* node = static_cast<DerNode*>(Take(w, sizeof(DerNode)));
    if (!node) return nullptr;
    *node = DerNode{};
    node->kind = kind;
    node->identifier = identifier;
    if (parent) {
        (parent->last ? parent->last->next : parent->first) = node;
        parent->last = node;
    }
    return node;
}

bool SingleOctetTag(uint8_t identifier) { return (identifier & kDerTagNumberMask) != kDerTagNumberMask; }

// An element that can be written: an identifier, readable length octets, and its contents.
bool Usable(const DerElement* e, uint32_t* content_length) {
    const int32_t length = DER_ContentLength(e);
    if (!e || !e->identifier || length < 0 || (length > 0 && !e->contents)) return false;
    *content_length = static_cast<uint32_t>(length);
    return true;
}

// Sets content_length, header and size for the node and everything under it; false when an
// element would pass kDerMaxLength.
bool Measure(DerNode* n) {
    uint64_t content = 0;
    switch (n->kind) {
        case Kind::kEncoded:
            n->header = static_cast<uint8_t>(1 + DER_LengthOctetCount(n->bytes + 1));
            n->content_length = n->length - n->header;
            n->size = n->length;
            return true;
        case Kind::kElement: {
            const auto* e = static_cast<const DerElement*>(n->source);
            if (!Usable(e, &n->content_length)) return false;
            n->header = static_cast<uint8_t>(1 + DER_LengthOctetCount(e->length_octets));
            const uint64_t size = uint64_t{n->header} + n->content_length;
            if (size > kDerMaxLength) return false;
            n->size = static_cast<uint32_t>(size);
            return true;
        }
        case Kind::kPrimitive:
            content = n->length;
            break;
        case Kind::kInteger:
            content = DER_IntegerContentLength(static_cast<const BigNum*>(n->source));
            break;
        case Kind::kConstructed:
        case Kind::kSetOf:
            for (DerNode* c = n->first; c; c = c->next) {
                if (!Measure(c)) return false;
                content += c->size;
                if (content > kDerMaxLength) return false;
            }
            break;
    }
    uint8_t octets[5];
    const uint64_t header = 1 + DER_PutLength(static_cast<uint32_t>(content), octets);
    if (header + content > kDerMaxLength) return false;
    n->content_length = static_cast<uint32_t>(content);
    n->header = static_cast<uint8_t>(header);
    n->size = static_cast<uint32_t>(header + content);
    return true;
}

bool Put(DerNode* n, uint8_t* out);

// A member's encoding, written aside to be ordered.
struct Member {
    DerNode* node;
    const uint8_t* bytes;
};

// DER order: compared as octet strings, a prefix first.
bool Before(const Member& a, const Member& b) {
    const int c = std::memcmp(a.bytes, b.bytes, std::min(a.node->size, b.node->size));
    return c < 0 || (c == 0 && a.node->size < b.node->size);
}

// Relinks a SET OF's members in DER order: each is written into scratch memory to be compared.
bool Sort(DerNode* set) {
    size_t count = 0;
    for (DerNode* c = set->first; c; c = c->next) ++count;
    if (count < 2) return true;
    const size_t table = RoundUp(count * sizeof(Member));
    MemBlock scratch(static_cast<uint8_t*>(MEM_Alloc(table + set->content_length)));
    if (!scratch) return false;
    auto* members = reinterpret_cast<Member*>(scratch.get());
    uint8_t* p = scratch.get() + table;
    size_t i = 0;
    for (DerNode* c = set->first; c; c = c->next, ++i) {
        if (!Put(c, p)) return false;
        members[i] = {c, p};
        p += c->size;
    }
    std::sort(members, members + count, Before);
    set->first = members[0].node;
    for (i = 1; i < count; ++i) members[i - 1].node->next = members[i].node;
    set->last = members[count - 1].node;
    set->last->next = nullptr;
    return true;
}

void PutHeader(const DerNode* n, uint8_t* out) {
    if (n->kind == Kind::kEncoded) {
        std::memcpy(out, n->bytes, n->header);
    } else if (n->kind == Kind::kElement) {
        const auto* e = static_cast<const DerElement*>(n->source);
        out[0] = *e->identifier;
        std::memcpy(out + 1, e->length_octets, n->header - 1u);
    } else {
        out[0] = n->identifier;
        DER_PutLength(n->content_length, out + 1);
    }
}

bool PutContents(DerNode* n, uint8_t* out) {
    switch (n->kind) {
        case Kind::kEncoded:
            if (n->content_length) std::memcpy(out, n->bytes + n->header, n->content_length);
            return true;
        case Kind::kElement:
            if (n->content_length)
                std::memcpy(out, static_cast<const DerElement*>(n->source)->contents, n->content_length);
            return true;
        case Kind::kPrimitive:
            if (n->length) std::memcpy(out, n->bytes, n->length);
            return true;
        case Kind::kInteger:
            DER_PutIntegerContents(static_cast<const BigNum*>(n->source), out);
            return true;
        case Kind::kSetOf:
            if (!Sort(n)) return false;
            [[fallthrough]];
        case Kind::kConstructed:
            for (DerNode* c = n->first; c; c = c->next) {
                if (!Put(c, out)) return false;
                out += c->size;
            }
            return true;
    }
    return false;
}

bool Put(DerNode* n, uint8_t* out) {
    n->at = out;
    PutHeader(n, out);
    return PutContents(n, out + n->header);
}

}  // namespace

DerWriter::~DerWriter() {
    while (chunks) {
        DerChunk* next = chunks->next;
        MEM_Free(chunks);
        chunks = next;
    }
}

DerNode* DERW_Fail(DerWriter* w) {
    if (w) w->failed = true;
    return nullptr;
}

DerNode* DERW_Constructed(DerWriter* w, DerNode* parent, uint8_t identifier) {
    if (!SingleOctetTag(identifier)) return DERW_Fail(w);
    return Add(w, parent, Kind::kConstructed, identifier);
}

DerNode* DERW_SetOf(DerWriter* w, DerNode* parent) { return Add(w, parent, Kind::kSetOf, kDerSetId); }

DerNode* DERW_Primitive(DerWriter* w, DerNode* parent, uint8_t identifier, const uint8_t* contents, uint32_t length) {
    if (!SingleOctetTag(identifier) || (length && !contents) || length > kDerMaxLength) return DERW_Fail(w);
    DerNode* node = Add(w, parent, Kind::kPrimitive, identifier);
    if (node) {
        node->bytes = contents;
        node->length = length;
    }
    return node;
}

DerNode* DERW_String(DerWriter* w, DerNode* parent, uint8_t identifier, const AsnValue* value) {
    return value ? DERW_Primitive(w, parent, identifier, value->data, value->length) : DERW_Fail(w);
}

DerNode* DERW_Integer(DerWriter* w, DerNode* parent, const BigNum* value) {
    if (!value) return DERW_Fail(w);
    DerNode* node = Add(w, parent, Kind::kInteger, DER_INTEGER);
    if (node) node->source = value;
    return node;
}

DerNode* DERW_Oid(DerWriter* w, DerNode* parent, const AsnValue* oid) {
    if (!oid || !oid->data || !oid->length) return DERW_Fail(w);
    uint8_t contents[kOidTextMax];
    const size_t n = OID_TextToContents(reinterpret_cast<const char*>(oid->data), oid->length, contents, sizeof contents);
    auto* kept = n ? static_cast<uint8_t*>(Take(w, n)) : nullptr;
    if (!kept) return DERW_Fail(w);
    std::memcpy(kept, contents, n);
    return DERW_Primitive(w, parent, DER_OID, kept, static_cast<uint32_t>(n));
}

DerNode* DERW_Any(DerWriter* w, DerNode* parent, const AsnValue* value) {
    // Appended to an empty element, the value's encoding is that element's contents.
    DerElementPtr holder(DER_New());
    if (!value || !holder || !DER_Append(holder.get(), DER_ANY, value, static_cast<int32_t>(value->length)))
        return DERW_Fail(w);
    const auto length = static_cast<uint32_t>(DER_ContentLength(holder.get()));
    auto* kept = static_cast<uint8_t*>(Take(w, length));
    if (!kept) return nullptr;
    std::memcpy(kept, holder->contents, length);
    return DERW_Encoded(w, parent, kept, length);
}

DerNode* DERW_Encoded(DerWriter* w, DerNode* parent, const uint8_t* der, uint32_t length) {
    // One whole element, exactly: its header fits and declares the rest.
    if (!der || length < 2 || length > kDerMaxLength || !SingleOctetTag(der[0])) return DERW_Fail(w);
    const auto header = static_cast<uint32_t>(1 + DER_LengthOctetCount(der + 1));
    if (header > length || DER_ReadLength(der + 1) != static_cast<int32_t>(length - header)) return DERW_Fail(w);
    DerNode* node = Add(w, parent, Kind::kEncoded, der[0]);
    if (node) {
        node->bytes = der;
        node->length = length;
    }
    return node;
}

DerNode* DERW_Element(DerWriter* w, DerNode* parent, const DerElement* element) {
    uint32_t length;
    if (!Usable(element, &length)) return DERW_Fail(w);
    DerNode* node = Add(w, parent, Kind::kElement, *element->identifier);
    if (node) node->source = element;
    return node;
}

DerNode* DERW_ElementCopy(DerWriter* w, DerNode* parent, const DerElement* element) {
    uint32_t length;
    if (!Usable(element, &length)) return DERW_Fail(w);
    const auto count = static_cast<uint32_t>(DER_LengthOctetCount(element->length_octets));
    if (length > kDerMaxLength - 1 - count) return DERW_Fail(w);
    auto* kept = static_cast<uint8_t*>(Take(w, 1 + count + length));
    if (!kept) return nullptr;
    kept[0] = *element->identifier;
    std::memcpy(kept + 1, element->length_octets, count);
    if (length) std::memcpy(kept + 1 + count, element->contents, length);
    return DERW_Encoded(w, parent, kept, 1 + count + length);
}

void DERW_SetIdentifier(DerNode* node, uint8_t identifier) {
    if (node && SingleOctetTag(identifier)) node->identifier = identifier;
}

int32_t DERW_Write(DerWriter* w, DerNode* node, MemBlock* out) {
    if (!w || w->failed || !node || !out || !Measure(node)) return 0;
    MemBlock bytes(static_cast<uint8_t*>(MEM_Alloc(node->size)));
    if (!bytes || !Put(node, bytes.get())) return 0;
    *out = std::move(bytes);
    return static_cast<int32_t>(node->size);
}

int DERW_WriteElement(DerWriter* w, DerNode* node, DerElement* element) {
    if (!element) return 0;
    DER_Reset(element);
    if (!w || w->failed || !node || !Measure(node)) return 0;
    uint8_t header[6];
    PutHeader(node, header);
    element->identifier = static_cast<uint8_t*>(MEM_Alloc(1));
    element->length_octets = static_cast<uint8_t*>(MEM_Alloc(node->header - 1u));
    element->contents = node->content_length ? static_cast<uint8_t*>(MEM_Alloc(node->content_length)) : nullptr;
    if (!element->identifier || !element->length_octets || (node->content_length && !element->contents) ||
        !PutContents(node, element->contents)) {
        DER_Reset(element);
        return 0;
    }
    element->identifier[0] = header[0];
    std::memcpy(element->length_octets, header + 1, node->header - 1u);
    node->at = nullptr;  // not one run of bytes
    return 1;
}

DerPlacement DERW_Placed(const DerNode* node) {
    if (!node || !node->at) return {};
    return {node->at, node->size, node->at + node->header, node->content_length};
}

}  // namespace quillon
