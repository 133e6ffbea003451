// The certificate exports over the committed fixtures: a loaded fixture beside OpenSSL's
// reading of it, the answers the queries must give, and the room check of the text queries.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
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

// What a query must answer: its code and text.
struct Answer {
    int32_t code;
    std::string text;
};

// The fixtures certs/texts.txt answers for, each query by its export's name without "CERT_Get"
// (and NotBefore, NotAfter, PubKeyAlgorithm). make_cert_texts.sh writes the file from OpenSSL's
// reading of the certificates: a line "fixture query code text", the text with \\, \n, \t and
// \xNN escapes.
inline const std::vector<std::string> kAnswered = {"ca",       "user_utf8", "user_sha1",    "user_bmp",   "user_kcdsa",
                                                   "user_uid", "user_strings", "ext_common", "ext_korean", "ext_many"};
inline std::map<std::string, Answer> Answers(const std::string& fixture) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/certs/texts.txt");
    std::map<std::string, Answer> out;
    std::string name, query, line;
    int32_t code = 0;
    while (in >> name >> query >> code && std::getline(in, line)) {
        std::string text;
        for (size_t i = 1; i < line.size(); ++i) {
            const char c = line[i] == '\\' ? line[++i] : 0;
            if (c == 'x') {
                text += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                text += c == 'n' ? '\n' : c == 't' ? '\t' : c ? c : line[i];
            }
        }
        if (name == fixture) out[query] = {code, text};
    }
    EXPECT_FALSE(out.empty()) << fixture;
    return out;
}

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
