# Installs the Debian packages the build, tests, benchmarks and fuzzers need, when missing.
# Sourced by the other scripts.
quillon_install_deps() {
    local packages=(cmake ninja-build g++ binutils libgtest-dev libbenchmark-dev libssl-dev openssl valgrind
                    clang libclang-rt-14-dev llvm  # clang + compiler-rt: libFuzzer; llvm: the symbolizer
                    libpcsclite-dev pcscd vsmartcard-vpcd  # the PC/SC header; the card tests' reader
                    pkg-config dpkg-dev python3-pip python3-setuptools python3-pytest  # packaging, Python
                    python3-cryptography-vectors  # public known-answer vectors (NIST CAVP, RFCs) for the tests
                    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools  # the Windows DLLs
                    wine64 googletest)  # running the 64-bit DLL's tests; GoogleTest's sources for them
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}
