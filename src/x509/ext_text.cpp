#include "x509/ext_text.h"

#include <cstdio>
#include <cstring>

#include "text/ksx1001.h"
#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "core/mem.h"
#include "x509/cert_text.h"
#include "x509/text_writer.h"
#include "x509/x509_cert.h"
#include "x509/x509_ext.h"
#include "x509/x509_name.h"

namespace quillon {
namespace {

constexpr uint32_t kUtf8StringId = DER_UTF8_STRING, kBmpStringId = DER_BMP_STRING;
constexpr int kUriTag = 6, kDirectoryNameTag = 4, kEmailTag = 1, kOtherNameTag = 0;
// Directory names inside a distribution point are rendered through a work buffer this big.
constexpr int32_t kDistPointNameRoom = 128;
// The authority's serial number goes through a work buffer this big.
constexpr int kSerialRoom = 1024;

constexpr ExtText kOk = ExtText::kDone, kTooSmall = ExtText::kTooSmall, kMalformed = ExtText::kMalformed,
                  kNoMemory = ExtText::kNoMemory;

template <class T>
const T* At(const PointerList* list, int index) {
    return static_cast<const T*>(X509_ListGet(list, index));
}

// A string value in EUC-KR: BMPString and UTF8String converted, other strings as they are.
// A text without an EUC-KR form writes nothing. kOk, kTooSmall or kNoMemory.
ExtText PutConverted(TextWriter& text, const AsnValue* value, uint32_t type) {
    if (type != kBmpStringId && type != kUtf8StringId) return text.Put(value) ? kOk : kTooSmall;
    if (!value) return kOk;
    uint8_t untouched;
    uint8_t* converted = &untouched;
    const uint32_t n = type == kBmpStringId ? KSX_FromBmp(value->data, value->length, &converted)
                                            : KSX_FromUtf8(value->data, value->length, &converted);
    if (converted == &untouched) return kOk;
    if (!converted) return kNoMemory;
    MemBlock owner(converted);
    return text.Put(converted, n) ? kOk : kTooSmall;
}

ExtText KeyUsageText(const AsnValue* extension, TextWriter& text) {
    AsnValue* decoded = nullptr;
    if (!X509Ext_DecodeKeyUsage(extension, &decoded)) return kMalformed;
    AsnValuePtr bits(decoded);
    static constexpr const char* kNames[9] = {"digitalSignature", "nonRepudiation", "keyEncipherment",
                                              "dataEncipherment", "keyAgreement",   "keyCertSign",
                                              "crlSign",          "encipherOnly",   "decipherOnly"};
    bool first = true;
    for (int bit = 0; bit < 9; ++bit) {
        const uint32_t byte = static_cast<uint32_t>(bit / 8);
        if (byte >= bits->length || !(bits->data[byte] & (0x80 >> (bit % 8)))) continue;
        if ((!first && !text.Put(", ")) || !text.Put(kNames[bit])) return kTooSmall;
        first = false;
    }
    return kOk;
}

ExtText BasicConstraintsText(const AsnValue* extension, TextWriter& text) {
    BasicConstraints* decoded = nullptr;
    if (!X509Ext_DecodeBasicConstraints(extension, &decoded)) return kMalformed;
    BasicConstraintsPtr constraints(decoded);
    char path[16];
    // One word's worth: a longer path length reads as 0xFFFFFFFF, printed -1.
    std::snprintf(path, sizeof path, "%d", static_cast<int>(BIGNUM_GetWord(constraints->pathLenConstraint)));
    if (!text.Put("CA : ") || !text.Put(constraints->cA ? "TRUE" : "FALSE") || !text.Put(", PathLenConstraint : ") ||
        !text.Put(path))
        return kTooSmall;
    return kOk;
}

ExtText PolicyText(const AsnValue* extension, TextWriter& text) {
    PointerList* decoded = nullptr;
    if (!X509Ext_DecodePolicies(extension, &decoded)) return kMalformed;
    PoliciesPtr policies(decoded);
    for (int i = 0; i < X509_ListCount(decoded); ++i) {
        const auto* policy = At<PolicyInformation>(decoded, i);
        // Single characters from '1' on, as the numbering has always been written.
        const char number = static_cast<char>('1' + i);
        if ((i > 0 && !text.Put("\n")) || !text.PutChar('[') || !text.PutChar(number) ||
            !text.Put("]Certificate Policy:\n\tPolicyIdentifier=") || !text.Put(policy->policyIdentifier))
            return kTooSmall;
        for (int j = 0; j < X509_ListCount(policy->qualifiers); ++j) {
            const auto* qualifier = At<PolicyQualifierInfo>(policy->qualifiers, j);
            if (!text.Put("\n\t[") || !text.PutChar(number) || !text.PutChar(',') ||
                !text.PutChar(static_cast<char>('1' + j)) || !text.Put("]Policy Qualifier Info:\n\t\t"))
                return kTooSmall;
            const int nid = OBJ_NidFromValue(qualifier->policyQualifierId);
            if (nid != NID_ID_QT_CPS && nid != NID_ID_QT_UNOTICE) continue;
            if (!text.Put(OBJ_Row(nid)->long_name) || !text.PutChar(':')) return kTooSmall;
            if (nid == NID_ID_QT_CPS) {
                if (qualifier->cps && !text.Put(qualifier->cps)) return kTooSmall;
            } else if (qualifier->userNotice && qualifier->userNotice->explicitText) {
                const AsnValue* notice = qualifier->userNotice->explicitText;
                const ExtText r = PutConverted(text, notice, notice->type);
                if (r != kOk) return r;
            }
        }
    }
    return kOk;
}

ExtText PolicyIdText(const AsnValue* extension, TextWriter& text) {
    PointerList* decoded = nullptr;
    if (!X509Ext_DecodePolicies(extension, &decoded)) return kMalformed;
    PoliciesPtr policies(decoded);
    for (int i = 0; i < X509_ListCount(decoded); ++i) {
        // This query has always reported a text that does not fit as malformed.
        if ((i > 0 && !text.PutChar(',')) || !text.Put(At<PolicyInformation>(decoded, i)->policyIdentifier))
            return kMalformed;
    }
    return text.Finish() ? kOk : kMalformed;
}

ExtText ExtKeyUsageText(const AsnValue* extension, TextWriter& text) {
    PointerList* decoded = nullptr;
    if (!X509Ext_DecodeExtKeyUsage(extension, &decoded)) return kMalformed;
    OidsPtr purposes(decoded);
    for (int i = 0; i < X509_ListCount(decoded); ++i) {
        const char* name = OBJ_Row(OBJ_NidFromValue(At<AsnValue>(decoded, i)))->short_name;
        if ((i > 0 && !text.Put(", ")) || !text.Put(name)) return kTooSmall;
    }
    return kOk;
}

ExtText IdentifyDataText(const IdentifyData* data, TextWriter& text) {
    if (!text.Put("\tidentifyData:\n") || !text.Put(kLabelRealName)) return kTooSmall;
    const ExtText r = PutConverted(text, data->realName, kUtf8StringId);
    if (r != kOk) return r;
    if (!text.Put("\n")) return kTooSmall;
    if (!data->vid) return kOk;
    const VID* vid = data->vid;
    if (!text.Put("\t\tVID:\n") || !text.Put(kLabelHashAlg) || !text.Put(OBJ_Row(OBJ_NidFromValue(vid->hashAlg))->long_name) ||
        !text.Put("\n\t\t\tvirtualID=") || !text.PutHex(vid->virtualID->data, vid->virtualID->length) || !text.Put("\n"))
        return kTooSmall;
    return kOk;
}

ExtText SubjectAltNameText(const AsnValue* extension, TextWriter& text) {
    PointerList* decoded = nullptr;
    if (!X509Ext_DecodeGeneralNames(extension, &decoded)) return kMalformed;
    GeneralNamesPtr names(decoded);
    for (int i = 0; i < X509_ListCount(decoded); ++i) {
        const auto* name = At<GeneralName>(decoded, i);
        if (name->tag == kEmailTag) {
            if (!text.Put("E-MAIL:\n\t") || !text.Put(name->value) || !text.Put("\n")) return kTooSmall;
        } else if (name->tag == kOtherNameTag) {
            if (!text.Put("OtherName:\n")) return kTooSmall;
            if (name->identifyData) {
                const ExtText r = IdentifyDataText(name->identifyData, text);
                if (r != kOk) return r;
            }
        }
    }
    return kOk;
}

ExtText AuthKeyIdText(const AsnValue* extension, TextWriter& text) {
    AuthorityKeyIdentifier* decoded = nullptr;
    if (!X509Ext_DecodeAuthKeyId(extension, &decoded)) return kMalformed;
    AuthKeyIdPtr key_id(decoded);
    if (const AsnValue* id = key_id->keyIdentifier) {
        if (!text.Put("KeyID=") || !text.PutHex(id->data, id->length) || !text.Put("\n")) return kTooSmall;
    }
    if (key_id->authorityCertIssuer) {
        if (!text.Put(kLabelCertIssuer)) return kTooSmall;
        const auto* first = At<GeneralName>(key_id->authorityCertIssuer, 0);
        if (first && first->tag == kDirectoryNameTag) {
            if (!text.Put(kLabelDirectory)) return kTooSmall;
            const int written = X509Name_ToText(first->directoryName, text.Rest(), text.Left());
            if (written < 0) return kNoMemory;
            if (written == 0) return kMalformed;
            text.Advance(std::strlen(text.Rest()));
        }
    }
    if (key_id->authorityCertSerialNumber) {
        char hex[kSerialRoom];
        int length = kSerialRoom;
        if (!BIGNUM_ToHex(key_id->authorityCertSerialNumber, hex, &length)) return kMalformed;
        if (!text.Put("\nCertificate SerialNumber=") || !text.Put(hex, static_cast<size_t>(length))) return kTooSmall;
    }
    return kOk;
}

ExtText DistPointText(const DistributionPoint* point, int number, TextWriter& text) {
    // The whole header, whatever the number of digits.
    char header[48];
    std::snprintf(header, sizeof header, "[%d] CRL Distribution Point\n", number);
    if ((number > 1 && !text.Put("\n")) || !text.Put(header)) return kTooSmall;
    if (point->fullName || point->relativeName) {
        if (!text.Put("\t Distribution Point Name:\n")) return kTooSmall;
        if (X509_ListCount(point->fullName) > 0 && !text.Put("\t\t Full Name:\n")) return kTooSmall;
        for (int i = 0; i < X509_ListCount(point->fullName); ++i) {
            const auto* name = At<GeneralName>(point->fullName, i);
            if (name->tag == kUriTag) {
                if (!text.Put("\t\t\t") || !text.Put(name->value)) return kTooSmall;
            } else if (name->tag == kDirectoryNameTag) {
                if (!text.Put("\t\t\t")) return kTooSmall;
                char rendered[kDistPointNameRoom];
                const int written = X509Name_ToText(name->directoryName, rendered, sizeof rendered);
                if (written < 0) return kNoMemory;
                if (written > 0 && !text.Put(rendered)) return kTooSmall;  // a name too long adds nothing
            }
        }
        if (X509_ListCount(point->relativeName) > 0 && !text.Put("\t\t nameRealativeToCRLIssuer:\n")) return kTooSmall;
        for (int i = 0; i < X509_ListCount(point->relativeName); ++i) {
            if (!text.Put("\t\t\t") || !text.Put(At<X509NameEntry>(point->relativeName, i)->value)) return kTooSmall;
        }
    }
    if (point->reasons && (!text.Put("\t Reason Flags:\n\t\t") || !text.Put(point->reasons))) return kTooSmall;
    if (X509_ListCount(point->cRLIssuer) > 0) {
        if (!text.Put("\t cRL Issuer:\n")) return kTooSmall;
        for (int i = 0; i < X509_ListCount(point->cRLIssuer); ++i) {
            const auto* name = At<GeneralName>(point->cRLIssuer, i);
            if (name->tag == kUriTag && (!text.Put("\t\t") || !text.Put(name->value))) return kTooSmall;
        }
    }
    return kOk;
}

ExtText DistPointsText(const AsnValue* extension, TextWriter& text) {
    PointerList* decoded = nullptr;
    if (!X509Ext_DecodeDistPoints(extension, &decoded)) return kMalformed;
    DistPointsPtr points(decoded);
    for (int k = 0; k < X509_ListCount(decoded); ++k) {
        const ExtText r = DistPointText(At<DistributionPoint>(decoded, k), k + 1, text);
        if (r != kOk) return r;
    }
    return kOk;
}

ExtText CrlUrlText(const AsnValue* extension, TextWriter& text) {
    PointerList* decoded = nullptr;
    if (!X509Ext_DecodeDistPoints(extension, &decoded)) return kMalformed;
    DistPointsPtr points(decoded);
    bool first = true;
    for (int k = 0; k < X509_ListCount(decoded); ++k) {
        const PointerList* full = At<DistributionPoint>(decoded, k)->fullName;
        for (int i = 0; i < X509_ListCount(full); ++i) {
            const auto* name = At<GeneralName>(full, i);
            if (name->tag != kUriTag) continue;
            if ((!first && !text.Put("|\n")) || !text.Put(name->value)) return kTooSmall;
            first = false;
        }
    }
    return kOk;
}

ExtText SubjectKeyIdText(const AsnValue* extension, char* buffer, int32_t size) {
    AsnValue* decoded = nullptr;
    if (!X509Ext_DecodeSubjectKeyId(extension, &decoded)) return kMalformed;
    AsnValuePtr key_id(decoded);
    return X509_HexText(key_id->data, key_id->length, buffer, size) ? kOk : kTooSmall;
}

int NidOf(ExtQuery query) {
    switch (query) {
        case ExtQuery::KeyUsage: return NID_KEY_USAGE;
        case ExtQuery::BasicConstraints: return NID_BASIC_CONSTRAINTS;
        case ExtQuery::CertPolicy:
        case ExtQuery::CertPolicyIds: return NID_CERTIFICATE_POLICIES;
        case ExtQuery::ExtKeyUsage: return NID_EXTENDED_KEY_USAGE;
        case ExtQuery::SubjectAltName: return NID_SUBJECT_ALT_NAME;
        case ExtQuery::AuthKeyId: return NID_AUTHORITY_KEY_IDENTIFIER;
        case ExtQuery::SubjectKeyId: return NID_SUBJECT_KEY_IDENTIFIER;
        case ExtQuery::CrlDistPoints:
        case ExtQuery::CrlUrls: return NID_CRL_DISTRIBUTION_POINTS;
    }
    return NID_UNDEF;
}

ExtText Render(ExtQuery query, const AsnValue* extension, char* buffer, int32_t size) {
    if (query == ExtQuery::SubjectKeyId) return SubjectKeyIdText(extension, buffer, size);
    TextWriter text(buffer, size);
    ExtText r = kMalformed;
    switch (query) {
        case ExtQuery::KeyUsage: r = KeyUsageText(extension, text); break;
        case ExtQuery::BasicConstraints: r = BasicConstraintsText(extension, text); break;
        case ExtQuery::CertPolicy: r = PolicyText(extension, text); break;
        case ExtQuery::CertPolicyIds: return PolicyIdText(extension, text);
        case ExtQuery::ExtKeyUsage: r = ExtKeyUsageText(extension, text); break;
        case ExtQuery::SubjectAltName: r = SubjectAltNameText(extension, text); break;
        case ExtQuery::AuthKeyId: r = AuthKeyIdText(extension, text); break;
        case ExtQuery::CrlDistPoints: r = DistPointsText(extension, text); break;
        case ExtQuery::CrlUrls: r = CrlUrlText(extension, text); break;
        case ExtQuery::SubjectKeyId: break;
    }
    if (r != kOk) return r;
    return text.Finish() ? kOk : kTooSmall;
}

}  // namespace

ExtText X509Ext_Text(const PointerList* extensions, ExtQuery query, char* buffer, int32_t size) {
    const int index = X509Ext_FindByNid(extensions, NidOf(query), -1);
    const auto* extension = static_cast<const X509Extension*>(X509_ListGet(extensions, index));
    if (index < 0 || !extension || !extension->value) return ExtText::kAbsent;
    return MEM_BlameExhaustion(kNoMemory, {kMalformed}, [&] { return Render(query, extension->value, buffer, size); });
}

}  // namespace quillon
