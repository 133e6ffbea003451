// The certificate exports over the committed fixtures: a loaded fixture beside OpenSSL's
// reading of it, and the room check of the text queries.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quilloncrypto.h"
#include "support/cert_fixtures.h"

namespace quillon::test {

// A fixture loaded by the library and read by OpenSSL.
struct Loaded {
    explicit Loaded(const std::string& name) : der(ReadCert(name)), ossl(OsslParse(der)) {
        BINSTR in{der.data(), static_cast<uint32_t>(der.size())};
        result = ::CERT_Load(&cert, &in);
    }
    ~Loaded() { ::CERT_Unload(cert); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    std::vector<uint8_t> der;
    OsslCert ossl;
    ::X509Cert* cert = nullptr;
    int32_t result = 0;
};

// Calls `query` with every size up to `top` in an exact-size buffer followed by guard bytes;
// returns the smallest size that succeeds after checking that no larger one fails.
template <class Query>
int SmallestSize(int top, Query query, std::vector<int32_t>* codes = nullptr) {
    int smallest = -1;
    for (int size = 0; size <= top; ++size) {
        std::vector<char> buffer(size + 16, '\x5A');
        const int32_t r = query(size, buffer.data());
        EXPECT_EQ(std::count(buffer.begin() + size, buffer.end(), '\x5A'), 16) << "written past size " << size;
        EXPECT_TRUE(r == QC_OK || smallest < 0) << "size " << size << " fails after a smaller one worked";
        if (codes) codes->push_back(r);
        if (r == QC_OK && smallest < 0) smallest = size;
    }
    return smallest;
}

}  // namespace quillon::test
