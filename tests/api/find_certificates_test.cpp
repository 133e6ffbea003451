#include <gtest/gtest.h>

#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "quilloncrypto.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = QUILLON_FIXTURES;

// A folder tree under the system's temporary folder, removed (permissions restored) afterwards.
class Tree {
public:
    Tree() : root_(fs::temp_directory_path() / ("quillon_find_" + std::to_string(::getpid()) + "_" +
                                                 std::to_string(counter_++))) {
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    ~Tree() {
        for (const fs::path& p : locked_) fs::permissions(p, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root_);
    }
    const fs::path& root() const { return root_; }
    void Put(const std::string& relative, const std::string& fixture) {
        fs::create_directories((root_ / relative).parent_path());
        fs::copy_file(kFixtures / fixture, root_ / relative);
    }
    void Link(const std::string& relative, const fs::path& target) {
        fs::create_directory_symlink(target, root_ / relative);
    }
    void Lock(const std::string& relative) {
        fs::permissions(root_ / relative, fs::perms::none);
        locked_.push_back(root_ / relative);
    }

private:
    static inline int counter_ = 0;
    fs::path root_;
    std::vector<fs::path> locked_;
};

struct ListOwner {
    NpkiList* list = nullptr;
    ~ListOwner() {
        if (list) {
            EXPECT_EQ(MEDIA_DISK_FreeCertificates(list), QC_OK);
        }
    }
};

int32_t Find(const std::vector<std::string>& roots, ListOwner* owner) {
    std::vector<const char*> texts;
    for (const std::string& r : roots) texts.push_back(r.c_str());
    return MEDIA_DISK_FindCertificates(texts.data(), static_cast<int32_t>(texts.size()), &owner->list);
}

std::string CertText(X509Cert* cert, int32_t (*query)(X509Cert*, int32_t, char*)) {
    char text[4096] = {};
    return query(cert, sizeof text, text) == QC_OK ? text : "";
}

// Every field as the single-certificate exports give it for the same files.
void ExpectAsTheQueriesSay(const NpkiEntry& e) {
    BINSTR der{nullptr, 0};
    ASSERT_EQ(MEDIA_DISK_ReadCert(e.cert_path, &der), QC_OK) << e.cert_path;
    X509Cert* cert = nullptr;
    ASSERT_EQ(CERT_Load(&cert, &der), QC_OK);
    EXPECT_EQ(e.subject, CertText(cert, CERT_GetSubjectName));
    EXPECT_EQ(e.issuer, CertText(cert, CERT_GetIssuerName));
    EXPECT_EQ(e.serial, CertText(cert, CERT_GetSerialNum));
    char before[20], after[20];
    ASSERT_EQ(CERT_GetValidity(cert, before, after), QC_OK);
    EXPECT_STREQ(e.not_before, before);
    EXPECT_STREQ(e.not_after, after);
    int32_t nid = 0;
    BINSTR vid{nullptr, 0};
    EXPECT_EQ(e.vid, CERT_GetVID(cert, &nid, &vid) == QC_OK ? 1 : 0);
    BINSTR_Delete(&vid);
    CERT_Unload(cert);
    BINSTR_Delete(&der);
    if (e.key_cipher >= 0) {
        EXPECT_EQ(e.key_cipher, MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(e.key_path, "any"));
    }
}

struct Expected {
    const char* cert;  // relative to the root
    int32_t expired, vid, key_cipher;
    const char* key_scheme;
    int32_t key_plain, random_num;
};

TEST(FindCertificates, ListsEveryPairOfTheLayoutAndPassesOverTheRest) {
    Tree outside;
    outside.Put("x/signCert.der", "certs/user_utf8.der");
    outside.Put("x/signPri.key", "pkcs8/scheme73.der");
    Tree t;
    const bool root = ::geteuid() == 0;  // root reads whatever the permissions say
    // Folder, then each file with its fixture; an empty name leaves the file out.
    const char* const pairs[][5] = {
        {"CA1/USER/cn=alice", "signCert.der", "certs/user_utf8.der", "signPri.key", "pkcs8/scheme73.der"},
        {"CA1/user/bob", "SignCert.DER", "certs/user_sha1.der", "SIGNPRI.KEY", "pkcs8/rsa_attrs_plain.der"},
        {"CA2/UsEr/carol", "signCert.der", "certs/user_kcdsa.der", "signPri.key", "pkcs8/pbes2_aria.der"},
        {"CA2/UsEr/dan", "signCert.der", "certs/vid_sha256.der", "signPri.key", "certs/ca.der"},  // not a key
        {"CA2/UsEr/erin", "signCert.der", "certs/user_bmp.der", "signPri.key", "pkcs8/user_plain.der"},
        {"CA2/UsEr/nokey", "signCert.der", "certs/user_utf8.der", "", ""},
        {"CA2/UsEr/nocert", "", "", "signPri.key", "pkcs8/scheme73.der"},
        {"CA2/UsEr/badcert", "signCert.der", "pkcs8/scheme73.der", "signPri.key", "pkcs8/scheme73.der"},
        {"CA2/UsEr/dir", "signCert.der/x", "certs/user_utf8.der", "signPri.key", "pkcs8/scheme73.der"},
        {"CA2/USERS/frank", "signCert.der", "certs/user_utf8.der", "signPri.key", "pkcs8/scheme73.der"},
        {"CA1/USER/cn=alice/deeper", "signCert.der", "certs/user_utf8.der", "signPri.key", "pkcs8/scheme73.der"},
        {"CA4/USER/locked", "signCert.der", "certs/user_utf8.der", "signPri.key", "pkcs8/scheme73.der"},
        {"CA4/USER/lockedkey", "signCert.der", "certs/user_pss.der", "signPri.key", "pkcs8/scheme73.der"},
        {"CA4/USER/sealed", "signCert.der", "certs/user_utf8.der", "signPri.key", "pkcs8/scheme73.der"},
    };
    for (const auto& p : pairs)
        for (int f : {1, 3})
            if (*p[f]) t.Put(std::string(p[0]) + "/" + p[f], p[f + 1]);
    t.Put("CA1/USER/cn=alice/signCert.bak", "certs/user_bmp.der");  // as long as the name, and sorts first
    t.Link("CA2/UsEr/loop", t.root() / "CA2/UsEr");          // a loop inside the root
    t.Link("CA2/UsEr/self", t.root() / "CA2/UsEr/self");     // a link to itself
    t.Link("CA2/UsEr/out", outside.root() / "x");            // a pair outside the root
    t.Link("CA3", outside.root());                           // a CA folder outside the root
    t.Link("CA2/UsEr/zalias", t.root() / "CA1/USER/cn=alice");  // alice again: listed once
    for (const char* locked : {"CA4/USER/locked/signCert.der", "CA4/USER/lockedkey/signPri.key", "CA4/USER/sealed"})
        t.Lock(locked);

    std::vector<Expected> expected = {
        {"CA1/USER/cn=alice/signCert.der", 0, 1, 0, "pbeWithSHA1AndSEED-CBC", 0, -1},
        {"CA1/user/bob/SignCert.DER", 1, 0, QC_ERR_MALFORMED_DER, "", 1, 1},
        {"CA2/UsEr/carol/signCert.der", 0, 0, 92, "PBES2", 0, -1},
        {"CA2/UsEr/dan/signCert.der", 0, 1, QC_ERR_MALFORMED_DER, "", 0, -1},
        {"CA2/UsEr/erin/signCert.der", 0, 0, QC_ERR_MALFORMED_DER, "", 1, 0},
    };
    if (root) {  // every file read
        expected.push_back({"CA4/USER/locked/signCert.der", 0, 1, 0, "pbeWithSHA1AndSEED-CBC", 0, -1});
        expected.push_back({"CA4/USER/lockedkey/signCert.der", 0, 0, 0, "pbeWithSHA1AndSEED-CBC", 0, -1});
        expected.push_back({"CA4/USER/sealed/signCert.der", 0, 1, 0, "pbeWithSHA1AndSEED-CBC", 0, -1});
    } else {
        expected.push_back({"CA4/USER/lockedkey/signCert.der", 0, 0, QC_ERR_FILE_READ, "", 0, -1});
    }

    ListOwner found;
    ASSERT_EQ(Find({t.root().string(), (t.root() / "missing").string()}, &found), QC_OK);
    ASSERT_EQ(found.list->count, expected.size());
    EXPECT_EQ(found.list->truncated, 0);
    for (size_t i = 0; i < expected.size(); ++i) {
        const NpkiEntry& e = found.list->entries[i];
        const Expected& x = expected[i];
        SCOPED_TRACE(x.cert);
        EXPECT_EQ(e.cert_path, (t.root() / x.cert).string());
        EXPECT_EQ(fs::path(e.key_path).parent_path(), fs::path(e.cert_path).parent_path());
        EXPECT_EQ(e.expired, x.expired);
        EXPECT_EQ(e.vid, x.vid);
        EXPECT_EQ(e.key_cipher, x.key_cipher);
        EXPECT_STREQ(e.key_scheme, x.key_scheme);
        EXPECT_EQ(e.key_plain, x.key_plain);
        EXPECT_EQ(e.random_num, x.random_num);
        EXPECT_NE(e.subject[0], '\0');
        ExpectAsTheQueriesSay(e);
    }
}

TEST(FindCertificates, ChecksItsArguments) {
    const char* none = nullptr;
    const char* one = "/nonexistent";
    NpkiList* list = nullptr;
    struct Case {
        const char* const* roots;
        int32_t count;
        NpkiList** out;
    } cases[] = {{&one, 1, nullptr}, {&one, -1, &list}, {nullptr, 1, &list}, {&none, 1, &list}};
    for (const Case& c : cases) {
        EXPECT_EQ(MEDIA_DISK_FindCertificates(c.roots, c.count, c.out), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(list, nullptr);
    }
    EXPECT_EQ(MEDIA_DISK_FreeCertificates(nullptr), QC_ERR_NULL_ARGUMENT);
    ASSERT_EQ(MEDIA_DISK_FindCertificates(&one, 1, &list), QC_OK);  // nothing there: an empty list
    EXPECT_EQ(list->count, 0u);
    EXPECT_EQ(list->entries, nullptr);
    EXPECT_EQ(MEDIA_DISK_FreeCertificates(list), QC_OK);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr double kListingLimit = 10.0;  // instrumented: only a sanity bound
#else
constexpr double kListingLimit = 1.0;
#endif

TEST(FindCertificates, ListsAThousandPairsWellUnderASecond) {
    Tree t;
    for (int i = 0; i < 1000; ++i) {
        const std::string folder = "CA" + std::to_string(i % 4) + "/USER/cn=holder" + std::to_string(i) + "/";
        t.Put(folder + "signCert.der", "certs/user_utf8.der");
        t.Put(folder + "signPri.key", "pkcs8/pbes2_aria.der");
    }
    // Processor time: on a shared builder the wall clock measures the neighbours too.
    const std::clock_t start = std::clock();
    ListOwner found;
    ASSERT_EQ(Find({t.root().string()}, &found), QC_OK);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    EXPECT_EQ(found.list->count, 1000u);
    EXPECT_LT(seconds, kListingLimit);
    RecordProperty("listing_ms", static_cast<int>(seconds * 1000));
}

}  // namespace
