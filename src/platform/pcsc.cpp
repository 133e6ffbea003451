#include "platform/pcsc.h"

#include <cstddef>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace quillon {
namespace {

#if defined(_WIN32)
constexpr char kPlatformLibrary[] = "WinSCard.dll";
#define QUILLON_PCSC_ANSI "A"
#else
constexpr char kPlatformLibrary[] = "libpcsclite.so.1";
#define QUILLON_PCSC_ANSI ""
#endif

// Looked up in this order; the two text entry points carry the ANSI suffix on Windows.
enum EntryPoint : int {
    kEstablishContext, kListReaders, kConnect, kTransmit, kDisconnect, kReleaseContext, kT0Pci, kT1Pci,
    kEntryPointCount
};
constexpr const char* kEntryNames[kEntryPointCount] = {
    "SCardEstablishContext", "SCardListReaders" QUILLON_PCSC_ANSI, "SCardConnect" QUILLON_PCSC_ANSI,
    "SCardTransmit",         "SCardDisconnect",  "SCardReleaseContext",
    "g_rgSCardT0Pci",        "g_rgSCardT1Pci",
};

const char* g_library_name = kPlatformLibrary;

void* OpenModule(const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(LoadLibraryA(name));
#else
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
#endif
}

void* LookUp(void* module, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    return dlsym(module, name);
#endif
}

void CloseModule(void* module) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(module));
#else
    dlclose(module);
#endif
}

template <class T>
void Assign(T& slot, void* address) {
    slot = reinterpret_cast<T>(address);
}

}  // namespace

int PCSC_Load(PcscLibrary* library) {
    if (!library) return 0;
    *library = PcscLibrary{};
    void* module = OpenModule(g_library_name);
    if (!module) return 0;
    void* found[kEntryPointCount];
    for (int i = 0; i < kEntryPointCount; ++i) {
        found[i] = LookUp(module, kEntryNames[i]);
        if (!found[i]) {
            CloseModule(module);
            return 0;
        }
    }
    library->module = module;
    Assign(library->establish_context, found[kEstablishContext]);
    Assign(library->list_readers, found[kListReaders]);
    Assign(library->connect, found[kConnect]);
    Assign(library->transmit, found[kTransmit]);
    Assign(library->disconnect, found[kDisconnect]);
    Assign(library->release_context, found[kReleaseContext]);
    Assign(library->t0_pci, found[kT0Pci]);
    Assign(library->t1_pci, found[kT1Pci]);
    return 1;
}

void PCSC_Unload(PcscLibrary* library) {
    if (!library || !library->module) return;
    CloseModule(library->module);
    *library = PcscLibrary{};
}

void PCSC_SetLibraryName(const char* name) { g_library_name = name ? name : kPlatformLibrary; }

}  // namespace quillon
