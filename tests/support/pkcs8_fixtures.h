// The committed PKCS#8 fixtures (tests/fixtures/make_pkcs8.sh) and the password that opens them.
#pragma once

#include <string>
#include <vector>

#include "support/fixture_file.h"

namespace quillon::test {

inline constexpr char kKeyPassword[] = "quillon-test";

inline std::string Pkcs8Path(const std::string& name) { return std::string(QUILLON_FIXTURES) + "/pkcs8/" + name; }

inline std::vector<uint8_t> ReadPkcs8(const std::string& name) { return ReadFile(Pkcs8Path(name)); }

}  // namespace quillon::test
